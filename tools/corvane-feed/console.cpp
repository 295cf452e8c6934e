#include "console.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace corvane::feed {
namespace {

constexpr char kPrefix[] = "corvane-feed: ";
constexpr auto kProgressInterval = std::chrono::milliseconds(200);

std::string Plural(long count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

Console::Console(bool quiet) : quiet_(quiet), terminal_(!quiet && ::isatty(STDERR_FILENO) == 1) {
    StartFeed();
}

void Console::Error(const std::string& text) {
    EndProgress();
    std::fprintf(stderr, "%s%s\n", kPrefix, text.c_str());
}

void Console::Note(const std::string& text) {
    if (quiet_) return;
    EndProgress();
    std::fprintf(stderr, "%s%s\n", kPrefix, text.c_str());
}

void Console::LineFailed(long line, const std::string& why) {
    Error("line " + std::to_string(line) + ": " + why);
}

void Console::RowWritten(long rowsWritten) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (progressShown_ && now - lastProgress_ < kProgressInterval) return;
    lastProgress_ = now;
    const double seconds = Seconds();
    std::fprintf(stderr, "\r%s%ld rows written, %.0f rows/s\033[K", kPrefix, rowsWritten,
                 seconds > 0 ? rowsWritten / seconds : 0.0);
    std::fflush(stderr);
    progressShown_ = true;
}

void Console::StartFeed() { start_ = std::chrono::steady_clock::now(); }

void Console::EndProgress() {
    if (!progressShown_) return;
    std::fputs("\r\033[K", stderr);
    progressShown_ = false;
}

void Console::Summary(const FeedResult& result) {
    if (quiet_) return;
    EndProgress();
    const double seconds = Seconds();
    char rate[64];
    std::snprintf(rate, sizeof rate, "%.1f s, %.0f rows/s", seconds,
                  seconds > 0 ? result.written / seconds : 0.0);
    std::string text = Plural(result.lines, "line", "lines") + " read, " +
                       Plural(result.written, "row", "rows") + " written (" +
                       Plural(result.instruments, "instrument", "instruments") + " on " +
                       Plural(result.sheets, "sheet", "sheets") + "), " +
                       Plural(result.failed, "line", "lines") + " failed; " + rate;
    if (result.stopped) text += "; stopped before the end of the input";
    Note(text);
}

double Console::Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

StdoutSilenced::StdoutSilenced() {
    std::fflush(stdout);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null < 0) return;
    saved_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
    if (saved_ >= 0) ::dup2(null, STDOUT_FILENO);
    ::close(null);
}

StdoutSilenced::~StdoutSilenced() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO);
    ::close(saved_);
}

}  // namespace corvane::feed
