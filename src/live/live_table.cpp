#include "live/live_table.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "core/deadline.hpp"
#include "platform/instrument_key.hpp"
#include "sheet/sheet_names.hpp"

namespace corvane::live {
namespace {

using Clock = std::chrono::steady_clock;

// Ticks moved from the host's side to the writer's under one hold of the lock: enough
// to make the hold worth taking, few enough that a put finding the lock held waits
// about a microsecond.
constexpr std::size_t kCollectChunk = 32;

// How often one cycle reads a sheet again and writes into it when its writes keep
// finding rows that somebody changed since; the rest waits for the next cycle.
constexpr int kMovedAttempts = 4;

// Takes the table's lock for a put. A put that finds it held spins briefly before it
// blocks: the writer holds it only for short stretches, and a thread put to sleep in
// the kernel and woken again would wait tens of microseconds instead.
void LockForPut(platform::Mutex& mu) ACQUIRE(mu) NO_THREAD_SAFETY_ANALYSIS {
    for (int spin = 0; spin < 2000; ++spin) {
        if (mu.try_lock()) return;
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    mu.lock();
}

// The table the calling thread writes for, when it is a writer thread: Flush and Close
// cannot wait for their own thread.
thread_local const LiveTable* tWriterOf = nullptr;

// What a reading found in a row that holds something in columns A to C but no key.
const std::string kOccupied("\x01");

// The key a reading found in a row: an instrument's, kOccupied, or "" for a blank row.
std::string KeyFound(const RowKey& row) {
    if (row.blank) return {};
    std::string key = platform::InstrumentKey(row.exchange, row.scrip);
    return key.empty() ? kOccupied : key;
}

// The office or its workbook went away, or stopped answering: a recovery may mend it.
bool Lost(const Error& status) {
    return status == ErrorCode::Connect || status == ErrorCode::Timeout;
}

Error Closed() { return {ErrorCode::NotConnected, "the live table is closed"}; }

Error OnWriterThread() {
    return {ErrorCode::Argument,
            "the table's state callback cannot wait for its writer thread (flush, save a copy "
            "or close the table from another thread)"};
}

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// A row's leading columns as one text, NUL-separated, and whether a row's are those.
std::string Leading(const LiveRow& row) {
    std::string leading;
    for (int k = 0; k < LiveSink::kLeadingColumns; ++k) {
        if (k > 0) leading += '\0';
        leading += row.View(k);
    }
    return leading;
}

bool SameLeading(const std::string& leading, const LiveRow& row) {
    std::string_view rest(leading);
    for (int k = 0; k < LiveSink::kLeadingColumns; ++k) {
        const std::string_view field = row.View(k);
        if (rest.substr(0, field.size()) != field) return false;
        rest.remove_prefix(field.size());
        if (k + 1 < LiveSink::kLeadingColumns) {
            if (rest.empty() || rest.front() != '\0') return false;
            rest.remove_prefix(1);
        }
    }
    return rest.empty();
}

void Check(bool holds, const char* what) {
    if (!holds) throw std::invalid_argument(what);
}

Error NoSheetFor(const std::string& exchange) {
    return {ErrorCode::NoSheet,
            "the exchange " + exchange + " has no sheet, and the workbook took no new one"};
}

}  // namespace

const char* StateName(TableState state) {
    switch (state) {
        case TableState::Connecting:
            return "connecting";
        case TableState::Live:
            return "live";
        case TableState::Recovering:
            return "recovering";
        case TableState::Failed:
            return "failed";
    }
    return "unknown";
}

LiveTable::LiveTable(TableOptions options, std::unique_ptr<LiveSink> sink,
                     StateCallback onStateChange)
    : options_(std::move(options)),
      sink_(std::move(sink)),
      onStateChange_(std::move(onStateChange)),
      estimate_(options_.startCost) {
    Check(sink_ != nullptr, "a live table needs a sink");
    Check(options_.sheetPerExchange || !options_.sheet.empty(), "no sheet name");
    Check(options_.sheetRows > 0, "a sheet needs rows");
    Check(options_.firstRow >= 0 && options_.firstRow < options_.sheetRows,
          "the first row lies outside the sheet");
    Check(!options_.titles || options_.firstRow >= 1,
          "titles need a row above the first instrument");
    Check(options_.interval.count() >= 0, "a negative interval");
    Check(options_.backoffFirst.count() > 0 && options_.backoffLast >= options_.backoffFirst,
          "the backoff must be positive and grow");
    index_.reserve(1024);
    Check(options_.keyCheckEvery.count() > 0, "the key check needs a positive period");
    if (!options_.sheetPerExchange) sheets_.push_back({options_.sheet});
    stats_.cost = options_.startCost;
    writer_ = std::thread([this] { Run(); });
}

LiveTable::~LiveTable() {
    Close(std::chrono::seconds(10));
    if (writer_.joinable()) writer_.join();
}

Error LiveTable::Put(const char* const* fields) {
    std::string_view views[kColumnCount];
    for (int k = 0; k < kColumnCount; ++k)
        if (fields != nullptr && fields[k] != nullptr) views[k] = fields[k];
    return Put(views);
}

Error LiveTable::Put(const MarketWatchRecord& record) {
    std::string_view views[kColumnCount];
    for (int k = 0; k < kColumnCount; ++k)
        views[k] = {record.fields[k].GetString(),
                    static_cast<std::size_t>(record.fields[k].GetLength())};
    return Put(views);
}

Error LiveTable::Put(const std::string_view* fields) {
    std::string key = platform::InstrumentKey(fields[0], fields[2]);
    if (key.empty()) return {ErrorCode::Argument, "a tick without exchange or scrip code"};
    // Copied before the lock into a buffer of its own, which the lock only swaps in:
    // a fresh allocation comes from memory this thread just used, where refilling the
    // slot's old buffer would touch memory that has long gone cold. The buffer swapped
    // out is freed after the lock.
    LiveRow tick;
    tick.Assign(fields);

    LockForPut(mu_);
    platform::Lock lock(mu_, std::adopt_lock);
    if (closed_) return Closed();
    auto found = index_.find(key);
    if (found == index_.end()) {
        std::uint32_t sheet = 0;
        if (options_.sheetPerExchange) {
            // The first spelling of an exchange names its sheet from then on. The key
            // starts with the exchange as the office compares sheet names.
            std::string name = key.substr(0, key.find('\0'));
            const auto known = sheetIndex_.find(name);
            if (known != sheetIndex_.end()) {
                sheet = known->second;
            } else {
                sheet = static_cast<std::uint32_t>(sheets_.size());
                sheets_.push_back({std::string(platform::Trimmed(fields[0]))});
                sheetIndex_.emplace(std::move(name), sheet);
            }
        }
        SheetPlace& place = sheets_[sheet];
        if (place.refused ||
            place.instruments >= static_cast<std::size_t>(options_.sheetRows - options_.firstRow)) {
            ++ticksRefused_;
            return place.refused
                       ? NoSheetFor(place.name)
                       : Error(ErrorCode::Full, "the sheet has no row left for a new instrument");
        }
        ++place.instruments;
        Slot& slot = slots_.emplace_back();
        slot.sheet = sheet;
        slot.key = key;
        found = index_.emplace(std::move(key), static_cast<std::uint32_t>(slots_.size() - 1)).first;
    }
    Slot& slot = slots_[found->second];
    if (sheets_[slot.sheet].refused) {
        ++ticksRefused_;
        return NoSheetFor(sheets_[slot.sheet].name);
    }
    ++ticksPut_;
    if (slot.dirty) {
        ++ticksReplaced_;
    } else {
        slot.dirty = true;
        slot.firstPut = Clock::now();
        dirty_.push_back(found->second);
        if (options_.interval.count() == 0 && dirty_.size() == 1) wake_.notify_one();
    }
    swap(slot.pending, tick);
    return {};
}

Error LiveTable::Flush(std::chrono::milliseconds timeout) {
    if (tWriterOf == this) return OnWriterThread();
    platform::Lock lock(mu_);
    if (closed_) return Closed();
    return WaitWritten(DeadlineAfter(timeout), lock);
}

Error LiveTable::Close(std::chrono::milliseconds timeout) {
    if (tWriterOf == this) return OnWriterThread();
    platform::Lock lock(mu_);
    if (closed_) return Closed();
    closed_ = true;
    Error result = WaitWritten(DeadlineAfter(timeout), lock);
    stop_ = true;
    lock.Unlock();
    wake_.notify_all();
    bool cancel = false;
    {
        platform::Lock calls(callMu_);
        callsStopped_ = true;
        cancel = inCall_;
    }
    if (cancel) sink_->Cancel();
    writer_.join();
    return result;
}

Error LiveTable::WaitWritten(Clock::time_point deadline, platform::Lock& lock) {
    const std::uint64_t generation = ++flushAsked_;
    wake_.notify_one();
    const auto settled = [&]() REQUIRES(mu_) {
        return flushWritten_ >= generation || flushRefused_ >= generation || failed_ ||
               writerEnded_;
    };
    if (deadline == Clock::time_point::max())
        lock.Wait(written_, settled);
    else
        lock.WaitUntil(written_, deadline, settled);
    if (flushWritten_ >= generation) return {};
    Error last;
    {
        platform::Lock stats(statsMu_);
        last = stats_.lastFailure;
    }
    if (flushRefused_ >= generation || failed_)
        return last.ok() ? Error(ErrorCode::Office, "the office refused rows") : last;
    return {ErrorCode::Timeout,
            "not everything was written in time" +
                (last.message().empty() ? std::string() : " (" + last.message() + ")")};
}

TableStats LiveTable::Stats() const {
    TableStats stats;
    {
        platform::Lock lock(statsMu_);
        stats = stats_;
        stats.flushTime = flushTimes_.Summary();
        stats.staleness = staleness_.Summary();
    }
    platform::Lock lock(mu_);
    stats.ticksPut = ticksPut_;
    stats.ticksReplaced += ticksReplaced_;
    stats.ticksRefused += ticksRefused_;
    stats.instruments = slots_.size();
    return stats;
}

void LiveTable::Run() {
    tWriterOf = this;
    bool connected = Connect(true, Error());
    Clock::time_point next = Clock::now();
    Clock::time_point retry = Clock::time_point::max();
    while (connected) {
        {
            platform::Lock lock(mu_);
            const auto ready = [&]() REQUIRES(mu_) {
                return stop_ || flushAsked_ > flushServed_ ||
                       (options_.interval.count() == 0 && !dirty_.empty());
            };
            const Clock::time_point until = options_.interval.count() > 0 ? next : retry;
            if (until == Clock::time_point::max())
                lock.Wait(wake_, ready);
            else
                lock.WaitUntil(wake_, until, ready);
            if (stop_) break;
        }
        next = Clock::now() + options_.interval;
        retry = Clock::time_point::max();
        Error lost;
        const CycleEnd end = Cycle(lost);
        if (end == CycleEnd::Stopped) break;
        if (end == CycleEnd::Lost) {
            Record(lost);
            {
                platform::Lock lock(mu_);
                if (stop_) break;  // a call cancelled by Close
            }
            connected = Connect(false, lost);
            MarkAllForRewrite();
            next = Clock::now();
            retry = next;
        } else if (unwritten_ > 0) {
            // Rows the office refused: tried again, but not at once.
            retry = Clock::now() + options_.backoffFirst;
        }
    }
    {
        platform::Lock lock(mu_);
        writerEnded_ = true;
    }
    written_.notify_all();
}

bool LiveTable::Connect(bool first, Error cause) {
    SetState(first ? TableState::Connecting : TableState::Recovering);
    std::chrono::milliseconds pause = options_.backoffFirst;
    for (;;) {
        Error result;
        bool restarted = false;
        if (!Call([&] { return first ? sink_->Open() : sink_->Recover(cause, restarted); }, result))
            return false;
        if (result.ok()) {
            lastContact_ = Clock::now();
            if (!first) {
                platform::Lock lock(statsMu_);
                ++(restarted ? stats_.restarts : stats_.reconnects);
            }
            SetState(TableState::Live);
            return true;
        }
        Record(result);
        // A workbook that does not load at the first connection is the host's to mend;
        // once the table has written, a failed reload (the file held by a save, a
        // moment's lock) is waited out like a lost office, its reason in the statistics.
        if (first && !Lost(result)) {
            SetState(TableState::Failed);  // before flushes learn of it, so Stats agrees
            {
                platform::Lock lock(mu_);
                failed_ = true;
            }
            written_.notify_all();
            return false;
        }
        if (!first && Lost(result)) cause = result;
        platform::Lock lock(mu_);
        if (lock.WaitFor(wake_, pause, [&]() REQUIRES(mu_) { return stop_; })) return false;
        pause = std::min(pause * 2, options_.backoffLast);
    }
}

std::uint64_t LiveTable::Collect() {
    std::uint64_t generation = 0;
    {
        platform::Lock lock(mu_);
        collecting_.swap(dirty_);
        generation = flushServed_ = flushAsked_;
    }
    if (collecting_.empty()) return generation;
    const std::uint32_t highest = *std::max_element(collecting_.begin(), collecting_.end());
    if (highest >= shadows_.size()) shadows_.resize(highest + 1);

    std::vector<std::uint32_t> newcomers;
    std::uint64_t replaced = 0;
    for (std::size_t start = 0; start < collecting_.size(); start += kCollectChunk) {
        const std::size_t end = std::min(collecting_.size(), start + kCollectChunk);
        platform::Lock lock(mu_);
        for (std::size_t i = start; i < end; ++i) {
            const std::uint32_t id = collecting_[i];
            Slot& slot = slots_[id];
            Shadow& shadow = shadows_[id];
            if (shadow.firstPut != Clock::time_point()) {
                ++replaced;  // the tick collected before was not written yet
            } else {
                shadow.firstPut = slot.firstPut;
                if (!shadow.needsWrite) ++unwritten_;
                shadow.needsWrite = true;
            }
            if (!shadow.known) {
                shadow.sheet = slot.sheet;
                shadow.key = std::move(slot.key);
                newcomers.push_back(id);
            }
            shadow.known = true;
            shadow.fields = std::move(slot.pending);  // the old one is freed here, not by a put
            slot.dirty = false;
        }
    }

    if (!newcomers.empty()) {
        std::uint32_t sheets = 0;
        for (const std::uint32_t id : newcomers) sheets = std::max(sheets, shadows_[id].sheet + 1);
        if (sheets > sheetRows_.size()) {
            platform::Lock lock(mu_);
            for (std::size_t s = sheetRows_.size(); s < sheets; ++s) {
                sheetRows_.emplace_back();
                sheetRows_.back().name = sheets_[s].name;
                sheetRows_.back().titlesNeeded = options_.titles;
            }
        }
        for (const std::uint32_t id : newcomers) {
            SheetRows& sheet = sheetRows_[shadows_[id].sheet];
            sheet.unplaced.push_back(id);
            if (sheet.refused) shadows_[id].refused = true;
        }
    }
    std::uint64_t refused = 0;
    for (const std::uint32_t id : collecting_) {
        Shadow& shadow = shadows_[id];
        if (shadow.refused && shadow.needsWrite) {
            Unwrite(shadow);
            ++refused;
        }
    }
    collecting_.clear();
    if (replaced > 0 || refused > 0) {
        platform::Lock lock(statsMu_);
        stats_.ticksReplaced += replaced;
        stats_.ticksRefused += refused;
    }
    return generation;
}

LiveTable::CycleEnd LiveTable::Cycle(Error& lost) {
    // The one named sheet gets its titles as soon as the office is there.
    if (sheetRows_.empty() && !options_.sheetPerExchange) {
        sheetRows_.emplace_back();
        sheetRows_.back().name = options_.sheet;
        sheetRows_.back().titlesNeeded = options_.titles;
    }
    const std::uint64_t generation = Collect();
    const CallCost cost = options_.learnCost ? estimate_.Current() : options_.startCost;
    const Clock::time_point started = Clock::now();
    bool wrote = false;
    bool movedLeft = false;  // rows that somebody kept moving under every attempt

    for (SheetRows& sheet : sheetRows_) {
        if (sheet.refused) continue;
        bool moved = true;
        for (int attempt = 0; moved && attempt < kMovedAttempts; ++attempt) {
            const CycleEnd end = WriteSheet(sheet, cost, wrote, moved, lost);
            if (end != CycleEnd::Done) return end;
        }
        movedLeft |= moved;
    }

    if (wrote) {
        lastContact_ = Clock::now();
        platform::Lock lock(statsMu_);
        flushTimes_.Add(Milliseconds(Clock::now() - started));
    } else if (Clock::now() - lastContact_ >= options_.checkAfter) {
        // Nothing to write for a while: the office may have gone (or the user closed the
        // workbook) without any write noticing.
        Error result;
        if (!Call([&] { return sink_->Check(); }, result)) return CycleEnd::Stopped;
        lastContact_ = Clock::now();
        if (Lost(result)) {
            lost = result;
            return CycleEnd::Lost;
        }
    }
    // Rows still moving under the writer are written at the next cycle, for the same
    // flushes: they were not refused.
    if (movedLeft) return CycleEnd::Done;
    const bool titlesDone = std::none_of(sheetRows_.begin(), sheetRows_.end(),
                                         [](const SheetRows& s) { return s.titlesNeeded; });
    // Flushes served by this attempt learn how it ended.
    std::uint64_t& outcome = unwritten_ == 0 && titlesDone ? flushWritten_ : flushRefused_;
    bool advanced = false;
    {
        platform::Lock lock(mu_);
        if (generation > outcome) {
            outcome = generation;
            advanced = true;
        }
    }
    if (advanced) written_.notify_all();
    return CycleEnd::Done;
}

LiveTable::CycleEnd LiveTable::WriteSheet(SheetRows& sheet, const CallCost& cost, bool& wrote,
                                          bool& moved, Error& lost) {
    moved = false;
    std::vector<int> changed;
    std::vector<Block> blocks;
    std::vector<const LiveRow*> rows;
    // Rows are placed only by what the sheet holds: read before the first write
    // after a connection, after somebody changed them, and every few seconds.
    if (!sheet.ids.empty() || !sheet.unplaced.empty()) {
        if (!sheet.read || sheet.moved || sink_->KeysChanged(sheet.name) ||
            Clock::now() - sheet.readAt >= options_.keyCheckEvery) {
            const ReadEnd read = ReadSheet(sheet, lost);
            if (read == ReadEnd::Stopped) return CycleEnd::Stopped;
            if (read == ReadEnd::Lost) return CycleEnd::Lost;
            if (read == ReadEnd::Skip) return CycleEnd::Done;
        }
        PlaceWaiting(sheet);
    }

    Error result;
    if (sheet.titlesNeeded) {
        if (!Call([&] { return sink_->WriteTitles(sheet.name, options_.firstRow - 1); }, result))
            return CycleEnd::Stopped;
        if (Lost(result)) {
            lost = result;
            return CycleEnd::Lost;
        }
        if (result.ok()) {
            sheet.titlesNeeded = false;
            wrote = true;
            platform::Lock lock(statsMu_);
            ++stats_.titleRowsWritten;
        } else {
            Record(result);
            if (result == ErrorCode::NoSheet) return CycleEnd::Done;
        }
    }

    const auto idOf = [&](int row) {
        const long at = static_cast<long>(row) - options_.firstRow;
        return at >= 0 && at < static_cast<long>(sheet.ids.size()) ? sheet.ids[at] : -1;
    };
    for (std::size_t at = 0; at < sheet.ids.size(); ++at)
        if (sheet.ids[at] >= 0 && shadows_[sheet.ids[at]].needsWrite)
            changed.push_back(options_.firstRow + static_cast<int>(at));
    if (changed.empty()) return CycleEnd::Done;
    const auto known = [&](int row) {
        const std::int32_t id = idOf(row);
        return id >= 0 && shadows_[id].known;
    };
    if (!PlanBlocks(changed, known, cost, options_.sheetRows, blocks)) {
        Record({ErrorCode::Office, "rows past the end of sheet " + sheet.name});
        return CycleEnd::Done;
    }
    // Blocks still to write, the next one last. A block the office refuses for a
    // reason of its own rows (a protected cell, a value it will not take) is halved
    // until the refusal is confined to the rows that cause it, so that one bad row
    // does not hold back the up to 999 others of its block.
    std::vector<Block> work(blocks.rbegin(), blocks.rend());
    while (!work.empty()) {
        const Block block = work.back();
        work.pop_back();
        bool changes = false;
        for (int row = block.firstRow; !changes && row < block.firstRow + block.rows; ++row)
            changes = shadows_[idOf(row)].needsWrite;
        if (!changes) continue;
        // Rows that hold their leading columns as they are now get the rest alone: fewer
        // cells, and no change to the key columns for the office to tell of.
        int firstColumn = LiveSink::kLeadingColumns;
        rows.clear();
        for (int row = block.firstRow; row < block.firstRow + block.rows; ++row) {
            const Shadow& shadow = shadows_[idOf(row)];
            rows.push_back(&shadow.fields);
            if (!shadow.inSheet || !SameLeading(shadow.leading, shadow.fields)) firstColumn = 0;
        }
        const Clock::time_point callStart = Clock::now();
        if (!Call(
                [&] {
                    return sink_->WriteBlock(sheet.name, block.firstRow, firstColumn, rows, moved);
                },
                result))
            return CycleEnd::Stopped;
        const Clock::time_point callEnd = Clock::now();
        if (Lost(result)) {
            lost = result;
            return CycleEnd::Lost;
        }
        if (result.ok() && moved) {
            // Somebody changed the rows since they were read: nothing was written, and
            // the sheet is read again before anything more is.
            sheet.moved = true;
            return CycleEnd::Done;
        }
        if (!result.ok()) {
            Record(result);
            if (result == ErrorCode::NoSheet) break;
            if (block.rows > 1) {
                const int half = block.rows / 2;
                work.push_back({block.firstRow + half, block.rows - half});
                work.push_back({block.firstRow, half});
            }
            continue;
        }
        wrote = true;
        if (options_.learnCost)
            estimate_.Add(block.rows, std::chrono::duration<double>(callEnd - callStart).count());
        platform::Lock lock(statsMu_);
        stats_.rowsWritten += static_cast<std::uint64_t>(block.rows);
        ++stats_.blockCalls;
        stats_.cost = estimate_.Current();
        for (int row = block.firstRow; row < block.firstRow + block.rows; ++row) {
            Shadow& shadow = shadows_[idOf(row)];
            shadow.inSheet = true;
            if (firstColumn == 0) shadow.leading = Leading(shadow.fields);
            if (!shadow.needsWrite) continue;
            if (shadow.firstPut != Clock::time_point())
                staleness_.Add(Milliseconds(callEnd - shadow.firstPut));
            shadow.firstPut = Clock::time_point();
            shadow.needsWrite = false;
            --unwritten_;
        }
    }
    return CycleEnd::Done;
}

LiveTable::ReadEnd LiveTable::ReadSheet(SheetRows& sheet, Error& lost) {
    std::vector<RowKey> keys;
    Error result;
    const bool create = options_.sheetPerExchange && options_.addSheets;
    // Reading and placing: what keeping rows in place costs the writer.
    struct Timed {
        LiveTable& table;
        Clock::time_point start = Clock::now();
        ~Timed() {
            platform::Lock lock(table.statsMu_);
            ++table.stats_.keyReads;
            table.stats_.keyReadSeconds +=
                std::chrono::duration<double>(Clock::now() - start).count();
        }
    } timed{*this};
    if (!Call([&] { return sink_->ReadKeys(sheet.name, options_.firstRow, create, keys); }, result))
        return ReadEnd::Stopped;
    if (Lost(result)) {
        lost = result;
        return ReadEnd::Lost;
    }
    if (result == ErrorCode::NoSheet && options_.sheetPerExchange) {
        // Every other exchange, and every copy, goes on without this one.
        Refuse(sheet, result.message().empty() ? "the workbook has no sheet \"" + sheet.name + "\""
                                               : result.message());
        return ReadEnd::Skip;
    }
    if (!result.ok()) {
        Record(result);
        return ReadEnd::Skip;
    }
    sheet.readAt = Clock::now();
    sheet.moved = false;
    if (!sheet.read) {
        sheet.read = true;
        // A clean sheet is made once, at the sheet's first reading: later connections
        // find the table's own rows there, and whatever the user has typed since.
        if (options_.cleanSheet && !sheet.cleaned && !keys.empty()) {
            const int count = static_cast<int>(keys.size());
            if (!Call([&] { return sink_->ClearRows(sheet.name, options_.firstRow, count); },
                      result))
                return ReadEnd::Stopped;
            if (Lost(result)) {
                lost = result;
                return ReadEnd::Lost;
            }
            if (!result.ok()) {
                Record(result);
                sheet.read = false;
                return ReadEnd::Skip;
            }
            keys.clear();
        }
        sheet.cleaned = true;
        Place(sheet, keys);
    } else if (Moved(sheet, keys)) {
        // Someone sorted, moved, inserted or deleted rows: the instruments go where the
        // sheet now has them, and every one of them is written again.
        Place(sheet, keys);
        for (const std::int32_t id : sheet.ids) {
            if (id < 0) continue;
            Shadow& shadow = shadows_[id];
            if (!shadow.needsWrite && !shadow.refused) {
                shadow.needsWrite = true;
                ++unwritten_;
            }
        }
        platform::Lock lock(statsMu_);
        ++stats_.reorders;
    }
    // Someone may have typed into the leading columns of a row that stayed put: each
    // row's next write covers them again.
    for (const std::int32_t id : sheet.ids)
        if (id >= 0) shadows_[id].leading.clear();
    return ReadEnd::Done;
}

void LiveTable::Place(SheetRows& sheet, const std::vector<RowKey>& keys) {
    const int first = options_.firstRow;
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
            sheet.waiting.emplace(sheet.found[at], first + static_cast<int>(at));
    }
    sheet.ids.assign(keys.size(), -1);

    // Instruments found in the sheet take their rows; the others keep the row they had
    // where it is still free, and only then go after the last row used, in the order of
    // their rows and, for new ones, of their first ticks. A clean sheet is no different
    // once it was emptied: what is found there since was written by the table, and
    // sorted or typed by the user.
    std::vector<std::uint32_t> rest;
    std::uint64_t adopted = 0;
    for (const std::uint32_t id : ours) {
        const auto found = sheet.waiting.find(shadows_[id].key);
        if (found == sheet.waiting.end()) {
            rest.push_back(id);
            continue;
        }
        PlaceAt(sheet, id, found->second);
        sheet.waiting.erase(found);
        ++adopted;
    }
    std::stable_sort(rest.begin(), rest.end(), [&](std::uint32_t a, std::uint32_t b) {
        const int ra = shadows_[a].row, rb = shadows_[b].row;
        return (ra < 0 ? INT32_MAX : ra) < (rb < 0 ? INT32_MAX : rb);
    });
    std::vector<std::uint32_t> later;
    for (const std::uint32_t id : rest) {
        const int row = shadows_[id].row;
        const std::size_t at = static_cast<std::size_t>(row - first);
        const bool free = row >= first && (at >= sheet.ids.size() ||
                                           (sheet.ids[at] < 0 && sheet.found[at].empty()));
        if (free)
            PlaceAt(sheet, id, row);
        else
            later.push_back(id);
    }
    for (const std::uint32_t id : later)
        PlaceAt(sheet, id, first + static_cast<int>(sheet.ids.size()));
    if (adopted > 0) {
        platform::Lock lock(statsMu_);
        stats_.rowsAdopted += adopted;
    }
}

void LiveTable::PlaceWaiting(SheetRows& sheet) {
    if (sheet.unplaced.empty()) return;
    std::uint64_t adopted = 0;
    for (const std::uint32_t id : sheet.unplaced) {
        const auto found = sheet.waiting.find(shadows_[id].key);
        // A found row that one of the table's instruments holds already (on a clean
        // sheet) is not this one's to take.
        const bool taken =
            found != sheet.waiting.end() &&
            sheet.ids[static_cast<std::size_t>(found->second - options_.firstRow)] >= 0;
        if (found == sheet.waiting.end() || taken) {
            PlaceAt(sheet, id, options_.firstRow + static_cast<int>(sheet.ids.size()));
            continue;
        }
        PlaceAt(sheet, id, found->second);
        sheet.waiting.erase(found);
        ++adopted;
    }
    sheet.unplaced.clear();
    if (adopted > 0) {
        platform::Lock lock(statsMu_);
        stats_.rowsAdopted += adopted;
    }
}

void LiveTable::PlaceAt(SheetRows& sheet, std::uint32_t id, int row) {
    Shadow& shadow = shadows_[id];
    if (shadow.refused) return;
    if (row >= options_.sheetRows) {
        shadow.row = -1;
        shadow.refused = true;
        Record({ErrorCode::Office, "sheet " + sheet.name + " has no row left for an instrument"});
        if (shadow.needsWrite) {
            Unwrite(shadow);
            platform::Lock lock(statsMu_);
            ++stats_.ticksRefused;
        }
        return;
    }
    const std::size_t at = static_cast<std::size_t>(row - options_.firstRow);
    if (at >= sheet.ids.size()) sheet.ids.resize(at + 1, -1);
    sheet.ids[at] = static_cast<std::int32_t>(id);
    if (shadow.row != row) {
        shadow.row = row;
        shadow.inSheet = false;
        if (!shadow.needsWrite) {
            shadow.needsWrite = true;
            ++unwritten_;
        }
    }
}

bool LiveTable::Moved(const SheetRows& sheet, const std::vector<RowKey>& keys) const {
    const std::size_t rows = std::max(keys.size(), sheet.ids.size());
    for (std::size_t at = 0; at < rows; ++at) {
        const std::string now = at < keys.size() ? KeyFound(keys[at]) : std::string();
        const std::int32_t id = at < sheet.ids.size() ? sheet.ids[at] : -1;
        if (id >= 0) {
            const Shadow& shadow = shadows_[id];
            // A row not written yet was blank, or held the instrument, when it was given.
            if (now != shadow.key && (shadow.inSheet || !now.empty())) return true;
        } else if (now != (at < sheet.found.size() ? sheet.found[at] : std::string())) {
            return true;
        }
    }
    return false;
}

void LiveTable::Refuse(SheetRows& sheet, const std::string& why) {
    sheet.refused = true;
    sheet.titlesNeeded = false;
    std::uint64_t refused = 0;
    const auto refuse = [&](std::uint32_t id) {
        Shadow& shadow = shadows_[id];
        shadow.refused = true;
        if (shadow.needsWrite) {
            Unwrite(shadow);
            ++refused;
        }
    };
    for (const std::int32_t id : sheet.ids)
        if (id >= 0) refuse(static_cast<std::uint32_t>(id));
    for (const std::uint32_t id : sheet.unplaced) refuse(id);
    {
        platform::Lock lock(mu_);
        for (SheetPlace& place : sheets_)
            if (place.name == sheet.name) place.refused = true;
    }
    {
        platform::Lock lock(statsMu_);
        stats_.ticksRefused += refused;
    }
    Record({ErrorCode::NoSheet, why + ": the instruments of " + sheet.name + " are refused"});
}

void LiveTable::Unwrite(Shadow& shadow) {
    if (!shadow.needsWrite) return;
    shadow.needsWrite = false;
    shadow.firstPut = Clock::time_point();
    --unwritten_;
}

bool LiveTable::Call(const std::function<Error()>& call, Error& result) {
    {
        platform::Lock lock(callMu_);
        if (callsStopped_) return false;
        inCall_ = true;
    }
    const Clock::time_point start = Clock::now();
    try {
        result = call();
    } catch (const std::exception& error) {
        result = {ErrorCode::Office, error.what()};
    } catch (...) {
        result = {ErrorCode::Office, "the office layer failed"};
    }
    {
        platform::Lock lock(statsMu_);
        stats_.officeSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    }
    platform::Lock lock(callMu_);
    inCall_ = false;
    return true;
}

void LiveTable::MarkAllForRewrite() {
    // The office may hold another copy of the workbook now: every sheet is read again
    // before it is written, and a sheet that could not be had is tried again (an
    // instrument refused for a full sheet stays refused).
    for (Shadow& shadow : shadows_) {
        if (!shadow.known) continue;
        if (shadow.refused) {
            if (!sheetRows_[shadow.sheet].refused) continue;
            shadow.refused = false;
        }
        shadow.inSheet = false;
        if (shadow.needsWrite) continue;
        shadow.needsWrite = true;
        ++unwritten_;
    }
    for (SheetRows& sheet : sheetRows_) {
        sheet.titlesNeeded = options_.titles;
        sheet.read = false;
        sheet.refused = false;
    }
    platform::Lock lock(mu_);
    for (SheetPlace& place : sheets_) place.refused = false;
}

void LiveTable::SetState(TableState state) {
    Error last;
    {
        platform::Lock lock(statsMu_);
        if (stats_.state == state) return;
        stats_.state = state;
        last = stats_.lastFailure;
    }
    if (onStateChange_) onStateChange_(state, last);
}

void LiveTable::Record(const Error& result) {
    platform::Lock lock(statsMu_);
    stats_.lastFailure = result;
}

}  // namespace corvane::live
