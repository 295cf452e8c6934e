#include "feed_office.hpp"

#include <corvane/corvane.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <utility>

namespace corvane::feed {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRetryInterval = std::chrono::milliseconds(250);
constexpr auto kShutdownGrace = std::chrono::seconds(10);

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The library tells "nobody answers on the pipe" from "the office answered but could
// not load the workbook" only in its message.
bool OfficeAnsweredButNoWorkbook(const std::string& error) {
    return error.find("could not load") != std::string::npos;
}

std::string LastError() { return corvane_last_error(); }

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

std::string FeedOffice::Open() {
    std::error_code error;
    if (!std::filesystem::is_regular_file(settings_.workbook, error))
        return "the workbook " + Quoted(settings_.workbook) + " does not exist";
    const std::string workbook = Absolute(settings_.workbook);
    int result;
    {
        StreamsSilenced quiet(StreamsSilenced::OutputOnly);
        result = corvane_connect(workbook.c_str());
    }
    ShowWarnings();
    if (result >= 0) return {};
    if (OfficeAnsweredButNoWorkbook(LastError())) return LastError();
    return StartAndWait();
}

std::string FeedOffice::StartAndWait() {
    if (!settings_.keepOffice && !settings_.savesCopies)
        return "no office accepts on the pipe \"ooo_pipe\", and one started for this run "
               "would be shut down at the end with everything written lost: give --save-as "
               "PATH or --keep-office, or start an office first";
    if (::access(settings_.office.c_str(), X_OK) != 0 ||
        !std::filesystem::is_regular_file(settings_.office))
        return "no office program at " + Quoted(settings_.office) + " (see --office)";
    std::string commandLine = settings_.commandLine;
    if (commandLine.empty()) {
        if (std::string why = profile_.Create(); !why.empty()) return why;
        commandLine = profile_.HeadlessCommandLine(settings_.office);
        if (!settings_.keepOffice) {
            abandonDir_ = profile_.Directory();
            abandonUrl_ = profile_.Url();
            abandonArmed_ = true;
        }
    }

    const std::string workbook = Absolute(settings_.workbook);
    const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                             std::chrono::duration<double>(settings_.waitSeconds));
    started_ = true;
    console_.Note("starting the office and waiting for it");
    int result;
    {
        StreamsSilenced quiet(StreamsSilenced::All);
        result = corvane_init(settings_.office.c_str(), commandLine.c_str(), workbook.c_str());
    }
    ShowWarnings();
    // A new office takes a moment to accept; until then each attempt fails at once.
    while (result < 0 && !OfficeAnsweredButNoWorkbook(LastError()) && Clock::now() < deadline) {
        if (!stop_.Sleep(kRetryInterval)) break;
        StreamsSilenced quiet(StreamsSilenced::OutputOnly);
        result = corvane_connect(workbook.c_str());
    }
    if (result >= 0) return {};

    const std::string error = LastError();
    started_ = false;
    profile_.Remove();
    if (stop_.Requested()) return "stopped while waiting for the office";
    if (OfficeAnsweredButNoWorkbook(error)) return error;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", settings_.waitSeconds);
    return std::string("the office did not accept connections on the pipe \"ooo_pipe\" within ") +
           seconds + " s (started with: " + commandLine + ")";
}

std::string FeedOffice::SaveCopy(const std::string& path) {
    const std::string target = Absolute(path);
    if (corvane_save_copy(target.c_str()) != CORVANE_OK)
        return "cannot save " + Quoted(path) + ": " + LastError();
    return {};
}

void FeedOffice::Close() {
    if (closed_) return;
    closed_ = true;
    if (!started_) return;
    if (settings_.keepOffice) {
        if (profile_.Exists())
            console_.Note("the office keeps running on the pipe \"ooo_pipe\" (profile " +
                          profile_.Directory() + ")");
        profile_.Keep();
        return;
    }
    corvane_shutdown_office();
    profile_.EndOffice(kShutdownGrace);
    profile_.Remove();
}

void FeedOffice::Abandon() {
    if (!abandonArmed_) return;
    KillOfficeOn(abandonUrl_);
    std::error_code ignored;
    std::filesystem::remove_all(abandonDir_, ignored);
}

}  // namespace corvane::feed
