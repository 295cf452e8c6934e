// The row placement alone, against a model of two sheets whose rows hold instruments,
// notes or nothing from the start, while fuzzed instruments come in, their sheets are
// read and written, the user sorts, moves, inserts, deletes and retypes rows, sheets
// cannot be had and the office comes back. After every decision: no row holds two
// instruments; a row is given to an instrument only where the reading found it or
// nothing; an instrument found in the sheet takes the first row it was found in, one not
// found keeps its free row; what was adopted, refused and is to be written again is
// reported; and a later reading finds rows moved exactly when the sheet holds anything
// else than what the last reading found and the table wrote since.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fuzz_bytes.hpp"
#include "fuzz_check.hpp"
#include "live/row_placement.hpp"
#include "platform/instrument_key.hpp"

using namespace corvane;

namespace {

constexpr std::uint32_t kSheets = 2;
const char* const kExchanges[] = {"NSE", "nse", " NSE", "BSE"};
const char* const kScrips[] = {"1", "01", "2", "3", "10", "500325", "0500325", " 7"};

using Bytes = FuzzBytes;

// What a row's key columns hold as the model compares them: "" for nothing, an
// instrument's key, or "#" for anything else.
std::string Seen(const live::RowKey& row) {
    if (row.blank) return {};
    const std::string key = platform::InstrumentKey(row.exchange, row.scrip);
    return key.empty() ? "#" : key;
}

live::RowKey Typed(std::uint8_t what) {
    if (what % 8 == 7) return {"", "", false};  // a note in column B
    return {kExchanges[what % 4], kScrips[(what >> 2) % 8], false};
}

struct Instrument {
    std::uint32_t sheet = 0;
    std::string key;
    bool written = false;  // the model's own account of the placement's Written
};

struct Sheet {
    std::vector<live::RowKey> rows;  // the whole sheet, row 0 to its end
    std::vector<std::string> seen;   // what the last reading found and writes put since
    std::vector<live::RowKey> keys;  // the last reading, from the first row
    bool read = false;               // since the last Reopen
    bool mustRead = false;           // a write found rows changed
    bool cleaned = false;
};

class Model {
  public:
    Model(int firstRow, int sheetRows, bool clean)
        : first_(firstRow), end_(sheetRows), clean_(clean), placement_(firstRow, sheetRows) {
        for (Sheet& sheet : sheets_) {
            sheet.rows.resize(static_cast<std::size_t>(sheetRows), live::RowKey{});
            placement_.AddSheet();
        }
    }

    void Type(std::uint32_t s, std::uint8_t row, std::uint8_t what) {
        sheets_[s].rows[RowAt(row)] = Typed(what);
    }

    void Add(std::uint8_t op, std::uint8_t pick) {
        const std::string key =
            platform::InstrumentKey(kExchanges[pick % 4], kScrips[(pick >> 2) % 8]);
        if (!ids_.emplace(key, static_cast<std::uint32_t>(instruments_.size())).second) return;
        const std::uint32_t s = op % kSheets;
        instruments_.push_back({s, key});
        placement_.Add(static_cast<std::uint32_t>(instruments_.size() - 1), s, key);
    }

    void Read(std::uint32_t s) {
        Sheet& sheet = sheets_[s];
        if (placement_.SheetRefused(s)) return;
        if (!sheet.read && clean_ && !sheet.cleaned) {
            for (std::size_t row = static_cast<std::size_t>(first_); row < sheet.rows.size(); ++row)
                sheet.rows[row] = {};
            sheet.cleaned = true;
        }
        std::vector<live::RowKey> keys;
        std::size_t last = sheet.rows.size();
        while (last > static_cast<std::size_t>(first_) && Seen(sheet.rows[last - 1]).empty())
            --last;
        keys.assign(sheet.rows.begin() + first_, sheet.rows.begin() + static_cast<long>(last));
        const std::vector<int> before = Rows();
        const bool first = !sheet.read;
        const bool differs = !first && Differs(s, keys);
        const live::Placement placement =
            first ? placement_.FirstReading(s, keys) : placement_.LaterReading(s, keys);
        FUZZ_CHECK(placement.moved == differs);
        sheet.read = true;
        sheet.mustRead = false;
        sheet.keys = keys;
        sheet.seen.clear();
        for (const live::RowKey& row : sheet.rows) sheet.seen.push_back(Seen(row));
        if (first || placement.moved) CheckPlaced(s, before, placement);
        Check(before, placement);
    }

    void PlaceNew(std::uint32_t s) {
        if (!sheets_[s].read || placement_.SheetRefused(s)) return;
        const std::vector<int> before = Rows();
        const live::Placement placement = placement_.PlaceNew(s);
        FUZZ_CHECK(!placement.moved);
        std::uint64_t adopted = 0;
        for (std::uint32_t id = 0; id < instruments_.size(); ++id) {
            if (instruments_[id].sheet != s || placement_.Refused(id)) continue;
            FUZZ_CHECK(placement_.Row(id) >= 0);  // nothing waits once placed
            if (before[id] < 0) adopted += FoundAt(s, placement_.Row(id)) == instruments_[id].key;
        }
        FUZZ_CHECK(placement.adopted == adopted);
        Check(before, placement);
    }

    // The table writes its placed instruments as the sink would: into a row that holds
    // nothing or the instrument; anything else makes it read the sheet first.
    void Write(std::uint32_t s, std::uint8_t which) {
        Sheet& sheet = sheets_[s];
        if (!sheet.read || sheet.mustRead || placement_.SheetRefused(s)) return;
        for (std::uint32_t id = 0; id < instruments_.size(); ++id) {
            const int row = placement_.Row(id);
            if (instruments_[id].sheet != s || row < 0 || (which >> (id % 8) & 1) == 0) continue;
            live::RowKey& cells = sheet.rows[static_cast<std::size_t>(row)];
            const std::string now = Seen(cells);
            if (!now.empty() && now != instruments_[id].key) {
                sheet.mustRead = true;
                return;
            }
            const std::string& key = instruments_[id].key;
            cells = {key.substr(0, key.find('\0')), key.substr(key.find('\0') + 1), false};
            sheet.seen[static_cast<std::size_t>(row)] = instruments_[id].key;
            instruments_[id].written = true;
            placement_.MarkWritten(id);
        }
    }

    void Edit(std::uint32_t s, std::uint8_t op, std::uint8_t a, std::uint8_t b) {
        std::vector<live::RowKey>& rows = sheets_[s].rows;
        const std::size_t x = RowAt(a), y = RowAt(b);
        switch (op % 5) {
            case 0:
                std::swap(rows[x], rows[y]);
                break;
            case 1: {
                live::RowKey moved = rows[x];
                rows.erase(rows.begin() + static_cast<long>(x));
                rows.insert(rows.begin() + static_cast<long>(y), moved);
                break;
            }
            case 2:
                rows.erase(rows.begin() + static_cast<long>(x));
                rows.emplace_back();
                break;
            case 3:
                rows.insert(rows.begin() + static_cast<long>(x), live::RowKey{});
                rows.pop_back();
                break;
            default:
                rows[x] = {};
                break;
        }
    }

    void Refuse(std::uint32_t s) {
        if (placement_.SheetRefused(s)) return;
        std::vector<std::uint32_t> refused = placement_.RefuseSheet(s);
        std::sort(refused.begin(), refused.end());
        std::vector<std::uint32_t> expected;
        for (std::uint32_t id = 0; id < instruments_.size(); ++id) {
            if (instruments_[id].sheet != s) continue;
            FUZZ_CHECK(placement_.Refused(id));
            if (!full_.count(id)) expected.push_back(id);
        }
        FUZZ_CHECK(refused == expected);
    }

    void Reopen() {
        placement_.Reopen();
        for (Sheet& sheet : sheets_) sheet.read = sheet.mustRead = false;
        for (std::uint32_t id = 0; id < instruments_.size(); ++id) {
            instruments_[id].written = false;
            // Refused for a full sheet stays refused, and nothing else does.
            FUZZ_CHECK(placement_.Refused(id) == (full_.count(id) > 0));
        }
    }

  private:
    std::size_t RowAt(std::uint8_t pick) const {
        return static_cast<std::size_t>(first_ + pick % (end_ - first_));
    }
    std::vector<int> Rows() const {
        std::vector<int> rows;
        for (std::uint32_t id = 0; id < instruments_.size(); ++id)
            rows.push_back(placement_.Row(id));
        return rows;
    }
    // What the last reading of sheet `s` found in `row`: "" past its end.
    std::string FoundAt(std::uint32_t s, int row) const {
        const std::vector<live::RowKey>& keys = sheets_[s].keys;
        const auto at = static_cast<std::size_t>(row - first_);
        return at < keys.size() ? Seen(keys[at]) : std::string();
    }
    // Whether `keys` show anything else than the last reading and the writes since,
    // allowing a row given but not written yet to hold nothing or its instrument.
    bool Differs(std::uint32_t s, const std::vector<live::RowKey>& keys) const {
        const Sheet& sheet = sheets_[s];
        std::map<int, std::uint32_t> ours;
        for (std::uint32_t id = 0; id < instruments_.size(); ++id)
            if (instruments_[id].sheet == s && placement_.Row(id) >= 0)
                ours[placement_.Row(id)] = id;
        for (int row = first_; row < end_; ++row) {
            const auto at = static_cast<std::size_t>(row - first_);
            const std::string now = at < keys.size() ? Seen(keys[at]) : std::string();
            const auto mine = ours.find(row);
            if (mine != ours.end() && !instruments_[mine->second].written) {
                if (!now.empty() && now != instruments_[mine->second].key) return true;
            } else if (now != sheet.seen[static_cast<std::size_t>(row)]) {
                return true;
            }
        }
        return false;
    }

    // After a reading that placed the sheet's instruments anew.
    void CheckPlaced(std::uint32_t s, const std::vector<int>& before,
                     const live::Placement& placement) {
        std::map<std::string, int> firstFound;
        for (std::size_t at = 0; at < sheets_[s].keys.size(); ++at)
            firstFound.emplace(Seen(sheets_[s].keys[at]), first_ + static_cast<int>(at));
        std::uint64_t adopted = 0;
        for (std::uint32_t id = 0; id < instruments_.size(); ++id) {
            if (instruments_[id].sheet != s || placement_.Refused(id)) continue;
            const auto found = firstFound.find(instruments_[id].key);
            const int row = placement_.Row(id);
            // A row the reading found empty holds nothing of what was written there.
            if (row >= 0 && FoundAt(s, row).empty()) instruments_[id].written = false;
            if (found != firstFound.end()) {
                FUZZ_CHECK(row == found->second);
                ++adopted;
            } else if (before[id] >= 0 && FoundAt(s, before[id]).empty()) {
                FUZZ_CHECK(row == before[id]);  // its row is still free: it stays
            }
        }
        FUZZ_CHECK(placement.adopted == adopted);
        if (placement.moved) {
            // Every placed instrument of the sheet is written again.
            std::set<std::uint32_t> rewrite(placement.rewrite.begin(), placement.rewrite.end());
            for (std::uint32_t id = 0; id < instruments_.size(); ++id)
                if (instruments_[id].sheet == s && placement_.Row(id) >= 0)
                    FUZZ_CHECK(rewrite.count(id) > 0);
        }
    }

    // What holds after every decision.
    void Check(const std::vector<int>& before, const live::Placement& placement) {
        std::set<std::uint32_t> rewrite(placement.rewrite.begin(), placement.rewrite.end());
        for (const std::uint32_t id : placement.refused) {
            FUZZ_CHECK(full_.insert(id).second);
            // Refused only when the sheet has no row left after its last one used.
            const std::uint32_t s = instruments_[id].sheet;
            FUZZ_CHECK(placement_.Rows(s).size() == static_cast<std::size_t>(end_ - first_));
        }
        for (std::uint32_t id = 0; id < instruments_.size(); ++id) {
            Instrument& instrument = instruments_[id];
            const int row = placement_.Row(id);
            if (full_.count(id) > 0) FUZZ_CHECK(row < 0 && placement_.Refused(id));
            if (row != before[id]) {
                FUZZ_CHECK(rewrite.count(id) > 0 || row < 0);  // a new row is written
                instrument.written = false;
            }
            if (row < 0) continue;
            FUZZ_CHECK(placement_.Written(id) == instrument.written);
            FUZZ_CHECK(row >= first_ && row < end_);
            const std::vector<std::int32_t>& rows = placement_.Rows(instrument.sheet);
            FUZZ_CHECK(rows.at(static_cast<std::size_t>(row - first_)) ==
                       static_cast<std::int32_t>(id));
            // Given only where the reading found this instrument or nothing.
            const std::string found = FoundAt(instrument.sheet, row);
            FUZZ_CHECK(found.empty() || found == instrument.key);
        }
        // No row holds two instruments, and every row's instrument has that row.
        for (std::uint32_t s = 0; s < kSheets; ++s) {
            const std::vector<std::int32_t>& rows = placement_.Rows(s);
            for (std::size_t at = 0; at < rows.size(); ++at) {
                if (rows[at] < 0) continue;
                const auto id = static_cast<std::uint32_t>(rows[at]);
                FUZZ_CHECK(id < instruments_.size() && instruments_[id].sheet == s);
                FUZZ_CHECK(placement_.Row(id) == first_ + static_cast<int>(at));
            }
        }
    }

    const int first_, end_;
    const bool clean_;
    live::RowPlacement placement_;
    Sheet sheets_[kSheets];
    std::vector<Instrument> instruments_;
    std::map<std::string, std::uint32_t> ids_;
    std::set<std::uint32_t> full_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 512) return 0;
    Bytes in(data, size);
    const std::uint8_t mode = in.Next();
    const int firstRow = mode & 3;
    const int sheetRows = firstRow + 1 + (mode >> 2) % 12;
    Model model(firstRow, sheetRows, mode & 0x80);
    // The workbook as it was saved: rows left in its sheets.
    for (int n = in.Next() % 10; n > 0; --n) {
        const std::uint8_t where = in.Next();
        model.Type(where % kSheets, where >> 1, in.Next());
    }
    while (in.More()) {
        const std::uint8_t op = in.Next();
        const std::uint32_t sheet = (op >> 4) % kSheets;
        switch (op % 8) {
            case 0:
            case 1:
                model.Add(op >> 1, in.Next());
                break;
            case 2:
                model.Read(sheet);
                break;
            case 3:
                model.PlaceNew(sheet);
                break;
            case 4:
                model.Write(sheet, in.Next());
                break;
            case 5: {
                const std::uint8_t a = in.Next(), b = in.Next();
                model.Edit(sheet, op >> 5, a, b);
                break;
            }
            case 6: {
                const std::uint8_t row = in.Next();
                model.Type(sheet, row, in.Next());
                break;
            }
            default:
                if (op & 0x40)
                    model.Refuse(sheet);
                else
                    model.Reopen();
                break;
        }
    }
    return 0;
}
