#include "feed_office.hpp"

#include <corvane/corvane.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <utility>

#include "c_status.hpp"

namespace corvane::feed {
namespace {

constexpr auto kShutdownGrace = std::chrono::milliseconds(10000);

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

corvane::Error Wrong(std::string why) {
    return corvane::Error(ErrorCode::Argument, std::move(why));
}

std::string Absolute(const std::string& path) {
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

}  // namespace

FeedOffice::FeedOffice(OfficeSettings settings, const StopSignals& stop, Console& console)
    : settings_(std::move(settings)), stop_(stop), console_(console) {
    corvane_set_warning_handler(&FeedOffice::CollectWarning, this);
}

FeedOffice::~FeedOffice() {
    Close();
    corvane_set_warning_handler(nullptr, nullptr);
}

void FeedOffice::CollectWarning(const char* text, void* office) {
    static_cast<FeedOffice*>(office)->warnings_.emplace_back(text);
}

void FeedOffice::ShowWarnings() {
    for (const std::string& warning : warnings_) console_.Error("office: " + warning);
    warnings_.clear();
}

corvane::Error FeedOffice::Open() {
    std::error_code error;
    if (!std::filesystem::is_regular_file(settings_.workbook, error))
        return Wrong("the workbook " + Quoted(settings_.workbook) + " does not exist");
    const std::string workbook = Absolute(settings_.workbook);
    int result;
    {
        StreamsSilenced quiet(StreamsSilenced::OutputOnly);
        result = corvane_connect(workbook.c_str());
    }
    const corvane::Error connected = FromStatus(result);
    ShowWarnings();
    // Only when nobody answers on the pipe is there an office to start.
    if (connected != ErrorCode::Connect) return connected;
    return StartAndWait();
}

corvane::Error FeedOffice::StartAndWait() {
    if (!settings_.keepOffice && !settings_.savesCopies)
        return Wrong(
            "no office accepts on the pipe \"ooo_pipe\", and one started for this run "
            "would be shut down at the end with everything written lost: give --save-as "
            "PATH or --keep-office, or start an office first");
    if (::access(settings_.office.c_str(), X_OK) != 0 ||
        !std::filesystem::is_regular_file(settings_.office))
        return Wrong("no office program at " + Quoted(settings_.office) + " (see --office)");
    // Headless on a throw-away profile unless the command line says otherwise; a new
    // office takes a moment to accept, and has --wait to do so.
    corvane_office_options open;
    corvane_office_default_options(&open);
    open.office_path = settings_.office.c_str();
    open.command_line = settings_.commandLine.c_str();
    open.scratch_profile = settings_.commandLine.empty();
    open.wait_ms = static_cast<int>(std::min(settings_.waitSeconds * 1000.0, 2147483647.0));
    const std::string workbook = Absolute(settings_.workbook);
    started_ = true;
    abandonable_ = !settings_.keepOffice && settings_.commandLine.empty();
    console_.Note("starting the office and waiting for it");
    int result;
    {
        StreamsSilenced quiet(StreamsSilenced::All);
        result = corvane_open_office(&open, workbook.c_str());
    }
    const corvane::Error opened = FromStatus(result);
    ShowWarnings();
    if (opened.ok()) return {};

    started_ = false;
    abandonable_ = false;
    corvane_end_office(0);
    // The library's code stays whatever the words say: a stuck office is told by it.
    if (stop_.Requested())
        return corvane::Error(opened.code(), "stopped while waiting for the office");
    if (opened != ErrorCode::Connect) return opened;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", settings_.waitSeconds);
    return corvane::Error(
        ErrorCode::Connect,
        std::string("the office did not accept connections on the pipe \"ooo_pipe\" within ") +
            seconds + " s (" +
            (settings_.commandLine.empty() ? "started headless on a profile of its own"
                                           : "started with: " + settings_.commandLine) +
            ")");
}

corvane::Error FeedOffice::SaveCopy(const std::string& path) {
    const std::string target = Absolute(path);
    const corvane::Error saved = FromStatus(corvane_save_copy(target.c_str()));
    if (saved.ok()) return {};
    return corvane::Error(saved.code(), "cannot save " + Quoted(path) + ": " + saved.message());
}

void FeedOffice::HandOver() {
    corvane_disconnect();
    handedOver_ = true;
}

void FeedOffice::Close() {
    if (closed_) return;
    closed_ = true;
    if (!started_) return;
    if (settings_.keepOffice) {
        console_.Note("the office keeps running on the pipe \"ooo_pipe\"");
        return;
    }
    abandonable_ = false;
    if (handedOver_) {
        // Through the office's own shutdown, as an office never handed over.
        StreamsSilenced quiet(StreamsSilenced::OutputOnly);
        corvane_connect(Absolute(settings_.workbook).c_str());
    }
    // An office that had to be killed left its lock beside the workbook; with its
    // profile gone the lock is provably stale and would keep other offices from loading
    // the workbook.
    if (corvane_end_office(static_cast<int>(kShutdownGrace.count())) != CORVANE_OK)
        corvane_clear_stale_lock(Absolute(settings_.workbook).c_str());
}

void FeedOffice::Abandon() {
    if (abandonable_) corvane_kill_office();
}

}  // namespace corvane::feed
