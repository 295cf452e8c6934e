#include "live_feed.hpp"


#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "c_status.hpp"
#include "console.hpp"
#include "core/deadline.hpp"

namespace corvane::feed {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPoll = std::chrono::milliseconds(20);
// The final wait looks at the table and at Ctrl-C this often.
constexpr int kFinishSliceMs = 200;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string Absolute(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

}  // namespace

LiveFeed::LiveFeed(const FeedOptions& options)
    : options_(options), workbook_(Absolute(options.workbook)) {}

LiveFeed::~LiveFeed() { Close(); }

corvane::Error LiveFeed::OpenTable(bool owned, int waitMs) {
    corvane_live_options open;
    corvane_live_default_options(&open);
    open.workbook_path = workbook_.c_str();
    open.sheet = options_.feed.sheet.c_str();
    open.sheet_per_exchange = options_.feed.sheetPerExchange ? 1 : 0;
    open.first_row = options_.feed.firstRow;
    open.titles = options_.feed.titles ? 1 : 0;
    open.interval_ms = static_cast<int>(options_.interval.count());
    open.call_timeout_ms = options_.callTimeoutMs;
    open.own_office = owned ? 1 : 0;
    if (owned) open.office_path = options_.office.c_str();
    open.open_wait_ms = waitMs;
    open.clean_sheet = options_.cleanSheet ? 1 : 0;
    corvane_live* opened = nullptr;
    const corvane::Error error = FromStatus(corvane_live_create(&open, nullptr, nullptr, &opened));
    table_ = opened;
    return error;
}

corvane::Error LiveFeed::Attach(const StopSignals& stop, bool& noOffice) {
    noOffice = false;
    std::error_code error;
    if (!std::filesystem::is_regular_file(options_.workbook, error))
        return corvane::Error(ErrorCode::Argument,
                              "the workbook " + Quoted(options_.workbook) + " does not exist");
    if (corvane::Error opened = OpenTable(false, 0); !opened.ok()) return opened;
    const auto deadline = DeadlineAfterSeconds(options_.waitSeconds);
    for (;;) {
        const corvane_live_stats stats = Stats();
        if (stats.state == CORVANE_LIVE_LIVE) return {};
        // The table tells at its first attempt when nobody accepts on the pipe.
        if (stats.last_status == CORVANE_E_CONNECT) {
            noOffice = true;
            Close(0);
            return {};
        }
        if (stats.state == CORVANE_LIVE_FAILED || stats.last_status != 0) {
            Close(0);
            const ErrorCode code = stats.last_status != 0
                                       ? static_cast<ErrorCode>(stats.last_status)
                                       : ErrorCode::Office;
            return corvane::Error(code, stats.last_message);
        }
        if (Clock::now() >= deadline) {
            Close(0);
            return corvane::Error(
                ErrorCode::Load,
                "the office on the pipe \"ooo_pipe\" did not load the workbook in time");
        }
        if (!stop.Sleep(kPoll)) {
            Close(0);
            return corvane::Error(ErrorCode::Connect, "stopped while waiting for the office");
        }
    }
}

corvane::Error LiveFeed::OpenOwned() {
    const int waitMs = static_cast<int>(std::min(options_.waitSeconds * 1000.0, 2.0e9));
    // The office inherits the three streams: it must neither write into ours nor hold
    // our input open.
    StreamsSilenced quiet(StreamsSilenced::All);
    return OpenTable(true, std::max(waitMs, 1));
}

corvane::Error LiveFeed::AttachStarted() {
    const int waitMs = static_cast<int>(std::min(options_.waitSeconds * 1000.0, 2.0e9));
    return OpenTable(false, std::max(waitMs, 1));
}

corvane::Error LiveFeed::WriteRecord(const std::string&, int,
                                     const std::vector<std::string>& fields) {
    std::array<const char*, CORVANE_COLUMN_COUNT> texts{};
    for (std::size_t k = 0; k < texts.size() && k < fields.size(); ++k)
        texts[k] = fields[k].c_str();
    const int code = corvane_live_put(table_, texts.data());
    refusedPuts_ += code == CORVANE_E_NO_SHEET || code == CORVANE_E_FULL;
    return FromStatus(code);
}

unsigned long long LiveFeed::RefusedLater() const {
    const unsigned long long refused = Stats().ticks_refused;
    return refused > refusedPuts_ ? refused - refusedPuts_ : 0;
}

bool LiveFeed::OfficeAnswers() {
    // A table that recovers is still good: only one that failed for good is not.
    return table_ != nullptr && Stats().state != CORVANE_LIVE_FAILED;
}

corvane::Error LiveFeed::FlushAtEnd(bool copies, const StopSignals& stop, Console& console) {
    // A stop asked for before the end ended the input; one asked for now ends the wait.
    const bool stoppedBefore = stop.Requested();
    auto deadline = DeadlineAfter(std::chrono::milliseconds(kFinishMs));
    bool told = false;
    for (;;) {
        const corvane::Error flushed = FromStatus(corvane_live_flush(table_, kFinishSliceMs));
        if (!flushed.ok() && flushed != ErrorCode::Timeout) return flushed;
        const corvane_live_stats stats = Stats();
        // Copies need the office too, once every row is in.
        if (flushed.ok() && (!copies || stats.state == CORVANE_LIVE_LIVE)) return flushed;
        if (stats.state != CORVANE_LIVE_LIVE && !told) {
            told = true;
            char wait[32];
            std::snprintf(wait, sizeof wait, "%g", options_.waitSeconds);
            console.Error("the office went away (" + std::string(stats.last_message) +
                          "): waiting up to " + wait +
                          " s (--wait) for it to come back; Ctrl-C ends the wait");
            deadline = std::min(deadline, DeadlineAfterSeconds(options_.waitSeconds));
        }
        if (Clock::now() >= deadline || (!stoppedBefore && stop.Requested())) {
            waitedOut_ = true;
            return flushed;
        }
    }
}

corvane::Error LiveFeed::Unflushed(const corvane::Error& failure) const {
    const corvane_live_stats stats = Stats();
    const bool gone = stats.state != CORVANE_LIVE_LIVE;
    // Only an office that is there and does not answer is stuck; one that went away is
    // told by the table's own words. A wait that ran out otherwise (the rows still on
    // their way, or a stop) is no stuck office either.
    ErrorCode code = failure.code();
    if (failure == ErrorCode::Timeout && stats.last_status != CORVANE_E_TIMEOUT)
        code = gone ? ErrorCode::Connect : ErrorCode::Office;
    return corvane::Error(code, "not every row reached the sheet: " +
                                    (gone ? "the office is gone: " + std::string(stats.last_message)
                                          : failure.message()));
}

std::vector<corvane::Error> LiveFeed::Finish(const std::vector<std::string>& saveAs,
                                             const StopSignals& stop, Console& console) {
    std::vector<corvane::Error> failures;
    if (table_ == nullptr) return failures;
    const corvane::Error flushed = FlushAtEnd(!saveAs.empty(), stop, console);
    // Whatever ended the wait (the office gone, the deadline, a stop), nothing waits for
    // the office again.
    waitedOut_ |= !flushed.ok();
    if (!flushed.ok()) failures.push_back(Unflushed(flushed));
    for (const std::string& path : saveAs) {
        const std::string target = Absolute(path);
        const corvane::Error saved =
            FromStatus(corvane_live_save_copy(table_, target.c_str(), waitedOut_ ? 0 : kFinishMs));
        if (saved.ok()) {
            console.Note("saved " + path);
            continue;
        }
        // Tried once without waiting, a copy that found no time tells no stuck office.
        const ErrorCode code =
            saved == ErrorCode::Timeout && waitedOut_ ? ErrorCode::Save : saved.code();
        failures.emplace_back(code, "cannot save " + Quoted(path) + ": " + saved.message());
    }
    return failures;
}

corvane::Error LiveFeed::Close() {
    if (!waitedOut_) return Close(kFinishMs);
    // Finish has told already what did not reach the sheet.
    Close(0);
    return {};
}

corvane::Error LiveFeed::Close(int timeoutMs) {
    if (table_ == nullptr) return {};
    corvane_live* table = table_.exchange(nullptr);
    const corvane::Error closed = FromStatus(corvane_live_close(table, timeoutMs));
    if (closed.ok()) return {};
    return corvane::Error(closed.code(), "not every row reached the sheet: " + closed.message());
}

corvane_live_stats LiveFeed::Stats() const {
    corvane_live_stats stats{};
    stats.struct_size = sizeof stats;
    if (corvane_live* table = table_; table != nullptr) corvane_live_get_stats(table, &stats);
    return stats;
}

std::string LiveFeed::StatsText(double seconds) const {
    const corvane_live_stats stats = Stats();
    const double in = seconds > 0 ? stats.ticks_put / seconds : stats.ticks_per_second;
    const double out = seconds > 0 ? stats.rows_written / seconds : stats.rows_per_second;
    char text[240];
    std::snprintf(text, sizeof text,
                  "%.0f ticks/s in, %.0f rows/s out, p99 staleness %.0f ms, restarts %llu, "
                  "reconnects %llu, p50 staleness %.0f ms",
                  in, out, stats.staleness_p99_ms, stats.restarts, stats.reconnects,
                  stats.staleness_p50_ms);
    // Over the whole run only: the table keeps no rate of cells.
    if (seconds > 0)
        return text + (", " + std::to_string(std::llround(stats.cells_written / seconds)) +
                       " cells/s out");
    return text;
}

std::string LiveFeed::StateText() const {
    const corvane_live_stats stats = Stats();
    if (stats.state == CORVANE_LIVE_RECOVERING)
        return std::string("recovering: ") + stats.last_message;
    if (stats.state == CORVANE_LIVE_FAILED) return std::string("failed: ") + stats.last_message;
    return {};
}

}  // namespace corvane::feed
