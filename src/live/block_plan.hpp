// Which block writes carry a flush's changed rows, and which columns of them. One call
// costs a fixed amount plus a little per cell, so two runs of changed rows are cheaper
// as one block when rewriting the unchanged rows between them (from the table's own
// copy) costs less than the second call; and two runs of changed columns of a block go
// in one range when rewriting the unchanged columns between them costs less than
// another range.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "core/defaults.hpp"
#include "corvane/market_watch_record.hpp"
#include "live/live_sink.hpp"

namespace corvane::live {

// The most rows one block write carries.
inline constexpr int kMaxBlockRows = defaults::kMaxBlockRows;

// The most cells one block write carries: a write holds the office's main thread, and
// every other client of the office waits for it (about 0.75 us a cell here). A block
// of more is written in parts; only whole rows (after a reading of the key columns, a
// reconnection or a reorder) come to that.
inline constexpr int kMaxBlockCells = 12000;

// The rows of a sheet: 1,048,576 in the office's spreadsheets.
inline constexpr int kSheetRows = defaults::kSheetRows;

// Seconds per block call and per whole row of a block, the 42 fields; a cell costs its
// share of a row.
struct CallCost {
    double perCall = 0;
    double perRow = 0;
    double PerCell() const { return perRow / kColumnCount; }
};

struct Block {
    int firstRow = 0;
    int rows = 0;
    bool operator==(const Block& other) const {
        return firstRow == other.firstRow && rows == other.rows;
    }
};

// Plans the blocks that write the ascending, distinct rows in `changed`. A gap of
// unchanged rows between two of them is written along when every row of the gap is
// `known` (the table holds its values) and the gap's rows, `gapCells` cells each, cost
// less than one call. A block keeps within one stretch of kMaxBlockRows rows (rows 0 to
// 999, 1000 to 1999, ...), and widens over known rows to the stretch's bounds or its run
// of known rows where those rows cost less than half a call: the blocks of a steady
// stream then cover the same rows each time, and the sink can keep what it needs to
// write them. Returns false, with no blocks, when a changed row lies outside
// [0, rowLimit): nothing of such a flush is written.
bool PlanBlocks(const std::vector<int>& changed, const std::function<bool(int row)>& known,
                const CallCost& cost, int rowLimit, std::vector<Block>& blocks,
                int gapCells = kColumnCount);

// Columns of a block's rows, one bit each from bit 0 for column A.
using ColumnSet = std::uint64_t;

// The ranges that write the columns in `changed` (not empty) of a block of `rows` rows,
// ascending. The unchanged columns between two runs of changed ones are written along
// (from the table's copy) when their cells cost less than writing one more range, which
// is taken to cost as much as a call: a range less is worth many cells.
std::vector<ColumnSpan> PlanColumns(ColumnSet changed, int rows, const CallCost& cost);

// The cost of one block call, learnt from measured calls. A call's size is its cells as
// whole rows (3 rows of 14 cells make 1 row). Calls are kept in classes by size (below
// 2 rows, 2 to 4, 4 to 8, ... rows), each as the mean of its recent calls, with older
// calls weighing less and less; the cost is the line through the smallest and the
// largest class. The first guess holds until calls were measured; how the cost splits
// into the call and its rows, until calls of two classes were.
class CallCostEstimate {
  public:
    explicit CallCostEstimate(CallCost start);

    void Add(double rows, double seconds);
    CallCost Current() const { return current_; }

  private:
    struct SizeClass {
        double weight = 0, rows = 0, seconds = 0;  // decaying sums
    };
    std::array<SizeClass, 11> classes_{};  // up to 1024 rows and more
    CallCost current_;
};

}  // namespace corvane::live
