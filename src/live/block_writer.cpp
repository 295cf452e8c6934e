#include "live/block_writer.hpp"

#include <algorithm>
#include <utility>

namespace corvane::live {
namespace {

// The columns that changed in the rows of `block`: the union of `changes[i]`, the
// changed columns of row changed[i], over the ascending rows `changed` that lie in it.
// `any` tells whether any changed row lies in it at all.
ColumnSet ChangesIn(const Block& block, const std::vector<int>& changed,
                    const std::vector<ColumnSet>& changes, bool& any) {
    ColumnSet columns = 0;
    any = false;
    auto at = std::lower_bound(changed.begin(), changed.end(), block.firstRow);
    for (; at != changed.end() && *at < block.firstRow + block.rows; ++at) {
        any = true;
        columns |= changes[static_cast<std::size_t>(at - changed.begin())];
    }
    return columns;
}

// The columns from the first to the last of `columns`; none when it is empty.
int Spread(ColumnSet columns) {
    if (columns == 0) return 0;
    int first = 0, last = 63;
    while ((columns >> first & 1) == 0) ++first;
    while ((columns >> last & 1) == 0) --last;
    return last - first + 1;
}

ColumnSet AllColumns(int columns) {
    return columns >= 64 ? ~ColumnSet(0) : (ColumnSet(1) << columns) - 1;
}

int Width(const std::vector<ColumnSpan>& spans) {
    int width = 0;
    for (const ColumnSpan& span : spans) width += span.Width();
    return width;
}

// A block whose union of changes is every column, because some of its rows are to be
// written whole (rewritten, or of a row that may hold what someone typed), splits around
// the run from its first to its last such row when the cells its other changed rows then
// leave out cost more than the calls the parts add. Returns the parts that hold changes,
// in row order; none when the block stays as it is.
std::vector<Block> SplitAroundWholeRows(const Block& block, const std::vector<int>& changed,
                                        const std::vector<ColumnSet>& changes, ColumnSet whole,
                                        const CallCost& cost) {
    int first = -1, last = -1;
    auto at = std::lower_bound(changed.begin(), changed.end(), block.firstRow);
    for (; at != changed.end() && *at < block.firstRow + block.rows; ++at)
        if (changes[static_cast<std::size_t>(at - changed.begin())] == whole) {
            if (first < 0) first = *at;
            last = *at;
        }
    if (first < 0 || (first == block.firstRow && last == block.firstRow + block.rows - 1))
        return {};
    const Block sides[] = {{block.firstRow, first - block.firstRow},
                           {last + 1, block.firstRow + block.rows - last - 1}};
    std::vector<Block> parts;
    const int wholeWidth = __builtin_popcountll(whole);
    double cells = static_cast<double>(last - first + 1) * wholeWidth;
    int calls = 0;
    for (const Block& side : sides) {
        bool any = false;
        const ColumnSet columns = side.rows > 0 ? ChangesIn(side, changed, changes, any) : 0;
        if (!any) continue;
        cells += static_cast<double>(side.rows) * Width(PlanColumns(columns, side.rows, cost));
        ++calls;
        parts.push_back(side);
    }
    const double saved = (static_cast<double>(block.rows) * wholeWidth - cells) * cost.PerCell();
    if (saved <= calls * cost.perCall) return {};
    parts.push_back({first, last - first + 1});
    std::sort(parts.begin(), parts.end(),
              [](const Block& a, const Block& b) { return a.firstRow < b.firstRow; });
    return parts;
}

}  // namespace

ColumnSet ChangedColumns(const LiveRow& tick, const LiveRow* written, int columns) {
    if (written == nullptr) return AllColumns(columns);
    if (written == &tick) return 0;
    ColumnSet changed = 0;
    for (int k = 0; k < kColumnCount; ++k)
        if (tick.View(k) != written->View(k)) changed |= ColumnSet(1) << k;
    if (columns > kColumnCount && (changed != 0 || tick.Taken() != written->Taken()))
        changed |= ColumnSet(1) << kColumnCount;
    return changed;
}

BlockWriter::BlockWriter(LiveSink& sink, SinkCall call, CallCost startCost, bool learnCost,
                         int sheetRows)
    : sink_(sink),
      call_(std::move(call)),
      startCost_(startCost),
      learnCost_(learnCost),
      sheetRows_(sheetRows),
      estimate_(startCost) {}

SheetWrite BlockWriter::Write(const std::string& sheet, const std::vector<int>& changed,
                              const SheetTicks& ticks, const CallCost& cost, Block whole) {
    SheetWrite outcome;
    const int columns = sink_.RowColumns();
    // What changed in each row, against what the row holds.
    std::vector<ColumnSet> changes(changed.size());
    ColumnSet all = 0;
    for (std::size_t i = 0; i < changed.size(); ++i) {
        const int row = changed[i];
        if (row < 0 || row >= sheetRows_) continue;  // refused by the plan
        changes[i] = ChangedColumns(*ticks.Tick(row), ticks.Written(row), columns);
        all |= changes[i];
    }
    std::vector<Block> blocks;
    const auto known = [&](int row) { return ticks.Tick(row) != nullptr; };
    // A bridged row is written in the columns its block's ranges span, at most those from
    // the first column that changed in any row to the last.
    if (!PlanBlocks(changed, known, cost, sheetRows_, blocks, Spread(all))) {
        outcome.refused = {ErrorCode::Office, "rows past the end of sheet " + sheet};
        return outcome;
    }
    if (!WriteBlocks(sheet, blocks, {changed, changes}, ticks, cost, outcome)) return outcome;

    // The rows to write whole: each run of rows the table knows, in every column.
    std::vector<int> wholeRows;
    for (int row = std::max(whole.firstRow, 0);
         row < std::min(whole.firstRow + whole.rows, sheetRows_); ++row)
        if (known(row)) wholeRows.push_back(row);
    std::vector<Block> runs;
    for (const int row : wholeRows) {
        if (!runs.empty() && runs.back().firstRow + runs.back().rows == row &&
            row / kMaxBlockRows == runs.back().firstRow / kMaxBlockRows)
            ++runs.back().rows;
        else
            runs.push_back({row, 1});
    }
    WriteBlocks(sheet, runs,
                {wholeRows, std::vector<ColumnSet>(wholeRows.size(), AllColumns(columns))}, ticks,
                cost, outcome);
    return outcome;
}

bool BlockWriter::WriteBlocks(const std::string& sheet, const std::vector<Block>& blocks,
                              const RowChanges& rowChanges, const SheetTicks& ticks,
                              const CallCost& cost, SheetWrite& outcome) {
    const std::vector<int>& changed = rowChanges.rows;
    const std::vector<ColumnSet>& changes = rowChanges.columns;
    const int columns = sink_.RowColumns();
    // Blocks still to write, the next one last. A block the office refuses for a
    // reason of its own rows (a protected cell, a value it will not take) is halved
    // until the refusal is confined to the rows that cause it, so that one bad row
    // does not hold back the up to 999 others of its block.
    std::vector<Block> work(blocks.rbegin(), blocks.rend());
    const auto halve = [&work](const Block& block) {
        const int half = block.rows / 2;
        work.push_back({block.firstRow + half, block.rows - half});
        work.push_back({block.firstRow, half});
    };
    std::vector<const LiveRow*> rows;
    while (!work.empty()) {
        const Block block = work.back();
        work.pop_back();
        bool holdsChanges = false;
        const ColumnSet changedColumns = ChangesIn(block, changed, changes, holdsChanges);
        if (!holdsChanges) continue;
        if (changedColumns == 0) {
            // New ticks that equal what their rows hold: nothing to send.
            outcome.written.push_back({block, false, false, 0, std::chrono::steady_clock::now()});
            continue;
        }
        if (changedColumns == AllColumns(columns)) {
            const std::vector<Block> parts =
                SplitAroundWholeRows(block, changed, changes, changedColumns, cost);
            if (!parts.empty()) {
                work.insert(work.end(), parts.rbegin(), parts.rend());
                continue;
            }
        }
        const std::vector<ColumnSpan> spans = PlanColumns(changedColumns, block.rows, cost);
        const int width = Width(spans);
        if (block.rows > 1 && block.rows * width > kMaxBlockCells) {
            halve(block);
            continue;
        }
        rows.clear();
        for (int row = block.firstRow; row < block.firstRow + block.rows; ++row)
            rows.push_back(ticks.Tick(row));
        Error result;
        bool moved = false;
        const auto callStart = std::chrono::steady_clock::now();
        if (!call_([&] { return sink_.WriteBlock(sheet, block.firstRow, spans, rows, moved); },
                   result)) {
            outcome.end = SheetWrite::End::Stopped;
            return false;
        }
        const auto callEnd = std::chrono::steady_clock::now();
        if (OfficeLost(result)) {
            outcome.end = SheetWrite::End::Lost;
            outcome.lost = result;
            return false;
        }
        if (result.ok() && moved) {
            // Somebody changed the rows since they were read: nothing was written, and
            // the sheet is read again before anything more is.
            outcome.end = SheetWrite::End::Moved;
            return false;
        }
        if (!result.ok()) {
            outcome.refused = result;
            if (result == ErrorCode::NoSheet) return false;
            if (block.rows > 1) halve(block);
            continue;
        }
        if (learnCost_)
            estimate_.Add(static_cast<double>(block.rows) * width / kColumnCount,
                          std::chrono::duration<double>(callEnd - callStart).count());
        const bool wholeRows = spans.size() == 1 && spans[0].first == 0 && width == columns;
        outcome.written.push_back(
            {block, wholeRows, true, static_cast<std::uint64_t>(block.rows) * width, callEnd});
    }
    return true;
}

}  // namespace corvane::live
