#include "live_feed.hpp"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

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

corvane_live* LiveFeed::OpenTable(bool owned, int waitMs) const {
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
    return corvane_live_open(&open, nullptr, nullptr);
}

std::string LiveFeed::Attach(const StopSignals& stop, bool& noOffice) {
    noOffice = false;
    std::error_code error;
    if (!std::filesystem::is_regular_file(options_.workbook, error))
        return "the workbook " + Quoted(options_.workbook) + " does not exist";
    table_ = OpenTable(false, 0);
    if (table_ == nullptr) return LastError();
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
            timedOut_ = stats.last_status == CORVANE_E_TIMEOUT;
            Close(0);
            return stats.last_message;
        }
        if (Clock::now() >= deadline) {
            Close(0);
            return "the office on the pipe \"ooo_pipe\" did not load the workbook in time";
        }
        if (!stop.Sleep(kPoll)) {
            Close(0);
            return "stopped while waiting for the office";
        }
    }
}

std::string LiveFeed::OpenOwned() {
    const int waitMs = static_cast<int>(std::min(options_.waitSeconds * 1000.0, 2.0e9));
    // The office inherits the three streams: it must neither write into ours nor hold
    // our input open.
    StreamsSilenced quiet(StreamsSilenced::All);
    table_ = OpenTable(true, std::max(waitMs, 1));
    return table_ == nullptr ? LastError() : std::string();
}

std::string LiveFeed::AttachStarted() {
    const int waitMs = static_cast<int>(std::min(options_.waitSeconds * 1000.0, 2.0e9));
    table_ = OpenTable(false, std::max(waitMs, 1));
    return table_ == nullptr ? LastError() : std::string();
}

int LiveFeed::WriteRecord(const std::string&, int, const std::vector<std::string>& fields) {
    std::array<const char*, CORVANE_COLUMN_COUNT> texts{};
    for (std::size_t k = 0; k < texts.size() && k < fields.size(); ++k)
        texts[k] = fields[k].c_str();
    const int code = corvane_live_put(table_, texts.data());
    refusedPuts_ += code == CORVANE_E_NO_SHEET || code == CORVANE_E_FULL;
    return code;
}

unsigned long long LiveFeed::RefusedLater() const {
    const unsigned long long refused = Stats().ticks_refused;
    return refused > refusedPuts_ ? refused - refusedPuts_ : 0;
}

bool LiveFeed::OfficeAnswers() {
    // A table that recovers is still good: only one that failed for good is not.
    return table_ != nullptr && Stats().state != CORVANE_LIVE_FAILED;
}

int LiveFeed::FlushAtEnd(bool copies, const StopSignals& stop, Console& console) {
    // A stop asked for before the end ended the input; one asked for now ends the wait.
    const bool stoppedBefore = stop.Requested();
    auto deadline = DeadlineAfter(std::chrono::milliseconds(kFinishMs));
    bool told = false;
    for (;;) {
        const int flushed = corvane_live_flush(table_, kFinishSliceMs);
        if (flushed != CORVANE_OK && flushed != CORVANE_E_TIMEOUT) return flushed;
        const corvane_live_stats stats = Stats();
        // Copies need the office too, once every row is in.
        if (flushed == CORVANE_OK && (!copies || stats.state == CORVANE_LIVE_LIVE)) return flushed;
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
            return flushed == CORVANE_OK ? CORVANE_OK : CORVANE_E_TIMEOUT;
        }
    }
}

std::vector<std::string> LiveFeed::Finish(const std::vector<std::string>& saveAs,
                                          const StopSignals& stop, Console& console) {
    std::vector<std::string> failures;
    if (table_ == nullptr) return failures;
    const int flushed = FlushAtEnd(!saveAs.empty(), stop, console);
    const corvane_live_stats stats = Stats();
    // Whatever ended the wait (the office gone, the deadline, a stop), nothing waits for
    // the office again.
    waitedOut_ |= flushed != CORVANE_OK;
    const bool gone = stats.state != CORVANE_LIVE_LIVE;
    // Only an office that is there and does not answer is stuck; one that went away is
    // told by the table's own words.
    timedOut_ |= flushed == CORVANE_E_TIMEOUT && stats.last_status == CORVANE_E_TIMEOUT;
    if (flushed != CORVANE_OK)
        failures.push_back(
            "not every row reached the sheet: " +
            (gone ? "the office is gone: " + std::string(stats.last_message) : LastError()));
    for (const std::string& path : saveAs) {
        const std::string target = Absolute(path);
        const int saved =
            corvane_live_save_copy(table_, target.c_str(), waitedOut_ ? 0 : kFinishMs);
        timedOut_ |= saved == CORVANE_E_TIMEOUT && !waitedOut_;
        if (saved != CORVANE_OK)
            failures.push_back("cannot save " + Quoted(path) + ": " + LastError());
        else
            console.Note("saved " + path);
    }
    return failures;
}

std::string LiveFeed::Close() {
    if (!waitedOut_) return Close(kFinishMs);
    // Finish has told already what did not reach the sheet.
    Close(0);
    return {};
}

std::string LiveFeed::Close(int timeoutMs) {
    if (table_ == nullptr) return {};
    corvane_live* table = table_.exchange(nullptr);
    if (corvane_live_close(table, timeoutMs) != CORVANE_OK)
        return "not every row reached the sheet: " + std::string(corvane_last_error());
    return {};
}

void LiveFeed::Abandon() {
    // The process group the office runs in, which the table started.
    const int office = Stats().office_pid;
    const pid_t group = office > 0 ? ::getpgid(office) : -1;
    if (group > 0) ::kill(-group, SIGKILL);
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
