#include "live/live_table.hpp"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace corvane::live {
namespace {

using Clock = std::chrono::steady_clock;

// Ticks moved from the host's side to the writer's under one hold of the lock: enough
// to make the hold worth taking, few enough that a put finding the lock held waits
// about a microsecond.
constexpr std::size_t kCollectChunk = 32;

// Takes the table's lock for a put. A put that finds it held spins briefly before it
// blocks: the writer holds it only for short stretches, and a thread put to sleep in
// the kernel and woken again would wait tens of microseconds instead.
void LockForPut(std::mutex& mu) {
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

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

// An exchange as the office tells sheet names apart: "nse" names the sheet NSE, so it
// is the same exchange (letters A to Z; exchange codes hold no others that have a case).
std::string ExchangeKey(std::string_view exchange) {
    std::string key(exchange);
    for (char& c : key)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return key;
}

// The instrument of a tick: its exchange without surrounding blanks (see ExchangeKey),
// and its scrip code as a whole number ("0500325" and "500325" are one instrument).
// Empty when either is missing.
std::string KeyOf(const std::string_view* fields, std::string_view& exchange) {
    exchange = Trimmed(fields[0]);
    std::string_view scrip = Trimmed(fields[2]);
    if (exchange.empty() || scrip.empty()) return {};
    bool negative = false;
    if (scrip[0] == '+' || scrip[0] == '-') {
        negative = scrip[0] == '-';
        scrip.remove_prefix(1);
    }
    while (scrip.size() > 1 && scrip[0] == '0') scrip.remove_prefix(1);
    if (scrip == "0") negative = false;
    std::string key;
    key.reserve(exchange.size() + scrip.size() + 2);
    key.append(ExchangeKey(exchange));
    key.push_back('\0');
    if (negative) key.push_back('-');
    key.append(scrip);
    return key;
}

bool Lost(SinkStatus status) {
    return status == SinkStatus::OfficeGone || status == SinkStatus::TimedOut;
}

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

// The time `timeout` from now; a negative one is now, one beyond the clock's range never.
Clock::time_point DeadlineAfter(std::chrono::milliseconds timeout) {
    const Clock::time_point now = Clock::now();
    if (timeout.count() <= 0) return now;
    if (timeout >=
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now))
        return Clock::time_point::max();
    return now + timeout;
}

void Check(bool holds, const char* what) {
    if (!holds) throw std::invalid_argument(what);
}

}  // namespace

const char* StatusName(SinkStatus status) {
    switch (status) {
        case SinkStatus::Ok:
            return "ok";
        case SinkStatus::OfficeGone:
            return "office gone";
        case SinkStatus::TimedOut:
            return "timed out";
        case SinkStatus::NoSheet:
            return "no sheet";
        case SinkStatus::Other:
            return "office error";
    }
    return "unknown";
}

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
    if (!options_.sheetPerExchange) sheets_.push_back({options_.sheet, options_.firstRow});
    stats_.cost = options_.startCost;
    writer_ = std::thread([this] { Run(); });
}

LiveTable::~LiveTable() {
    Close(std::chrono::seconds(10));
    if (writer_.joinable()) writer_.join();
}

PutResult LiveTable::Put(const char* const* fields) {
    std::string_view views[kColumnCount];
    for (int k = 0; k < kColumnCount; ++k)
        if (fields != nullptr && fields[k] != nullptr) views[k] = fields[k];
    return Put(views);
}

PutResult LiveTable::Put(const MarketWatchRecord& record) {
    std::string_view views[kColumnCount];
    for (int k = 0; k < kColumnCount; ++k)
        views[k] = {record.fields[k].GetString(),
                    static_cast<std::size_t>(record.fields[k].GetLength())};
    return Put(views);
}

PutResult LiveTable::Put(const std::string_view* fields) {
    std::string_view exchange;
    std::string key = KeyOf(fields, exchange);
    if (key.empty()) return PutResult::NoKey;
    // Copied before the lock into a buffer of its own, which the lock only swaps in:
    // a fresh allocation comes from memory this thread just used, where refilling the
    // slot's old buffer would touch memory that has long gone cold. The buffer swapped
    // out is freed after the lock.
    LiveRow tick;
    tick.Assign(fields);

    LockForPut(mu_);
    std::lock_guard<std::mutex> lock(mu_, std::adopt_lock);
    if (closed_) return PutResult::Closed;
    auto found = index_.find(key);
    if (found == index_.end()) {
        std::uint32_t sheet = 0;
        if (options_.sheetPerExchange) {
            // The first spelling of an exchange names its sheet from then on.
            std::string name = ExchangeKey(exchange);
            const auto known = sheetIndex_.find(name);
            if (known != sheetIndex_.end()) {
                sheet = known->second;
            } else {
                sheet = static_cast<std::uint32_t>(sheets_.size());
                sheets_.push_back({std::string(exchange), options_.firstRow});
                sheetIndex_.emplace(std::move(name), sheet);
            }
        }
        SheetPlace& place = sheets_[sheet];
        if (place.nextRow >= options_.sheetRows) return PutResult::SheetFull;
        Slot& slot = slots_.emplace_back();
        slot.sheet = sheet;
        slot.row = place.nextRow++;
        found = index_.emplace(std::move(key), static_cast<std::uint32_t>(slots_.size() - 1)).first;
    }
    Slot& slot = slots_[found->second];
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
    return PutResult::Ok;
}

FlushResult LiveTable::Flush(std::chrono::milliseconds timeout) {
    if (tWriterOf == this) return FlushResult::WrongThread;
    std::unique_lock<std::mutex> lock(mu_);
    if (closed_) return FlushResult::Closed;
    return WaitWritten(DeadlineAfter(timeout), lock);
}

FlushResult LiveTable::Close(std::chrono::milliseconds timeout) {
    if (tWriterOf == this) return FlushResult::WrongThread;
    std::unique_lock<std::mutex> lock(mu_);
    if (closed_) return FlushResult::Closed;
    closed_ = true;
    const FlushResult result = WaitWritten(DeadlineAfter(timeout), lock);
    stop_ = true;
    lock.unlock();
    wake_.notify_all();
    bool cancel = false;
    {
        std::lock_guard<std::mutex> calls(callMu_);
        callsStopped_ = true;
        cancel = inCall_;
    }
    if (cancel) sink_->Cancel();
    writer_.join();
    return result;
}

FlushResult LiveTable::WaitWritten(Clock::time_point deadline, std::unique_lock<std::mutex>& lock) {
    const std::uint64_t generation = ++flushAsked_;
    wake_.notify_one();
    const auto settled = [&] {
        return flushWritten_ >= generation || flushRefused_ >= generation || failed_ ||
               writerEnded_;
    };
    if (deadline == Clock::time_point::max())
        written_.wait(lock, settled);
    else
        written_.wait_until(lock, deadline, settled);
    if (flushWritten_ >= generation) return FlushResult::Written;
    if (flushRefused_ >= generation) return FlushResult::NotWritten;
    if (failed_) return FlushResult::Failed;
    return FlushResult::TimedOut;
}

TableStats LiveTable::Stats() const {
    TableStats stats;
    {
        std::lock_guard<std::mutex> lock(statsMu_);
        stats = stats_;
        stats.flushTime = flushTimes_.Summary();
        stats.staleness = staleness_.Summary();
    }
    std::lock_guard<std::mutex> lock(mu_);
    stats.ticksPut = ticksPut_;
    stats.ticksReplaced += ticksReplaced_;
    stats.instruments = slots_.size();
    return stats;
}

void LiveTable::Run() {
    tWriterOf = this;
    bool connected = Connect(true, SinkStatus::Ok);
    Clock::time_point next = Clock::now();
    Clock::time_point retry = Clock::time_point::max();
    while (connected) {
        {
            std::unique_lock<std::mutex> lock(mu_);
            const auto ready = [&] {
                return stop_ || flushAsked_ > flushServed_ ||
                       (options_.interval.count() == 0 && !dirty_.empty());
            };
            const Clock::time_point until = options_.interval.count() > 0 ? next : retry;
            if (until == Clock::time_point::max())
                wake_.wait(lock, ready);
            else
                wake_.wait_until(lock, until, ready);
            if (stop_) break;
        }
        next = Clock::now() + options_.interval;
        retry = Clock::time_point::max();
        Failure lost;
        const CycleEnd end = Cycle(lost);
        if (end == CycleEnd::Stopped) break;
        if (end == CycleEnd::Lost) {
            Record({lost.status, lost.message});
            {
                std::lock_guard<std::mutex> lock(mu_);
                if (stop_) break;  // a call cancelled by Close
            }
            connected = Connect(false, lost.status);
            MarkAllForRewrite();
            next = Clock::now();
            retry = next;
        } else if (unwritten_ > 0) {
            // Rows the office refused: tried again, but not at once.
            retry = Clock::now() + options_.backoffFirst;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mu_);
        writerEnded_ = true;
    }
    written_.notify_all();
}

bool LiveTable::Connect(bool first, SinkStatus cause) {
    SetState(first ? TableState::Connecting : TableState::Recovering);
    std::chrono::milliseconds pause = options_.backoffFirst;
    for (;;) {
        SinkResult result;
        if (!Call([&] { return first ? sink_->Open() : sink_->Recover(cause); }, result))
            return false;
        if (result.ok()) {
            lastContact_ = Clock::now();
            if (!first) {
                std::lock_guard<std::mutex> lock(statsMu_);
                ++(result.restarted ? stats_.restarts : stats_.reconnects);
            }
            SetState(TableState::Live);
            return true;
        }
        Record(result);
        if (!Lost(result.status)) {
            SetState(TableState::Failed);  // before flushes learn of it, so Stats agrees
            {
                std::lock_guard<std::mutex> lock(mu_);
                failed_ = true;
            }
            written_.notify_all();
            return false;
        }
        if (!first) cause = result.status;
        std::unique_lock<std::mutex> lock(mu_);
        if (wake_.wait_for(lock, pause, [&] { return stop_; })) return false;
        pause = std::min(pause * 2, options_.backoffLast);
    }
}

std::uint64_t LiveTable::Collect() {
    std::uint64_t generation = 0;
    {
        std::lock_guard<std::mutex> lock(mu_);
        collecting_.swap(dirty_);
        generation = flushServed_ = flushAsked_;
    }
    if (collecting_.empty()) return generation;
    const std::uint32_t highest = *std::max_element(collecting_.begin(), collecting_.end());
    if (highest >= shadows_.size()) shadows_.resize(highest + 1);

    struct Newcomer {
        std::uint32_t id, sheet;
        int row;
    };
    std::vector<Newcomer> newcomers;
    std::uint64_t replaced = 0;
    for (std::size_t start = 0; start < collecting_.size(); start += kCollectChunk) {
        const std::size_t end = std::min(collecting_.size(), start + kCollectChunk);
        std::lock_guard<std::mutex> lock(mu_);
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
            if (!shadow.known) newcomers.push_back({id, slot.sheet, slot.row});
            shadow.known = true;
            shadow.fields = std::move(slot.pending);  // the old one is freed here, not by a put
            slot.dirty = false;
        }
    }
    collecting_.clear();

    if (!newcomers.empty()) {
        std::uint32_t sheets = 0;
        for (const Newcomer& newcomer : newcomers) sheets = std::max(sheets, newcomer.sheet + 1);
        if (sheets > sheetRows_.size()) {
            std::lock_guard<std::mutex> lock(mu_);
            for (std::size_t s = sheetRows_.size(); s < sheets; ++s)
                sheetRows_.push_back({sheets_[s].name, {}, options_.titles});
        }
        for (const Newcomer& newcomer : newcomers) {
            std::vector<std::int32_t>& ids = sheetRows_[newcomer.sheet].ids;
            const std::size_t at = static_cast<std::size_t>(newcomer.row - options_.firstRow);
            if (at >= ids.size()) ids.resize(at + 1, -1);
            ids[at] = static_cast<std::int32_t>(newcomer.id);
        }
    }
    if (replaced > 0) {
        std::lock_guard<std::mutex> lock(statsMu_);
        stats_.ticksReplaced += replaced;
    }
    return generation;
}

LiveTable::CycleEnd LiveTable::Cycle(Failure& lost) {
    // The one named sheet gets its titles as soon as the office is there.
    if (sheetRows_.empty() && !options_.sheetPerExchange)
        sheetRows_.push_back({options_.sheet, {}, options_.titles});
    const std::uint64_t generation = Collect();
    const CallCost cost = options_.learnCost ? estimate_.Current() : options_.startCost;
    const Clock::time_point started = Clock::now();
    bool wrote = false;
    std::vector<int> changed;
    std::vector<Block> blocks;
    std::vector<const LiveRow*> rows;

    for (SheetRows& sheet : sheetRows_) {
        SinkResult result;
        if (sheet.titlesNeeded) {
            if (!Call([&] { return sink_->WriteTitles(sheet.name, options_.firstRow - 1); },
                      result))
                return CycleEnd::Stopped;
            if (Lost(result.status)) {
                lost = {result.status, result.message};
                return CycleEnd::Lost;
            }
            if (result.ok()) {
                sheet.titlesNeeded = false;
                wrote = true;
                std::lock_guard<std::mutex> lock(statsMu_);
                ++stats_.titleRowsWritten;
            } else {
                Record(result);
                if (result.status == SinkStatus::NoSheet) continue;
            }
        }

        const auto idOf = [&](int row) {
            const long at = static_cast<long>(row) - options_.firstRow;
            return at >= 0 && at < static_cast<long>(sheet.ids.size()) ? sheet.ids[at] : -1;
        };
        changed.clear();
        for (std::size_t at = 0; at < sheet.ids.size(); ++at)
            if (sheet.ids[at] >= 0 && shadows_[sheet.ids[at]].needsWrite)
                changed.push_back(options_.firstRow + static_cast<int>(at));
        if (changed.empty()) continue;
        const auto known = [&](int row) {
            const std::int32_t id = idOf(row);
            return id >= 0 && shadows_[id].known;
        };
        if (!PlanBlocks(changed, known, cost, options_.sheetRows, blocks)) {
            Record({SinkStatus::Other, "rows past the end of sheet " + sheet.name});
            continue;
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
            rows.clear();
            for (int row = block.firstRow; row < block.firstRow + block.rows; ++row)
                rows.push_back(&shadows_[idOf(row)].fields);
            const Clock::time_point callStart = Clock::now();
            if (!Call([&] { return sink_->WriteBlock(sheet.name, block.firstRow, rows); }, result))
                return CycleEnd::Stopped;
            const Clock::time_point callEnd = Clock::now();
            if (Lost(result.status)) {
                lost = {result.status, result.message};
                return CycleEnd::Lost;
            }
            if (!result.ok()) {
                Record(result);
                if (result.status == SinkStatus::NoSheet) break;
                if (block.rows > 1) {
                    const int half = block.rows / 2;
                    work.push_back({block.firstRow + half, block.rows - half});
                    work.push_back({block.firstRow, half});
                }
                continue;
            }
            wrote = true;
            if (options_.learnCost)
                estimate_.Add(block.rows,
                              std::chrono::duration<double>(callEnd - callStart).count());
            std::lock_guard<std::mutex> lock(statsMu_);
            stats_.rowsWritten += static_cast<std::uint64_t>(block.rows);
            ++stats_.blockCalls;
            stats_.cost = estimate_.Current();
            for (int row = block.firstRow; row < block.firstRow + block.rows; ++row) {
                Shadow& shadow = shadows_[idOf(row)];
                if (!shadow.needsWrite) continue;
                if (shadow.firstPut != Clock::time_point())
                    staleness_.Add(Milliseconds(callEnd - shadow.firstPut));
                shadow.firstPut = Clock::time_point();
                shadow.needsWrite = false;
                --unwritten_;
            }
        }
    }

    if (wrote) {
        lastContact_ = Clock::now();
        std::lock_guard<std::mutex> lock(statsMu_);
        flushTimes_.Add(Milliseconds(Clock::now() - started));
    } else if (Clock::now() - lastContact_ >= options_.checkAfter) {
        // Nothing to write for a while: the office may have gone (or the user closed the
        // workbook) without any write noticing.
        SinkResult result;
        if (!Call([&] { return sink_->Check(); }, result)) return CycleEnd::Stopped;
        lastContact_ = Clock::now();
        if (Lost(result.status)) {
            lost = {result.status, result.message};
            return CycleEnd::Lost;
        }
    }
    const bool titlesDone = std::none_of(sheetRows_.begin(), sheetRows_.end(),
                                         [](const SheetRows& s) { return s.titlesNeeded; });
    // Flushes served by this attempt learn how it ended.
    std::uint64_t& outcome = unwritten_ == 0 && titlesDone ? flushWritten_ : flushRefused_;
    bool advanced = false;
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (generation > outcome) {
            outcome = generation;
            advanced = true;
        }
    }
    if (advanced) written_.notify_all();
    return CycleEnd::Done;
}

bool LiveTable::Call(const std::function<SinkResult()>& call, SinkResult& result) {
    {
        std::lock_guard<std::mutex> lock(callMu_);
        if (callsStopped_) return false;
        inCall_ = true;
    }
    try {
        result = call();
    } catch (const std::exception& error) {
        result = {SinkStatus::Other, error.what()};
    } catch (...) {
        result = {SinkStatus::Other, "the office layer failed"};
    }
    std::lock_guard<std::mutex> lock(callMu_);
    inCall_ = false;
    return true;
}

void LiveTable::MarkAllForRewrite() {
    for (SheetRows& sheet : sheetRows_) sheet.titlesNeeded = options_.titles;
    for (Shadow& shadow : shadows_) {
        if (!shadow.known || shadow.needsWrite) continue;
        shadow.needsWrite = true;
        ++unwritten_;
    }
}

void LiveTable::SetState(TableState state) {
    Failure last;
    {
        std::lock_guard<std::mutex> lock(statsMu_);
        if (stats_.state == state) return;
        stats_.state = state;
        last = stats_.lastFailure;
    }
    if (onStateChange_) onStateChange_(state, last);
}

void LiveTable::Record(const SinkResult& result) {
    std::lock_guard<std::mutex> lock(statsMu_);
    stats_.lastFailure = {result.status, result.message};
}

}  // namespace corvane::live
