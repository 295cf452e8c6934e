// A live table against a stand-in office whose sheets hold rows from the start (a saved
// workbook, a person's notes), while ticks of fuzzed instruments are put, the user sorts,
// moves, inserts, deletes and retypes rows between flushes, and the office goes away and
// comes back (the same office, or a new one that reloads the saved workbook). The office
// writes a block only where each row is blank or holds the row's own instrument, and
// tells the table the rows moved otherwise; so no row ever holds two instruments' ticks
// and rows of instruments that never ticked, or of something else, are never written.
// The table must have read the sheet since the user last changed it, or a write finds
// its rows moved: a write that finds them so with no change since is the table's fault.
// The ticks change a few fields each, and the office stores only the cells each write
// carries, so a cell the table wrongly takes as unchanged shows: after every flush that
// wrote everything, each instrument's newest tick is in every column of one row of its
// sheet.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "fuzz_bytes.hpp"
#include "fuzz_check.hpp"
#include "live/live_table.hpp"
#include "platform/instrument_key.hpp"
#include "sheet/sheet_names.hpp"

using namespace corvane;
using corvane::Error;
using corvane::ErrorCode;

namespace {

constexpr int kColumns = kColumnCount;
const char* const kExchanges[] = {"NSE", "nse", "BSE", " bse ", "MCX", "X1"};
const char* const kScrips[] = {"1", "01", "2", "3", "10", "-0", "0", "500325", "0500325", " 7"};

using Bytes = FuzzBytes;

// A row's cells; empty for a blank row.
using Cells = std::vector<std::string>;

std::string KeyOfCells(const Cells& cells) {
    return cells.empty() ? std::string() : platform::InstrumentKey(cells[0], cells[2]);
}

bool BlankKeyColumns(const Cells& cells) {
    return cells.empty() || (cells[0].empty() && cells[1].empty() && cells[2].empty());
}

// The office: sheets by the name the office compares (letter case ignored), each with
// its rows from 0 to the sheet's end.
struct Office {
    std::mutex mu;
    live::TableOptions options;
    std::map<std::string, std::vector<Cells>> sheets, saved;
    bool takesSheets = false;
    ErrorCode lose = ErrorCode::Ok;  // the next call fails with this
    bool restart = false;            // the next recovery starts a new office
    int failedRecoveries = 0;
    int openFailures = 0;
    // Where each instrument's tick went since the last flush or recovery.
    std::map<std::string, std::pair<std::string, int>> writtenTo;
    std::set<std::string> cleaned;
    // Sheets the user (or a reloaded workbook) changed since the table last read them.
    std::set<std::string> changedSinceRead;
    bool tellsChanges = false;  // KeysChanged says so, or always says no
    // A sheet's last row held something when the table read or wrote it: an instrument
    // may have found no row then, and stays refused.
    bool wasFull = false;

    void NoteFull(const std::vector<Cells>& sheet) { wasFull |= !BlankKeyColumns(sheet.back()); }

    std::vector<Cells>* Sheet(const std::string& name) {
        const auto found = sheets.find(sheet::SheetNameKey(name));
        return found == sheets.end() ? nullptr : &found->second;
    }
    std::vector<Cells> NewSheet() const {
        return std::vector<Cells>(static_cast<std::size_t>(options.sheetRows));
    }
    bool Lost(Error& result) {
        if (lose == ErrorCode::Ok) return false;
        result = {std::exchange(lose, ErrorCode::Ok), "the office went away"};
        return true;
    }
};

class Sink : public live::LiveSink {
  public:
    explicit Sink(std::shared_ptr<Office> office) : office_(std::move(office)) {}

    Error Open() override {
        std::lock_guard<std::mutex> lock(office_->mu);
        if (office_->openFailures > 0) {
            --office_->openFailures;
            return {ErrorCode::Connect, "no office yet"};
        }
        return {};
    }
    Error Recover(const Error&, bool& restarted) override {
        std::lock_guard<std::mutex> lock(office_->mu);
        if (office_->failedRecoveries > 0) {
            --office_->failedRecoveries;
            return {ErrorCode::Connect, "no office yet"};
        }
        office_->writtenTo.clear();
        if (!std::exchange(office_->restart, false)) return {};
        office_->sheets = office_->saved;  // a new office loads the workbook as it was saved
        for (const auto& sheet : office_->sheets) office_->changedSinceRead.insert(sheet.first);
        restarted = true;
        return {};
    }
    Error WriteTitles(const std::string& name, int row) override {
        std::lock_guard<std::mutex> lock(office_->mu);
        Error result;
        if (office_->Lost(result)) return result;
        FUZZ_CHECK(office_->options.titles && row == office_->options.firstRow - 1);
        std::vector<Cells>* sheet = office_->Sheet(name);
        if (sheet == nullptr) return {ErrorCode::NoSheet, "no sheet " + name};
        (*sheet)[static_cast<std::size_t>(row)] = Cells{"<titles>", "", ""};
        return {};
    }
    Error WriteBlock(const std::string& name, int firstRow,
                     const std::vector<live::ColumnSpan>& columns,
                     const std::vector<const live::LiveRow*>& rows, bool& moved) override {
        std::lock_guard<std::mutex> lock(office_->mu);
        Error result;
        if (office_->Lost(result)) return result;
        std::vector<Cells>* sheet = office_->Sheet(name);
        if (sheet == nullptr) return {ErrorCode::NoSheet, "no sheet " + name};
        const int count = static_cast<int>(rows.size());
        FUZZ_CHECK(count > 0 && firstRow >= office_->options.firstRow &&
                   firstRow + count <= office_->options.sheetRows);
        // Ranges of columns of the row's 42, ascending and apart.
        FUZZ_CHECK(!columns.empty());
        for (std::size_t s = 0; s < columns.size(); ++s)
            FUZZ_CHECK(columns[s].first <= columns[s].last && columns[s].last < kColumns &&
                       columns[s].first >= (s == 0 ? 0 : columns[s - 1].last + 2));
        for (int i = 0; i < count; ++i) {
            const live::LiveRow& tick = *rows[static_cast<std::size_t>(i)];
            const std::string key = platform::InstrumentKey(tick.View(0), tick.View(2));
            FUZZ_CHECK(!key.empty());
            // A row that holds anything in its key columns is that instrument's row.
            const Cells& cells = (*sheet)[static_cast<std::size_t>(firstRow + i)];
            moved |= !BlankKeyColumns(cells) && KeyOfCells(cells) != key;
        }
        if (moved) {
            FUZZ_CHECK(office_->changedSinceRead.count(sheet::SheetNameKey(name)) > 0);
            return {};
        }
        for (int i = 0; i < count; ++i) {
            const live::LiveRow& tick = *rows[static_cast<std::size_t>(i)];
            const std::string key = platform::InstrumentKey(tick.View(0), tick.View(2));
            Cells& cells = (*sheet)[static_cast<std::size_t>(firstRow + i)];
            // One row per instrument.
            const std::pair<std::string, int> place{sheet::SheetNameKey(name), firstRow + i};
            FUZZ_CHECK(office_->writtenTo.emplace(key, place).first->second == place);
            // Only the call's cells: one the table skipped keeps what the row held.
            cells.resize(kColumns);
            for (const live::ColumnSpan& span : columns)
                for (int k = span.first; k <= span.last; ++k)
                    cells[static_cast<std::size_t>(k)] = tick.Field(k);
        }
        office_->NoteFull(*sheet);
        return {};
    }
    Error ReadKeys(const std::string& name, int firstRow, bool create,
                   std::vector<live::RowKey>& keys) override {
        std::lock_guard<std::mutex> lock(office_->mu);
        Error result;
        if (office_->Lost(result)) return result;
        keys.clear();
        std::vector<Cells>* sheet = office_->Sheet(name);
        if (sheet == nullptr) {
            if (!create || !office_->takesSheets) return {ErrorCode::NoSheet, "no sheet " + name};
            sheet = &(office_->sheets[sheet::SheetNameKey(name)] = office_->NewSheet());
        }
        office_->changedSinceRead.erase(sheet::SheetNameKey(name));
        office_->NoteFull(*sheet);
        std::size_t end = sheet->size();
        while (end > static_cast<std::size_t>(firstRow) && BlankKeyColumns((*sheet)[end - 1]))
            --end;
        for (std::size_t row = static_cast<std::size_t>(firstRow); row < end; ++row) {
            const Cells& cells = (*sheet)[row];
            if (cells.empty())
                keys.push_back({});
            else
                keys.push_back({cells[0], cells[2], BlankKeyColumns(cells)});
        }
        return {};
    }
    bool KeysChanged(const std::string& name) override {
        std::lock_guard<std::mutex> lock(office_->mu);
        return office_->tellsChanges &&
               office_->changedSinceRead.count(sheet::SheetNameKey(name)) > 0;
    }
    Error ClearRows(const std::string& name, int firstRow, int count) override {
        std::lock_guard<std::mutex> lock(office_->mu);
        Error result;
        if (office_->Lost(result)) return result;
        FUZZ_CHECK(office_->options.cleanSheet && firstRow == office_->options.firstRow);
        // Only the first connection empties a sheet.
        FUZZ_CHECK(office_->cleaned.insert(sheet::SheetNameKey(name)).second);
        std::vector<Cells>* sheet = office_->Sheet(name);
        if (sheet == nullptr) return {ErrorCode::NoSheet, "no sheet " + name};
        for (int row = firstRow; row < firstRow + count && row < office_->options.sheetRows; ++row)
            (*sheet)[static_cast<std::size_t>(row)].clear();
        return {};
    }

  private:
    std::shared_ptr<Office> office_;
};

// A row the input names: a sheet of the workbook and a row of its market-watch rows.
std::vector<Cells>* PickRow(Office& office, Bytes& in, std::size_t& row,
                            std::string* name = nullptr) {
    if (office.sheets.empty()) return nullptr;
    auto sheet = office.sheets.begin();
    std::advance(sheet, in.Next() % office.sheets.size());
    const int first = office.options.firstRow;
    row = static_cast<std::size_t>(first + in.Next() % (office.options.sheetRows - first));
    if (name != nullptr) *name = sheet->first;
    return &sheet->second;
}

// What a person or an earlier run left in a row: an instrument, or something else.
Cells Typed(Bytes& in) {
    const std::uint8_t what = in.Next();
    Cells cells(kColumns);
    if (what % 8 == 7) {
        cells[1] = "Total";
    } else {
        cells[0] = kExchanges[what % 6];
        cells[2] = kScrips[(what >> 3) % 10];
        cells[11] = "99.5";
    }
    return cells;
}

// The user edits the sheet between flushes; true when rows changed. `retyped` gets the
// instruments typed into a row.
bool Edit(Office& office, std::uint8_t op, Bytes& in, std::set<std::string>& retyped) {
    std::lock_guard<std::mutex> lock(office.mu);
    std::size_t a = 0, b = 0;
    std::string name;
    std::vector<Cells>* sheet = PickRow(office, in, a, &name);
    if (sheet == nullptr) return false;
    office.changedSinceRead.insert(name);
    const std::size_t first = static_cast<std::size_t>(office.options.firstRow);
    b = first + in.Next() % (sheet->size() - first);
    switch (op) {
        case 0:  // sort: two rows change places
            std::swap((*sheet)[a], (*sheet)[b]);
            break;
        case 1: {  // a row is cut and inserted elsewhere
            Cells moved = std::move((*sheet)[a]);
            sheet->erase(sheet->begin() + static_cast<long>(a));
            sheet->insert(sheet->begin() + static_cast<long>(b), std::move(moved));
            break;
        }
        case 2:  // a row is deleted
            sheet->erase(sheet->begin() + static_cast<long>(a));
            sheet->emplace_back();
            break;
        case 3:  // a blank row is inserted (the sheet's last row drops off)
            sheet->insert(sheet->begin() + static_cast<long>(a), Cells());
            sheet->pop_back();
            break;
        case 4:  // a row is emptied
            (*sheet)[a].clear();
            break;
        default: {  // a row is typed over
            Cells typed = Typed(in);
            // An instrument typed in: when the table finds it where it left it (typed over
            // its own row), it has no reason to write the row before the next tick.
            const std::string key = KeyOfCells(typed);
            if (!key.empty()) retyped.insert(key);
            (*sheet)[a] = std::move(typed);
            break;
        }
    }
    return true;
}

// The table's options and the saved workbook, as the input's first bytes choose them;
// true when the table follows the user's edits before its next write (it reads the keys
// before every write, or its sink tells of changes).
bool Setup(Office& office, std::uint8_t mode, Bytes& in) {
    live::TableOptions& options = office.options;
    options.sheet = "NSE";
    options.sheetPerExchange = mode & 1;
    options.addSheets = mode & 2;
    options.cleanSheet = mode & 4;
    options.titles = mode & 8;
    office.takesSheets = mode & 16;
    office.openFailures = (mode >> 5) & 1;
    const int firstRows[] = {0, 1, 2, 4};
    options.firstRow = firstRows[(mode >> 6) & 3];
    if (options.titles && options.firstRow == 0) options.firstRow = 1;
    options.sheetRows = options.firstRow + 3 + in.Next() % 24;
    // The writer runs when a flush asks and waits little for an office that went away.
    // It reads the keys before every write, or when the sink tells of a change, or only
    // when a write finds rows moved.
    options.interval = std::chrono::hours(1);
    options.backoffFirst = options.backoffLast = std::chrono::milliseconds(1);
    options.checkAfter = std::chrono::hours(1);

    // The saved workbook: NSE and BSE, MCX now and then, rows left in them.
    const std::uint8_t workbook = in.Next();
    options.keyCheckEvery = workbook & 0x80 ? std::chrono::milliseconds(std::chrono::hours(1))
                                            : std::chrono::milliseconds(1);
    office.tellsChanges = workbook & 0x40;
    for (const char* name : {"NSE", "BSE", "MCX"})
        if (name[0] != 'M' || (workbook & 1)) office.sheets[name] = office.NewSheet();
    for (int n = (workbook >> 1) % 12; n > 0; --n) {
        std::size_t row = 0;
        std::vector<Cells>* sheet = PickRow(office, in, row);
        (*sheet)[row] = Typed(in);
    }
    office.saved = office.sheets;
    // Without either, an instrument whose row the user typed over is found gone only at
    // its next tick.
    return options.keyCheckEvery.count() == 1 || office.tellsChanges;
}

// An instrument's newest tick: its sheet and its 42 fields.
struct Newest {
    std::string sheet;
    Cells fields;
};

// Every instrument's newest tick is in its sheet, in every column of a row of its own
// (or the instrument the user typed back into its row since).
void CheckNewest(Office& office, const std::map<std::string, Newest>& newest,
                 const std::set<std::string>& retyped) {
    for (const auto& [key, tick] : newest) {
        const std::vector<Cells>* sheet = office.Sheet(tick.sheet);
        FUZZ_CHECK(sheet != nullptr);
        int found = 0;
        for (const Cells& cells : *sheet)
            found += KeyOfCells(cells) == key && (cells == tick.fields || retyped.count(key) > 0);
        FUZZ_CHECK(found >= 1);
    }
}

// The fields a tick may change, each on its own: the description, numbers of the
// first columns, the middle and the last, so that the changed cells of a block lie
// together, apart or far apart.
constexpr int kChanging[] = {1, 3, 4, 11, 12, 20, 33, 41};

// The next tick of an instrument from its fields so far: exchange and scrip code as the
// input spells them, and each of kChanging new where the input's bits say so (now and
// then empty).
void NextTick(Cells& fields, const char* exchange, const char* scrip, std::uint8_t changes,
              std::uint64_t tick) {
    fields.resize(kColumns);
    fields[0] = exchange;
    fields[2] = scrip;
    for (std::size_t i = 0; i < std::size(kChanging); ++i)
        if (changes >> i & 1)
            fields[kChanging[i]] = tick % 11 == 0 ? "" : std::to_string(tick * 7 + i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3 || size > 512) return 0;
    Bytes in(data, size);
    const std::uint8_t mode = in.Next();
    auto office = std::make_shared<Office>();
    const bool followsEdits = Setup(*office, mode, in);
    const live::TableOptions& options = office->options;

    std::uint64_t refusedPuts = 0;
    std::map<std::string, Newest> newest;
    std::set<std::string> retyped;
    std::uint64_t ticks = 0;
    bool edited = false;
    {
        live::LiveTable table(options, std::make_unique<Sink>(office));
        // The writer's first round runs at once; from then on it runs only for a flush,
        // so the user's edits fall between its rounds.
        FUZZ_CHECK(table.Flush(corvane::Timeout::After(std::chrono::seconds(20))).ok());
        while (in.More()) {
            const std::uint8_t op = in.Next();
            if (op < 128) {
                const char* exchange = kExchanges[op % 6];
                const char* scrip = kScrips[in.Next() % 10];
                const std::string key = platform::InstrumentKey(exchange, scrip);
                const std::string sheet = options.sheetPerExchange
                                              ? sheet::SheetNameKey(platform::Trimmed(exchange))
                                              : sheet::SheetNameKey(options.sheet);
                const auto known = newest.find(key);
                Cells fields = known == newest.end() ? Cells() : known->second.fields;
                NextTick(fields, exchange, scrip, in.Next(), ++ticks);
                std::string_view views[kColumns];
                for (int k = 0; k < kColumns; ++k) views[k] = fields[static_cast<std::size_t>(k)];
                const Error put = table.Put(views);
                if (put.ok()) {
                    newest[key] = {sheet, std::move(fields)};
                    retyped.erase(key);
                } else {
                    FUZZ_CHECK(put != ErrorCode::Argument && put != ErrorCode::NotConnected);
                    ++refusedPuts;
                }
            } else if (op < 176) {
                // Rows are read again only some time after the last reading.
                if (edited) std::this_thread::sleep_for(std::chrono::milliseconds(2));
                edited = false;
                const Error flushed =
                    table.Flush(corvane::Timeout::After(std::chrono::seconds(20)));
                FUZZ_CHECK(flushed.ok());
                const live::TableStats stats = table.Stats();
                std::lock_guard<std::mutex> lock(office->mu);
                office->writtenTo.clear();
                if (office->wasFull || stats.ticksRefused != refusedPuts || !followsEdits) continue;
                // Nothing was refused after its put.
                CheckNewest(*office, newest, retyped);
            } else if (op < 240) {
                edited |= Edit(*office, op % 6, in, retyped);
            } else {
                std::lock_guard<std::mutex> lock(office->mu);
                office->lose = op & 1 ? ErrorCode::Connect : ErrorCode::Timeout;
                office->restart = op & 2;
                office->failedRecoveries = (op >> 2) & 1;
            }
        }
        if (edited) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        table.Close(corvane::Timeout::After(std::chrono::seconds(20)));
    }
    return 0;
}
