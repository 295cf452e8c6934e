// What the program shows on standard error: line errors, progress on a terminal, notes
// and the closing summary. Standard output stays free of anything but --help.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <utility>

#include "feed_loop.hpp"

namespace corvane::feed {

class Console : public FeedEvents {
  public:
    // `quiet`: errors only. Progress is shown only when standard error is a terminal.
    explicit Console(bool quiet);

    void Error(const std::string& text);
    void Note(const std::string& text);  // skipped when quiet
    void LineFailed(long line, const std::string& why) override;
    void RecordFailed(const std::string& origin, const std::string& why) override;
    void RowWritten(long rowsWritten) override;
    // Keeps the notes and the progress line current while no rows come.
    void Idle() override;

    // Starts the clock for rows per second.
    void StartFeed();
    // Clears the progress line; call before the summary.
    void EndProgress();
    void Summary(const FeedResult& result);
    // With --follow: the live table's figures, for the progress line and the summary
    // (given the seconds since the feed started).
    // With --print-office-pid: a note each time the office's process id changes.
    void ShowOfficePid(std::function<int()> pid) {
        officePid_ = std::move(pid);
        ShowNewOfficePid();
    }
    void ShowTableStats(std::function<std::string(double seconds)> stats) {
        tableStats_ = std::move(stats);
    }
    // With --follow: a note when the live table loses the office ("recovering: why")
    // and when it writes again; `state` gives "" while all is well.
    void ShowTableState(std::function<std::string()> state) { tableState_ = std::move(state); }
    // With a bus input: a note each time `state` changes ("" while connected and
    // nothing to tell: the notes say when the connection is lost and back, and when
    // a bucket's snapshot is complete).
    void ShowInputState(std::function<std::string()> state) { inputState_ = std::move(state); }
    // The summary counts "messages" instead of "lines".
    void CountMessages() { unit_ = {"message", "messages"}; }

  private:
    double Seconds() const;
    void ShowNewOfficePid();
    void ShowNewTableState();
    void ShowNewInputState(bool everyTime);
    void ShowProgress(long rowsWritten);

    bool quiet_;
    bool terminal_;
    bool progressShown_ = false;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point lastProgress_;
    std::function<std::string(double)> tableStats_;
    std::function<int()> officePid_;
    int shownPid_ = 0;
    std::function<std::string()> tableState_;
    std::string shownState_;
    std::chrono::steady_clock::time_point lastStateCheck_;
    std::function<std::string()> inputState_;
    std::string shownInputState_;
    std::chrono::steady_clock::time_point lastInputCheck_;
    long rowsWritten_ = 0;
    std::pair<const char*, const char*> unit_{"line", "lines"};
};

// Points standard output, and optionally standard input and error, at /dev/null while
// it lives. The library prints a line on standard output for every connection attempt
// that fails, which would clutter a wait for the office; and an office started meanwhile
// inherits the three streams: it must neither write into ours nor hold our input open
// (a producer writing into it would wait forever once this program is gone).
class StreamsSilenced {
  public:
    enum Which { OutputOnly, All };
    explicit StreamsSilenced(Which which);
    ~StreamsSilenced();
    StreamsSilenced(const StreamsSilenced&) = delete;
    StreamsSilenced& operator=(const StreamsSilenced&) = delete;

  private:
    int saved_[3] = {-1, -1, -1};
};

}  // namespace corvane::feed
