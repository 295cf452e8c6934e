#include "live/live_table.hpp"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "core/deadline.hpp"
#include "platform/instrument_key.hpp"

namespace corvane::live {
namespace {

using Clock = std::chrono::steady_clock;

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

Error Closed() { return {ErrorCode::NotConnected, "the live table is closed"}; }

Error OnWriterThread() {
    return {ErrorCode::Argument,
            "the table's state callback cannot wait for its writer thread (flush, save a copy "
            "or close the table from another thread)"};
}

void Check(bool holds, const char* what) {
    if (!holds) throw std::invalid_argument(what);
}

std::unique_ptr<LiveSink> NonNull(std::unique_ptr<LiveSink> sink) {
    Check(sink != nullptr, "a live table needs a sink");
    return sink;
}

Error NoSheetFor(const std::string& exchange) {
    return {ErrorCode::NoSheet,
            "the exchange " + exchange + " has no sheet, and the workbook took no new one"};
}

}  // namespace

LiveTable::LiveTable(TableOptions options, std::unique_ptr<LiveSink> sink,
                     StateCallback onStateChange)
    : options_(std::move(options)),
      sink_(NonNull(std::move(sink))),
      onStateChange_(std::move(onStateChange)),
      placement_(options_.firstRow, options_.sheetRows),
      blocks_(
          *sink_,
          [this](const std::function<Error()>& call, Error& result) { return Call(call, result); },
          options_.startCost, options_.learnCost, options_.sheetRows) {
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
    Close(Timeout::After(std::chrono::seconds(10)));
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
    std::uint32_t id = 0;
    const auto found = index_.find(key);
    if (found != index_.end()) {
        id = found->second;
    } else if (Error added = AddSlot(std::move(key), fields, id); !added.ok()) {
        return added;
    }
    Slot& slot = slots_[id];
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
        dirty_.push_back(id);
        if (options_.interval.count() == 0 && dirty_.size() == 1) wake_.notify_one();
    }
    swap(slot.pending, tick);
    return {};
}

Error LiveTable::AddSlot(std::string key, const std::string_view* fields, std::uint32_t& id) {
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
    id = static_cast<std::uint32_t>(slots_.size() - 1);
    index_.emplace(std::move(key), id);
    return {};
}

Error LiveTable::Flush(Timeout timeout) {
    if (tWriterOf == this) return OnWriterThread();
    platform::Lock lock(mu_);
    if (closed_) return Closed();
    return WaitWritten(timeout.Deadline(), lock);
}

Error LiveTable::Close(Timeout timeout) {
    if (tWriterOf == this) return OnWriterThread();
    platform::Lock lock(mu_);
    if (closed_) return Closed();
    closed_ = true;
    Error result = WaitWritten(timeout.Deadline(), lock);
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
        if (first && !OfficeLost(result)) {
            SetState(TableState::Failed);  // before flushes learn of it, so Stats agrees
            {
                platform::Lock lock(mu_);
                failed_ = true;
            }
            written_.notify_all();
            return false;
        }
        if (!first && OfficeLost(result)) cause = result;
        platform::Lock lock(mu_);
        if (lock.WaitFor(wake_, pause, [&]() REQUIRES(mu_) { return stop_; })) return false;
        pause = std::min(pause * 2, options_.backoffLast);
    }
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
