// Where a live table's rows go: the office work behind an interface of a few calls, so
// that the table (pacing, planning, recovery) knows nothing of UNO and can be run
// against a stand-in.
#pragma once

#include <string>
#include <vector>

#include "core/error.hpp"
#include "live/live_row.hpp"
#include "sheet/row_key.hpp"

namespace corvane::live {

// How a call of the sink ended: Ok; Connect when the office or its workbook went away
// (killed, crashed, closed by the user); Timeout when the office did not answer within
// the call deadline; NoSheet when the workbook has no sheet of that name; Load when the
// office answered but the workbook did not load; Office for anything else (the office
// refused a value, ...). The message says what happened, for the host.

// The key columns of one sheet row as the office holds them (see sheet/row_key.hpp).
using RowKey = sheet::RowKey;

// Zero-based columns `first` to `last` of a block's rows; the column right of AP, which
// holds a row's update time, is kColumnCount.
struct ColumnSpan {
    int first = 0;
    int last = 0;
    int Width() const { return last - first + 1; }
    bool operator==(const ColumnSpan& other) const {
        return first == other.first && last == other.last;
    }
};

// Every call but Cancel comes from the table's writer thread, one at a time.
class LiveSink {
  public:
    virtual ~LiveSink() = default;

    // Connects and makes the workbook ready for writing. Connect or Timeout: tried again
    // with backoff; any other failure ends the table (state failed).
    virtual Error Open() = 0;

    // After a write ended in Connect or Timeout (`cause`): gets a working office again
    // (an owned office is restarted, a stuck one killed first; an attached one is
    // reconnected) and the workbook loaded, or its open copy reused. Results as for Open;
    // `restarted` tells a new office from a reconnection.
    virtual Error Recover(const Error& cause, bool& restarted) = 0;

    // The 42 column titles into zero-based `row` of `sheet`.
    virtual Error WriteTitles(const std::string& sheet, int row) = 0;

    // How many columns from A the sink writes of a row: the 42 fields, and one more when
    // it keeps each row's update time (the tick's Taken) in the column right of them.
    virtual int RowColumns() const { return kColumnCount; }

    // rows[i] into zero-based row firstRow + i of `sheet`, in each of `columns`
    // (ascending, apart, within RowColumns) the rows' cells of those columns, in one
    // step, provided that none of those rows holds anything else in its key columns than
    // its own instrument (the exchange and scrip code of rows[i]) or nothing. Otherwise
    // nothing is written and `moved` is set: somebody sorted, moved or typed over rows
    // since the table last read the keys. A sink that cannot tell which rows changed sets
    // `moved` for any change to the sheet's key columns since the last ReadKeys of it by
    // anyone but itself. The check and the writes are one step: nothing can come in
    // between. The rows are only borrowed for the call.
    virtual Error WriteBlock(const std::string& sheet, int firstRow,
                             const std::vector<ColumnSpan>& columns,
                             const std::vector<const LiveRow*>& rows, bool& moved) = 0;

    // The key columns of `sheet`'s rows from `firstRow` down to the last row that holds
    // anything in columns A to C (none when no row does). With `create`, a sheet the
    // workbook lacks is added first, with the look of a market-watch sheet. NoSheet when
    // there is no such sheet and none was added (the message says why).
    virtual Error ReadKeys(const std::string& sheet, int firstRow, bool create,
                           std::vector<RowKey>& keys) = 0;

    // Whether anyone but the sink may have changed the key columns of `sheet` since its
    // last ReadKeys (a sort, a row typed over), as far as the sink can tell without asking
    // the office: the table then reads them again before it writes there, and places
    // instruments whose rows went anew. False for a sink that cannot tell: the table then
    // learns of such changes from WriteBlock, and from its periodic reading.
    virtual bool KeysChanged(const std::string& sheet) {
        (void)sheet;
        return false;
    }

    // Empties the values of the market-watch columns of `count` rows from `firstRow`;
    // their formats stay.
    virtual Error ClearRows(const std::string& sheet, int firstRow, int count) = 0;

    // Asked when a while went by without any other call: whether the office still
    // serves the workbook (a workbook the user closed is only noticed this way while no
    // rows change). Connect or Timeout start a recovery; anything else is ignored.
    virtual Error Check() { return {}; }

    // Called from another thread while the table is closing and a call of the writer
    // thread is still running past the close deadline: the running call must return soon
    // (for the office: dispose the bridge). Never called otherwise.
    virtual void Cancel() {}
};

}  // namespace corvane::live
