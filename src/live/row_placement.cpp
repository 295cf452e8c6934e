#include "live/row_placement.hpp"

#include <algorithm>
#include <climits>
#include <utility>

#include "platform/instrument_key.hpp"

namespace corvane::live {
namespace {

// What a reading found in a row that holds something in columns A to C but no key.
const std::string kOccupied("\x01");

// The key a reading found in a row: an instrument's, kOccupied, or "" for a blank row.
std::string KeyFound(const RowKey& row) {
    if (row.blank) return {};
    std::string key = platform::InstrumentKey(row.exchange, row.scrip);
    return key.empty() ? kOccupied : key;
}

}  // namespace

RowPlacement::RowPlacement(int firstRow, int sheetRows) : first_(firstRow), rows_(sheetRows) {}

void RowPlacement::AddSheet() { sheets_.emplace_back(); }

void RowPlacement::Add(std::uint32_t id, std::uint32_t sheet, std::string key) {
    if (id >= instruments_.size()) instruments_.resize(id + 1);
    Instrument& instrument = instruments_[id];
    instrument.sheet = sheet;
    instrument.key = std::move(key);
    sheets_[sheet].unplaced.push_back(id);
}

Placement RowPlacement::FirstReading(std::uint32_t sheet, const std::vector<RowKey>& keys) {
    Placement placement;
    Place(sheets_[sheet], keys, placement);
    return placement;
}

Placement RowPlacement::LaterReading(std::uint32_t sheet, const std::vector<RowKey>& keys) {
    Placement placement;
    if (!Moved(sheet, keys)) return placement;
    // Someone sorted, moved, inserted or deleted rows: the instruments go where the sheet
    // now has them, and every one of them is written again.
    Sheet& rows = sheets_[sheet];
    Place(rows, keys, placement);
    placement.moved = true;
    placement.rewrite.clear();
    for (const std::int32_t id : rows.ids)
        if (id >= 0) placement.rewrite.push_back(static_cast<std::uint32_t>(id));
    return placement;
}

void RowPlacement::Place(Sheet& sheet, const std::vector<RowKey>& keys, Placement& placement) {
    std::vector<std::uint32_t> ours;
    for (const std::int32_t id : sheet.ids)
        if (id >= 0) ours.push_back(static_cast<std::uint32_t>(id));
    ours.insert(ours.end(), sheet.unplaced.begin(), sheet.unplaced.end());
    sheet.unplaced.clear();

    sheet.found.assign(keys.size(), std::string());
    sheet.waiting.clear();
    for (std::size_t at = 0; at < keys.size(); ++at) {
        sheet.found[at] = KeyFound(keys[at]);
        // A second row of one instrument is somebody else's: it is left as it is.
        if (sheet.found[at] != kOccupied && !sheet.found[at].empty())
            sheet.waiting.emplace(sheet.found[at], first_ + static_cast<int>(at));
    }
    sheet.ids.assign(keys.size(), -1);

    // Instruments found in the sheet take their rows; the others keep the row they had
    // where it is still free, and only then go after the last row used, in the order of
    // their rows and, for new ones, of their first ticks. A clean sheet is no different
    // once it was emptied: what is found there since was written by the table, and
    // sorted or typed by the user.
    std::vector<std::uint32_t> rest;
    for (const std::uint32_t id : ours) {
        const auto found = sheet.waiting.find(instruments_[id].key);
        if (found == sheet.waiting.end()) {
            rest.push_back(id);
            continue;
        }
        PlaceAt(sheet, id, found->second, placement);
        sheet.waiting.erase(found);
        ++placement.adopted;
    }
    std::stable_sort(rest.begin(), rest.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int ra = instruments_[a].row, rb = instruments_[b].row;
        return (ra < 0 ? INT_MAX : ra) < (rb < 0 ? INT_MAX : rb);
    });
    std::vector<std::uint32_t> later;
    for (const std::uint32_t id : rest) {
        const int row = instruments_[id].row;
        const std::size_t at = static_cast<std::size_t>(row - first_);
        const bool free = row >= first_ && (at >= sheet.ids.size() ||
                                            (sheet.ids[at] < 0 && sheet.found[at].empty()));
        if (free) {
            // The reading found its row empty: whatever was written there is gone.
            instruments_[id].written = false;
            PlaceAt(sheet, id, row, placement);
        } else {
            later.push_back(id);
        }
    }
    for (const std::uint32_t id : later) PlaceAt(sheet, id, NextRow(sheet), placement);
}

Placement RowPlacement::PlaceNew(std::uint32_t sheet) {
    Placement placement;
    Sheet& rows = sheets_[sheet];
    for (const std::uint32_t id : rows.unplaced) {
        const auto found = rows.waiting.find(instruments_[id].key);
        // A found row that one of the table's instruments holds already (on a clean
        // sheet) is not this one's to take.
        const bool taken = found != rows.waiting.end() &&
                           rows.ids[static_cast<std::size_t>(found->second - first_)] >= 0;
        if (found == rows.waiting.end() || taken) {
            PlaceAt(rows, id, NextRow(rows), placement);
            continue;
        }
        PlaceAt(rows, id, found->second, placement);
        rows.waiting.erase(found);
        ++placement.adopted;
    }
    rows.unplaced.clear();
    return placement;
}

void RowPlacement::PlaceAt(Sheet& sheet, std::uint32_t id, int row, Placement& placement) {
    Instrument& instrument = instruments_[id];
    if (Refused(id)) return;
    if (row >= rows_) {
        instrument.row = -1;
        instrument.full = true;
        placement.refused.push_back(id);
        return;
    }
    const std::size_t at = static_cast<std::size_t>(row - first_);
    if (at >= sheet.ids.size()) sheet.ids.resize(at + 1, -1);
    sheet.ids[at] = static_cast<std::int32_t>(id);
    if (instrument.row != row) {
        instrument.row = row;
        instrument.written = false;
        placement.rewrite.push_back(id);
    }
}

bool RowPlacement::Moved(std::uint32_t sheet, const std::vector<RowKey>& keys) const {
    const Sheet& rows = sheets_[sheet];
    const std::size_t count = std::max(keys.size(), rows.ids.size());
    for (std::size_t at = 0; at < count; ++at) {
        const std::string now = at < keys.size() ? KeyFound(keys[at]) : std::string();
        const std::int32_t id = at < rows.ids.size() ? rows.ids[at] : -1;
        if (id >= 0) {
            const Instrument& instrument = instruments_[id];
            // A row not written yet was blank, or held the instrument, when it was given.
            if (now != instrument.key && (instrument.written || !now.empty())) return true;
        } else if (now != (at < rows.found.size() ? rows.found[at] : std::string())) {
            return true;
        }
    }
    return false;
}

std::vector<std::uint32_t> RowPlacement::RefuseSheet(std::uint32_t sheet) {
    Sheet& rows = sheets_[sheet];
    rows.refused = true;
    std::vector<std::uint32_t> refused;
    for (const std::int32_t id : rows.ids)
        if (id >= 0) refused.push_back(static_cast<std::uint32_t>(id));
    refused.insert(refused.end(), rows.unplaced.begin(), rows.unplaced.end());
    return refused;
}

void RowPlacement::Reopen() {
    for (Sheet& sheet : sheets_) sheet.refused = false;
    for (Instrument& instrument : instruments_) instrument.written = false;
}

}  // namespace corvane::live
