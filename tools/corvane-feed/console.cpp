#include "console.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace corvane::feed {
namespace {

constexpr char kPrefix[] = "corvane-feed: ";
// A message longer than this is cut: one line of the terminal's worth, give or take.
constexpr std::size_t kMaxMessageBytes = 1000;
constexpr auto kProgressInterval = std::chrono::milliseconds(200);

std::string Plural(long count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// `text` safe for a terminal: control characters (C0, DEL and C1, which can start
// escape sequences) shown as \xNN, and cut to a readable length.
std::string Printable(const std::string& text) {
    std::string out;
    std::size_t at = 0;
    for (; at < text.size() && out.size() < kMaxMessageBytes; ++at) {
        const unsigned char c = static_cast<unsigned char>(text[at]);
        const bool c1 = c == 0xC2 && at + 1 < text.size() &&
                        static_cast<unsigned char>(text[at + 1]) >= 0x80 &&
                        static_cast<unsigned char>(text[at + 1]) <= 0x9F;
        if (c < 0x20 || c == 0x7F || c1) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c1 ? text[++at] & 0xFF : c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (at < text.size()) {
        // Cut at a character's start, not inside its UTF-8 bytes.
        while (!out.empty() && static_cast<unsigned char>(out.back()) >= 0x80 &&
               (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) {
            out.pop_back();
            --at;
        }
        out += "...";
    }
    return out;
}

}  // namespace

Console::Console(bool quiet) : quiet_(quiet), terminal_(!quiet && ::isatty(STDERR_FILENO) == 1) {
    StartFeed();
}

void Console::Error(const std::string& text) {
    EndProgress();
    std::fprintf(stderr, "%s%s\n", kPrefix, Printable(text).c_str());
}

void Console::Note(const std::string& text) {
    if (quiet_) return;
    EndProgress();
    std::fprintf(stderr, "%s%s\n", kPrefix, Printable(text).c_str());
}

void Console::LineFailed(long line, const std::string& why) {
    Error("line " + std::to_string(line) + ": " + why);
}

void Console::RecordFailed(const std::string& origin, const std::string& why) {
    Error(origin + ": " + why);
}

void Console::ShowNewOfficePid() {
    if (!officePid_) return;
    const int pid = officePid_();
    if (pid == 0 || pid == shownPid_) return;
    shownPid_ = pid;
    Note("office pid " + std::to_string(pid));
}

void Console::ShowNewTableState() {
    if (!tableState_) return;
    // The table's statistics are not free: asked a few times a second at most.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastStateCheck_ < kProgressInterval) return;
    lastStateCheck_ = now;
    std::string state = tableState_();
    if (state == shownState_) return;
    Note(state.empty() ? "live table writing again" : "live table " + state);
    shownState_ = std::move(state);
}

void Console::ShowNewInputState(bool everyTime) {
    if (!inputState_) return;
    // For each row, asked a few times a second at most; between reads, every time.
    const auto now = std::chrono::steady_clock::now();
    if (!everyTime && now - lastInputCheck_ < kProgressInterval) return;
    lastInputCheck_ = now;
    std::string state = inputState_();
    if (state == shownInputState_) return;
    if (!state.empty()) Note(state);
    shownInputState_ = std::move(state);
}

void Console::RowWritten(long rowsWritten) {
    ShowNewOfficePid();
    ShowNewTableState();
    ShowNewInputState(false);
    rowsWritten_ = rowsWritten;
    ShowProgress(rowsWritten);
}

void Console::Idle() {
    ShowNewOfficePid();
    ShowNewTableState();
    ShowNewInputState(true);
    ShowProgress(rowsWritten_);
}

void Console::ShowProgress(long rowsWritten) {
    if (!terminal_) return;
    const auto now = std::chrono::steady_clock::now();
    if (progressShown_ && now - lastProgress_ < kProgressInterval) return;
    lastProgress_ = now;
    const double seconds = Seconds();
    if (tableStats_) {
        std::fprintf(stderr, "\r%s%s put, %s\033[K", kPrefix,
                     Plural(rowsWritten, "tick", "ticks").c_str(), tableStats_(0).c_str());
        std::fflush(stderr);
        progressShown_ = true;
        return;
    }
    std::fprintf(stderr, "\r%s%s written, %.0f rows/s\033[K", kPrefix,
                 Plural(rowsWritten, "row", "rows").c_str(),
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
    // With a live table each line is a tick put: the rows it wrote are in its figures.
    std::string text =
        Plural(result.lines, unit_.first, unit_.second) + " read, " +
        Plural(result.written, tableStats_ ? "tick" : "row", tableStats_ ? "ticks" : "rows") +
        (tableStats_ ? " put (" : " written (") +
        Plural(result.instruments, "instrument", "instruments") + " on " +
        Plural(result.sheets, "sheet", "sheets") + "), " +
        Plural(result.failed, unit_.first, unit_.second) + " failed; ";
    if (tableStats_) {
        char time[32];
        std::snprintf(time, sizeof time, "%.1f s, ", seconds);
        text += time + tableStats_(seconds);
    } else {
        text += rate;
    }
    // A subscription has no end: a stop is how it ends.
    if (result.stopped && unit_.first != std::string("message"))
        text += "; stopped before the end of the input";
    Note(text);
}

double Console::Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

StreamsSilenced::StreamsSilenced(Which which) {
    std::fflush(stdout);
    std::fflush(stderr);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null < 0) return;
    for (int fd = which == All ? 0 : 1; fd <= (which == All ? 2 : 1); ++fd) {
        saved_[fd] = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
        if (saved_[fd] >= 0) ::dup2(null, fd);
    }
    ::close(null);
}

StreamsSilenced::~StreamsSilenced() {
    std::fflush(stdout);
    std::fflush(stderr);
    for (int fd = 0; fd <= 2; ++fd) {
        if (saved_[fd] < 0) continue;
        ::dup2(saved_[fd], fd);
        ::close(saved_[fd]);
    }
}

}  // namespace corvane::feed
