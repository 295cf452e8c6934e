// Rows waiting to be written: per sheet, the newest line of each row. A row that gets
// a newer line before it is written keeps only that one, so however fast lines come,
// what waits is one line per row. A flush writes every run of adjacent rows as one
// block.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "row_map.hpp"

namespace corvane::feed {

// Where rows are written: the C API's row calls and their result codes.
class RowsWriter {
  public:
    virtual ~RowsWriter() = default;
    // Writes rows[k] into row firstRow + k; a result code for the whole block.
    virtual int WriteRecords(const std::string& sheet, int firstRow,
                             const std::vector<const std::vector<std::string>*>& rows) = 0;
    virtual int WriteRecord(const std::string& sheet, int row,
                            const std::vector<std::string>& fields) = 0;
};

struct PendingLine {
    std::vector<std::string> fields;  // the 42 checked fields
    long line = 0;                    // input line the fields came from
    InstrumentKey key;                // the instrument of the row (empty without keys)
    bool isNew = false;               // the row has not held a line of this run yet
};

class PendingRows {
  public:
    // Makes `line` the one to write into `row` of `sheet`, replacing the line waiting
    // there (a row that was new stays new until it is written).
    void Put(const std::string& sheet, int row, PendingLine line);

    bool Empty() const { return count_ == 0; }
    std::size_t Size() const { return count_; }

    // Called for every row a flush tried: CORVANE_OK or the failure's code. Returns
    // false to end the flush (the rows not tried yet are dropped).
    using Outcome =
        std::function<bool(const std::string& sheet, int row, const PendingLine& line, int code)>;

    // Writes every waiting row, sheet by sheet in row order, each run of adjacent rows
    // in one block, and empties the set. A block that fails for a reason its rows need
    // not share (the office refused a row beyond the sheet's end, say) is written again
    // row by row, so that each row's own outcome is known.
    void Flush(RowsWriter& writer, const Outcome& outcome);

  private:
    std::map<std::string, std::map<int, PendingLine>> sheets_;
    std::size_t count_ = 0;
};

}  // namespace corvane::feed
