#include "live/block_plan.hpp"

#include <algorithm>

namespace corvane::live {
namespace {

// How much one measured call counts against the one before it: about the last fifty
// calls shape the estimate.
constexpr double kKeep = 0.98;

// Floors that keep the estimate usable when the measurements scatter.
constexpr double kLeastPerCall = 1e-6;
constexpr double kLeastPerRow = 1e-8;

}  // namespace

bool PlanBlocks(const std::vector<int>& changed, const std::function<bool(int row)>& known,
                const CallCost& cost, int rowLimit, std::vector<Block>& blocks) {
    blocks.clear();
    for (const int row : changed)
        if (row < 0 || row >= rowLimit) return false;

    // The longest gap worth bridging: its rows must cost less than a call.
    const double gapRows = cost.perRow > 0 ? cost.perCall / cost.perRow : kMaxBlockRows;
    Block block;
    int last = 0;  // the block's last row
    for (const int row : changed) {
        if (block.rows > 0) {
            const int gap = row - last - 1;
            bool join = row - block.firstRow + 1 <= kMaxBlockRows && gap < gapRows;
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
    return true;
}

CallCostEstimate::CallCostEstimate(CallCost start) : current_(start) {}

void CallCostEstimate::Add(int rows, double seconds) {
    const double x = rows;
    weight_ = weight_ * kKeep + 1;
    rows_ = rows_ * kKeep + x;
    seconds_ = seconds_ * kKeep + seconds;
    rowsSquared_ = rowsSquared_ * kKeep + x * x;
    rowsSeconds_ = rowsSeconds_ * kKeep + x * seconds;

    const double meanRows = rows_ / weight_;
    const double meanSeconds = seconds_ / weight_;
    const double spread = rowsSquared_ / weight_ - meanRows * meanRows;
    // Calls of nearly one size tell the per-call cost but not the per-row cost: the
    // per-row cost then stays as it was.
    if (spread > 1.0) {
        const double slope = (rowsSeconds_ / weight_ - meanRows * meanSeconds) / spread;
        current_.perRow = std::max(slope, kLeastPerRow);
    }
    current_.perCall = std::max(meanSeconds - current_.perRow * meanRows, kLeastPerCall);
}

}  // namespace corvane::live
