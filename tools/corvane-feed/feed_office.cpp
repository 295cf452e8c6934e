#include "feed_office.hpp"

#include <corvane/corvane.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <utility>

#include "core/deadline.hpp"

namespace corvane::feed {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kRetryInterval = std::chrono::milliseconds(250);
constexpr auto kShutdownGrace = std::chrono::seconds(10);

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

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
    timedOut_ = result == CORVANE_E_TIMEOUT;
    // Only when nobody answers on the pipe is there an office to start.
    if (result != CORVANE_E_CONNECT) return LastError();
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
        if (!settings_.keepOffice) abandonDir_ = profile_.Directory();
    }

    const std::string workbook = Absolute(settings_.workbook);
    const auto deadline = DeadlineAfterSeconds(settings_.waitSeconds);
    started_ = true;
    console_.Note("starting the office and waiting for it");
    int result;
    {
        StreamsSilenced quiet(StreamsSilenced::All);
        result = corvane_init(settings_.office.c_str(), commandLine.c_str(), workbook.c_str());
    }
    // The office the library started, which Abandon kills when the run must end at once.
    if (!settings_.keepOffice && settings_.commandLine.empty()) abandonPid_ = corvane_office_pid();
    ShowWarnings();
    // A new office takes a moment to accept; until then each attempt fails at once. One
    // that is still starting may also miss the call deadline: it has --wait to answer.
    while ((result == CORVANE_E_CONNECT || result == CORVANE_E_TIMEOUT) &&
           Clock::now() < deadline) {
        if (!stop_.Sleep(kRetryInterval)) break;
        StreamsSilenced quiet(StreamsSilenced::OutputOnly);
        result = corvane_connect(workbook.c_str());
    }
    if (result >= 0) return {};

    const std::string error = LastError();
    timedOut_ = result == CORVANE_E_TIMEOUT;
    started_ = false;
    profile_.Remove();
    if (stop_.Requested()) return "stopped while waiting for the office";
    if (result != CORVANE_E_CONNECT) return error;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", settings_.waitSeconds);
    return std::string("the office did not accept connections on the pipe \"ooo_pipe\" within ") +
           seconds + " s (started with: " + commandLine + ")";
}

std::string FeedOffice::SaveCopy(const std::string& path) {
    const std::string target = Absolute(path);
    const int result = corvane_save_copy(target.c_str());
    if (result != CORVANE_OK) {
        timedOut_ |= result == CORVANE_E_TIMEOUT;
        return "cannot save " + Quoted(path) + ": " + LastError();
    }
    return {};
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
        if (profile_.Exists())
            console_.Note("the office keeps running on the pipe \"ooo_pipe\" (profile " +
                          profile_.Directory() + ")");
        profile_.Keep();
        return;
    }
    if (handedOver_) {
        // Through the office's own shutdown, as an office never handed over.
        StreamsSilenced quiet(StreamsSilenced::OutputOnly);
        corvane_connect(Absolute(settings_.workbook).c_str());
    }
    const bool ended = corvane_shutdown_office() == CORVANE_OK;
    OfficeProfile::EndOffice(kShutdownGrace);
    profile_.Remove();
    // An office that died left its lock beside the workbook; with its profile gone the
    // lock is provably stale and would keep other offices from loading the workbook.
    if (!ended) corvane_clear_stale_lock(Absolute(settings_.workbook).c_str());
}

void FeedOffice::Abandon() {
    const pid_t office = abandonPid_;
    if (office <= 0) return;
    ::kill(-office, SIGKILL);
    std::error_code ignored;
    std::filesystem::remove_all(abandonDir_, ignored);
}

}  // namespace corvane::feed
