// What the program shows on standard error: line errors, progress on a terminal, notes
// and the closing summary. Standard output stays free of anything but --help.
#pragma once

#include <chrono>
#include <string>

#include "feed_loop.hpp"

namespace corvane::feed {

class Console : public FeedEvents {
  public:
    // `quiet`: errors only. Progress is shown only when standard error is a terminal.
    explicit Console(bool quiet);

    void Error(const std::string& text);
    void Note(const std::string& text);  // skipped when quiet
    void LineFailed(long line, const std::string& why) override;
    void RowWritten(long rowsWritten) override;

    // Starts the clock for rows per second.
    void StartFeed();
    // Clears the progress line; call before the summary.
    void EndProgress();
    void Summary(const FeedResult& result);

  private:
    double Seconds() const;

    bool quiet_;
    bool terminal_;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastProgress_;
};

// Sends standard output to /dev/null while it lives: the library prints a line there
// for every connection attempt that fails, which would clutter a wait for the office.
class StdoutSilenced {
  public:
    StdoutSilenced();
    ~StdoutSilenced();
    StdoutSilenced(const StdoutSilenced&) = delete;
    StdoutSilenced& operator=(const StdoutSilenced&) = delete;

  private:
    int saved_ = -1;
};

}  // namespace corvane::feed
