// Which row of its sheet each of a live table's instruments has. The sheet decides, never
// the order of ticks: a reading of a sheet's key columns keeps every instrument found
// there in its row, the others keep the row they had where it is still free, and new
// instruments take the first row after the last one used. A row that holds anything else
// (an instrument that never ticked, a second row of one instrument, a person's note) is
// never given away. The placement only decides: it reads no clock, calls no office and
// leaves the writing of rows, and their counting, to the table.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "live/live_sink.hpp"

namespace corvane::live {

// What the table must do after the placement decided.
struct Placement {
    bool moved = false;                  // a later reading found rows moved by someone else
    std::vector<std::uint32_t> rewrite;  // instruments to write (again) into their rows
    std::vector<std::uint32_t> refused;  // instruments that found no row: the sheet is full
    std::uint64_t adopted = 0;           // instruments found in the sheet and kept in their rows
};

class RowPlacement {
  public:
    // Instruments' rows lie in [firstRow, sheetRows).
    RowPlacement(int firstRow, int sheetRows);

    // A new sheet, numbered from 0 in the order added.
    void AddSheet();
    // A new instrument of `sheet`, known by its key; it waits for a row until PlaceNew.
    void Add(std::uint32_t id, std::uint32_t sheet, std::string key);

    // The first reading of `sheet` since Reopen: its instruments take their rows by the
    // key columns found there (`keys`, from firstRow down).
    Placement FirstReading(std::uint32_t sheet, const std::vector<RowKey>& keys);
    // A later reading: when it shows rows moved, the instruments are placed as at a first
    // reading and every one of them is to be written again.
    Placement LaterReading(std::uint32_t sheet, const std::vector<RowKey>& keys);
    // Whether `keys` differ from what the last reading found and the table wrote since.
    bool Moved(std::uint32_t sheet, const std::vector<RowKey>& keys) const;
    // The instruments added since the last placement of `sheet` take their rows: one the
    // last reading found them in, when free, or else the first after the last one used.
    Placement PlaceNew(std::uint32_t sheet);

    // The instrument's tick was written into its row.
    void MarkWritten(std::uint32_t id) { instruments_[id].written = true; }
    // The sheet cannot be had: its instruments are refused until Reopen. Returns them.
    std::vector<std::uint32_t> RefuseSheet(std::uint32_t sheet);
    // A new connection: refused sheets are tried again (instruments refused for a full
    // sheet stay refused), and no instrument's tick is taken to be in its row.
    void Reopen();

    int Row(std::uint32_t id) const { return instruments_[id].row; }
    bool Written(std::uint32_t id) const { return instruments_[id].written; }
    bool Refused(std::uint32_t id) const {
        const Instrument& instrument = instruments_[id];
        return instrument.full || sheets_[instrument.sheet].refused;
    }
    bool SheetRefused(std::uint32_t sheet) const { return sheets_[sheet].refused; }
    // Whether the sheet has instruments, placed or waiting, or rows a reading found.
    bool Holds(std::uint32_t sheet) const {
        return !sheets_[sheet].ids.empty() || !sheets_[sheet].unplaced.empty();
    }
    // The instrument of row firstRow + i of `sheet`, or -1: up to its last row used or read.
    const std::vector<std::int32_t>& Rows(std::uint32_t sheet) const { return sheets_[sheet].ids; }

  private:
    struct Instrument {
        std::uint32_t sheet = 0;
        std::string key;
        int row = -1;          // -1 until its sheet was read, and once refused
        bool written = false;  // its tick was written into `row` since it was placed there
        bool full = false;     // it found no row left in its sheet
    };
    struct Sheet {
        std::vector<std::int32_t> ids;  // instrument of row firstRow + i, or -1
        // What the last reading found in row firstRow + i where it is not one of the
        // table's instruments: another instrument's key, kOccupied, or "" for a blank row.
        std::vector<std::string> found;
        std::unordered_map<std::string, int> waiting;  // found instruments not placed yet
        std::vector<std::uint32_t> unplaced;           // instruments waiting for a row
        bool refused = false;
    };

    void Place(Sheet& sheet, const std::vector<RowKey>& keys, Placement& placement);
    // Gives instrument `id` row `row` of `sheet`, or refuses it past the sheet's end.
    void PlaceAt(Sheet& sheet, std::uint32_t id, int row, Placement& placement);
    int NextRow(const Sheet& sheet) const { return first_ + static_cast<int>(sheet.ids.size()); }

    const int first_;
    const int rows_;
    std::vector<Instrument> instruments_;
    std::vector<Sheet> sheets_;
};

}  // namespace corvane::live
