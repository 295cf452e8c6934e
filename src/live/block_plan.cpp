#include "live/block_plan.hpp"

#include <algorithm>

namespace corvane::live {
namespace {

// How much one measured call counts against the one before it: about the last fifty
// calls of a size class shape its mean.
constexpr double kKeep = 0.98;

// Floors that keep the estimate usable when the measurements scatter.
constexpr double kLeastPerCall = 1e-6;
constexpr double kLeastPerRow = 1e-8;

// Blocks keep within stretches of kMaxBlockRows rows from the sheet's first row, so
// that the blocks of a steady stream cover the same rows cycle after cycle.
int Stretch(int row) { return row / kMaxBlockRows; }

// Widens `block` to the bounds of its stretch (or the sheet's `rowLimit`) or of the run of
// known rows around it, whichever is nearer, on each side where that takes at most
// `boundRows` rows and reaches no row below `floor` or from `ceiling` on (the blocks
// beside it).
void Settle(Block& block, const std::function<bool(int row)>& known, int floor, int ceiling,
            int rowLimit, int boundRows) {
    const int stretchFirst = Stretch(block.firstRow) * kMaxBlockRows;
    int first = block.firstRow;
    while (first > stretchFirst && block.firstRow - first < boundRows && known(first - 1)) --first;
    if ((first == stretchFirst || !known(first - 1)) && first >= floor) {
        block.rows += block.firstRow - first;
        block.firstRow = first;
    }
    const int stretchEnd = std::min(stretchFirst + kMaxBlockRows, rowLimit);
    const int blockEnd = block.firstRow + block.rows;
    int end = blockEnd;
    while (end < stretchEnd && end - blockEnd < boundRows && known(end)) ++end;
    if ((end == stretchEnd || !known(end)) && end <= ceiling) block.rows = end - block.firstRow;
}

}  // namespace

bool PlanBlocks(const std::vector<int>& changed, const std::function<bool(int row)>& known,
                const CallCost& cost, int rowLimit, std::vector<Block>& blocks, int gapCells) {
    blocks.clear();
    for (const int row : changed)
        if (row < 0 || row >= rowLimit) return false;

    // The longest gap worth bridging: its rows must cost less than a call.
    const double perGapRow = cost.PerCell() * gapCells;
    const double gapRows = perGapRow > 0 ? cost.perCall / perGapRow : kMaxBlockRows;
    Block block;
    int last = 0;  // the block's last row
    for (const int row : changed) {
        if (block.rows > 0) {
            const int gap = row - last - 1;
            bool join = Stretch(row) == Stretch(block.firstRow) && gap < gapRows;
            for (int between = last + 1; join && between < row; ++between) join = known(between);
            if (join) {
                block.rows = row - block.firstRow + 1;
                last = row;
                continue;
            }
            blocks.push_back(block);
        }
        block = {row, 1};
        last = row;
    }
    if (block.rows > 0) blocks.push_back(block);
    // Rows written along at a block's ends, up to its stretch's bounds, cost less than the
    // calls a block of the same rows as before saves.
    const int boundRows = perGapRow > 0 ? static_cast<int>(cost.perCall / 2 / perGapRow) : 0;
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        const int floor = i > 0 ? blocks[i - 1].firstRow + blocks[i - 1].rows : 0;
        const int ceiling = i + 1 < blocks.size() ? blocks[i + 1].firstRow : rowLimit;
        Settle(blocks[i], known, floor, ceiling, rowLimit, boundRows);
    }
    return true;
}

std::vector<ColumnSpan> PlanColumns(ColumnSet changed, int rows, const CallCost& cost) {
    std::vector<ColumnSpan> spans;
    const double perGapColumn = cost.PerCell() * rows;
    constexpr int kColumns = 64;
    for (int column = 0; column < kColumns; ++column) {
        if ((changed >> column & 1) == 0) continue;
        int last = column;
        while (last + 1 < kColumns && (changed >> (last + 1) & 1) != 0) ++last;
        const int gap = spans.empty() ? 0 : column - spans.back().last - 1;
        if (!spans.empty() && gap * perGapColumn < cost.perCall)
            spans.back().last = last;
        else
            spans.push_back({column, last});
        column = last;
    }
    return spans;
}

CallCostEstimate::CallCostEstimate(CallCost start) : current_(start) {}

void CallCostEstimate::Add(double rows, double seconds) {
    std::size_t sizeClass = 0;  // rows from 2^sizeClass up to twice that (class 0: below 2)
    while (sizeClass + 1 < classes_.size() && rows >= static_cast<double>(2 << sizeClass))
        ++sizeClass;
    SizeClass& added = classes_[sizeClass];
    added.weight = added.weight * kKeep + 1;
    added.rows = added.rows * kKeep + rows;
    added.seconds = added.seconds * kKeep + seconds;

    // Through the smallest and the largest class: the small calls tell the cost of a
    // call, the large ones the cost of a row. When the office's pace changes while the
    // calls keep to one size, the classes not called keep their old means, so the split
    // shifts gently instead of one share being driven to nothing.
    const SizeClass* smallest = nullptr;
    const SizeClass* largest = nullptr;
    for (const SizeClass& sized : classes_) {
        if (sized.weight == 0) continue;
        if (smallest == nullptr) smallest = &sized;
        largest = &sized;
    }
    const double x0 = smallest->rows / smallest->weight, y0 = smallest->seconds / smallest->weight;
    const double x1 = largest->rows / largest->weight, y1 = largest->seconds / largest->weight;
    if (x1 - x0 >= 1) {
        const double slope = (y1 - y0) / (x1 - x0);
        const double intercept = y0 - slope * x0;
        if (slope > 0 && intercept > 0) {
            current_ = {std::max(intercept, kLeastPerCall), std::max(slope, kLeastPerRow)};
            return;
        }
    }
    // Calls of one class alone, or classes that contradict each other (scattered
    // measurements), tell what calls of that size cost but not how it splits: the split
    // stays, scaled to what the calls cost.
    const double x = added.rows / added.weight, y = added.seconds / added.weight;
    const double predicted = current_.perCall + current_.perRow * x;
    if (predicted <= 0 || y <= 0) return;
    current_.perCall = std::max(current_.perCall * y / predicted, kLeastPerCall);
    current_.perRow = std::max(current_.perRow * y / predicted, kLeastPerRow);
}

}  // namespace corvane::live
