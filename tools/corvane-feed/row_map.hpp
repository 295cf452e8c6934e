// Which sheet row holds which instrument, for updating rows in place: an instrument is
// its exchange with its scrip code, and a new instrument takes the next free row.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace corvane::feed {

// Exchange (without surrounding blanks, its letters in upper case) and scrip code (as a number:
// "0500325" and "500325" are the same instrument).
using InstrumentKey = std::pair<std::string, std::string>;

// Fills `key` from a completed 42-field line; returns false and says why when column A
// or C cannot identify an instrument.
bool KeyOf(const std::vector<std::string>& fields, InstrumentKey& key, std::string& why);

class RowMap {
  public:
    explicit RowMap(int firstRow) : next_(firstRow) {}

    struct Placement {
        int row;
        bool isNew;
    };
    // The row that holds `key`, or the next free row when the instrument is new. Nothing
    // is recorded until Commit, so a row whose write failed is offered again.
    Placement Place(const InstrumentKey& key) const;
    // Records that the new instrument `key` now holds `row` (from Place).
    void Commit(const InstrumentKey& key, int row);

    // The next free row, for lines written one after another without keys.
    int NextFree() const { return next_; }
    // Moves on to the next row (no further than the last int).
    void Advance();

    std::size_t Instruments() const { return rows_.size(); }

  private:
    std::map<InstrumentKey, int> rows_;
    int next_;
};

}  // namespace corvane::feed
