// The writes of one sheet's changed rows: blocks planned by cost, each carrying the
// columns that changed in its rows since they were last written, and a block the office
// refuses halved until the refusal is confined to the rows that cause it. The writer
// leaves its rows as they are: it tells the table what went into the sheet, and the
// table marks those rows written.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "live/block_plan.hpp"
#include "live/live_row.hpp"
#include "live/live_sink.hpp"

namespace corvane::live {

// The office or its workbook went away, or stopped answering: a recovery may mend it.
inline bool OfficeLost(const Error& status) {
    return status == ErrorCode::Connect || status == ErrorCode::Timeout;
}

// One sheet's rows as the block writer sees them; the table answers from its copy of
// each instrument's newest tick.
class SheetTicks {
  public:
    virtual ~SheetTicks() = default;
    // The newest tick of the instrument in zero-based `row`; null when the row has no
    // instrument, or one the table has no tick of.
    virtual const LiveRow* Tick(int row) const = 0;
    // The tick the row holds in every column since the table wrote it there (the newest
    // one, or one before it); null when that is not known (the row was not written since
    // its instrument was placed there, or since the sheet was last read): then every
    // column of the row is taken to have changed.
    virtual const LiveRow* Written(int row) const = 0;
};

struct WrittenBlock {
    Block block;
    // Whether the block was written in every column of its rows, so that its bridged rows
    // too now hold their tick in every column.
    bool wholeRows = false;
    // False when none of the block's cells had changed: nothing was sent, and its rows
    // hold their ticks already.
    bool sent = true;
    std::uint64_t cells = 0;                    // the cells sent
    std::chrono::steady_clock::time_point end;  // when the call returned
};

struct SheetWrite {
    enum class End {
        Done,
        Moved,  // a block found rows changed by someone else: the sheet is to be read again
        Lost,
        Stopped  // the table is stopping: a call was not made
    };
    End end = End::Done;
    Error lost;                         // End::Lost: what the office said
    Error refused;                      // the last refusal by the office, Ok when none
    std::vector<WrittenBlock> written;  // in the order written
};

// The columns (from A, within `columns`, the sink's RowColumns) in which `tick` differs
// from `written`, what the row holds: every column when that is unknown (null). The
// row-time column right of AP changes whenever the row does, or the tick is a newer one.
ColumnSet ChangedColumns(const LiveRow& tick, const LiveRow* written, int columns);

class BlockWriter {
  public:
    // Makes one call of the sink; false when the table is stopping and it was not made.
    using SinkCall = std::function<bool(const std::function<Error()>& call, Error& result)>;

    // Rows lie in [0, sheetRows). With `learnCost`, measured calls refine `startCost`.
    BlockWriter(LiveSink& sink, SinkCall call, CallCost startCost, bool learnCost, int sheetRows);

    // What the next cycle plans with: the estimate, or the start cost when not learning.
    CallCost PlanningCost() const { return learnCost_ ? estimate_.Current() : startCost_; }
    CallCost Estimate() const { return estimate_.Current(); }

    // Writes the ascending rows `changed` of `sheet` in blocks planned with `cost`; then,
    // unless a write found the rows moved or the office lost, the rows of `whole` that
    // the table knows in every column, in blocks of their own (to bring back what was
    // typed over a live cell), so that the blocks of the changed rows keep their shape.
    SheetWrite Write(const std::string& sheet, const std::vector<int>& changed,
                     const SheetTicks& ticks, const CallCost& cost, Block whole = {});

  private:
    // Ascending rows and the columns to write in each.
    struct RowChanges {
        std::vector<int> rows;
        std::vector<ColumnSet> columns;
    };
    // Writes `blocks` of the rows in `rowChanges`, adding to `outcome`; false when the
    // sheet is to be left (see SheetWrite::End, or a missing sheet).
    bool WriteBlocks(const std::string& sheet, const std::vector<Block>& blocks,
                     const RowChanges& rowChanges, const SheetTicks& ticks, const CallCost& cost,
                     SheetWrite& outcome);

    LiveSink& sink_;
    const SinkCall call_;
    const CallCost startCost_;
    const bool learnCost_;
    const int sheetRows_;
    CallCostEstimate estimate_;
};

}  // namespace corvane::live
