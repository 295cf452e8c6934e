// With --follow, the rows go into a live table of the library: each checked line is put
// and the call returns at once, whatever the office does, and the table's writer thread
// keeps the sheet current and recovers from an office that dies or stops answering.
#pragma once

#include <corvane/corvane.h>

#include <atomic>
#include <string>
#include <vector>

#include "console.hpp"
#include "core/error.hpp"
#include "feed_loop.hpp"
#include "options.hpp"
#include "stop_signals.hpp"

namespace corvane::feed {

class LiveFeed : public SheetWriter {
  public:
    explicit LiveFeed(const FeedOptions& options);
    // Closes the table if Close was not called.
    ~LiveFeed() override;
    LiveFeed(const LiveFeed&) = delete;
    LiveFeed& operator=(const LiveFeed&) = delete;

    // Opens the table on the office that accepts on the pipe, waiting at most --wait
    // for it to hold the workbook. Ok, with `noOffice` set (and no table), when nobody
    // accepts on the pipe. Fails with the table's code (Timeout when the office did not
    // answer within the call deadline), Argument for a workbook that does not exist,
    // Load when the workbook was not loaded within --wait, Connect when stopped.
    corvane::Error Attach(const StopSignals& stop, bool& noOffice);
    // Opens the table on an office of its own (a throw-away profile, ended at close),
    // waiting at most --wait for it; fails with the library's code.
    corvane::Error OpenOwned();
    // Opens the table on the office this run started, waiting at most --wait for it;
    // fails with the library's code.
    corvane::Error AttachStarted();

    // The table writes the titles itself.
    corvane::Error WriteTitles(const std::string&, int) override { return {}; }
    // Each line is put; the table chooses its row (`row` is kTableRow).
    corvane::Error WriteRecord(const std::string& sheet, int row,
                               const std::vector<std::string>& fields) override;
    bool OfficeAnswers() override;

    // Waits for every put row to be in the sheet, then stores each copy. An office that
    // is gone by then is said at once and waited for at most --wait; a stop requested
    // during the wait ends it, and copies are then tried once without waiting. Returns
    // the failures, one per line; empty when all went well. Only a failure of an office
    // that is there and did not answer within the call deadline is Timeout.
    std::vector<corvane::Error> Finish(const std::vector<std::string>& saveAs,
                                       const StopSignals& stop, Console& console);
    // Ends the table (an office it started with it), waiting for the rows put at most
    // kFinishMs, or not at all once Finish's wait ended without them (Finish told that
    // already). Fails with the library's code when not every row was written.
    corvane::Error Close();

    // How long the rows put may take to reach the sheet at the end while the office
    // answers, an office restarted on the way included.
    static constexpr int kFinishMs = 120000;

    corvane_live_stats Stats() const;
    // Ticks/s in, rows/s out, p99 staleness, restarts, reconnects and p50 staleness; the
    // rates over the last second, or on average over `seconds` when given.
    std::string StatsText(double seconds = 0) const;
    // "" while the table is connecting or live; else "recovering: why" or "failed: why".
    std::string StateText() const;
    // Lines whose put was taken but that the table refused later, having found no row
    // for them (their exchange's sheet missing, their sheet full).
    unsigned long long RefusedLater() const;

  private:
    corvane::Error OpenTable(bool owned, int waitMs);
    corvane::Error Close(int timeoutMs);
    // Finish's wait for the rows, and for the office too when `copies` are to be stored:
    // Ok once every row is in, else the flush's failure, Timeout when the wait ran out.
    corvane::Error FlushAtEnd(bool copies, const StopSignals& stop, Console& console);
    // Why not every row reached the sheet, after FlushAtEnd's `failure`.
    corvane::Error Unflushed(const corvane::Error& failure) const;

    const FeedOptions& options_;
    std::string workbook_;
    std::atomic<corvane_live*> table_{nullptr};
    unsigned long long refusedPuts_ = 0;  // puts the table refused at once
    bool waitedOut_ = false;              // Finish's wait ended without the rows: none waits again
};

}  // namespace corvane::feed
