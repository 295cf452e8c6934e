// Paced updates of --follow without an office: what waits between writes, how waiting
// rows become blocks, and that whatever ends the feed writes what waits first. Time is
// a clock the test moves, so nothing here depends on how fast the machine is.
#include <corvane/corvane.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "fake_sheet_writer.hpp"
#include "feed_loop.hpp"
#include "market_record.hpp"
#include "pending_rows.hpp"

namespace corvane::feed {
namespace {

using std::chrono::milliseconds;
using Log = std::vector<std::string>;

PendingLine Line(const std::string& description, long line, bool isNew = false) {
    std::vector<std::string> fields(kColumns);
    fields[1] = description;
    return PendingLine{std::move(fields), line, {}, isNew};
}

TEST(PendingRows, KeepsTheNewestLinePerRowAndWritesEachRunOfAdjacentRowsAsOneBlock) {
    PendingRows pending;
    for (int tick = 0; tick < 1000; ++tick)
        pending.Put("NSE", 7, Line("a" + std::to_string(tick), tick));
    pending.Put("NSE", 5, Line("c", 1001, true));
    pending.Put("BSE", 1, Line("x", 1002));
    pending.Put("NSE", 6, Line("b", 1003, true));
    pending.Put("NSE", 9, Line("d", 1004));
    pending.Put("NSE", 5, Line("c2", 1005));  // still a new row: it was not written yet
    EXPECT_EQ(pending.Size(), 5u);

    Log log;
    FakeSheetWriter writer(log);
    std::vector<std::pair<long, bool>> outcomes;  // line, new row
    pending.Flush(writer, [&](const std::string&, int, const PendingLine& line, int code) {
        EXPECT_EQ(code, CORVANE_OK);
        outcomes.emplace_back(line.line, line.isNew);
        return true;
    });
    EXPECT_EQ(log, (Log{"block BSE 1: x", "block NSE 5: c2 b a999", "block NSE 9: d"}));
    EXPECT_EQ(outcomes,
              (std::vector<std::pair<long, bool>>{
                  {1002, false}, {1005, true}, {1003, true}, {999, false}, {1004, false}}));
    EXPECT_TRUE(pending.Empty());

    log.clear();
    pending.Flush(writer, [](auto&&...) { return true; });
    EXPECT_TRUE(log.empty());
}

TEST(PendingRows, ARefusedBlockIsWrittenAgainRowByRowUnlessEveryRowWouldFailAlike) {
    Log log;
    FakeSheetWriter writer(log);
    writer.sheetEnd = 12;
    writer.missingSheets = {"MCX"};
    PendingRows pending;
    for (int row = 10; row < 14; ++row)
        pending.Put("NSE", row, Line("n" + std::to_string(row), row));
    pending.Put("MCX", 1, Line("m1", 1));
    pending.Put("MCX", 2, Line("m2", 2));
    std::vector<std::pair<long, int>> outcomes;  // line, code
    pending.Flush(writer, [&](const std::string&, int, const PendingLine& line, int code) {
        outcomes.emplace_back(line.line, code);
        return line.line != 12;  // a failure that ends the flush
    });
    EXPECT_EQ(log, (Log{"row NSE 10: n10", "row NSE 11: n11"}));
    EXPECT_EQ(outcomes, (std::vector<std::pair<long, int>>{{1, CORVANE_E_NO_SHEET},
                                                           {2, CORVANE_E_NO_SHEET},
                                                           {10, CORVANE_OK},
                                                           {11, CORVANE_OK},
                                                           {12, CORVANE_E_OFFICE}}));
    EXPECT_TRUE(pending.Empty()) << "what a failure left unwritten is dropped";
}

// Input in steps: text arrives at once, a pause moves the clock on and reports that
// nothing came. Every read is logged with how long the feed was willing to wait.
class ScriptedSource : public ByteSource {
  public:
    struct Step {
        std::string text;
        milliseconds pause{0};
    };
    ScriptedSource(std::vector<Step> steps, FeedLoop::Clock::time_point& clock, Log& log)
        : steps_(std::move(steps)), clock_(clock), log_(log) {}
    Status Read(std::string& chunk, milliseconds wait) override {
        log_.push_back("read " + std::to_string(wait.count()));
        if (onRead) onRead();
        if (next_ == steps_.size()) return Status::End;
        const Step& step = steps_[next_++];
        if (step.pause.count() > 0) {
            clock_ += step.pause;
            return Status::Idle;
        }
        if (step.text.empty()) return end;
        chunk += step.text;
        return Status::Data;
    }
    std::string Error() const override { return "input gone"; }
    bool StopRequested() const override { return stop; }

    std::function<void()> onRead;
    Status end = Status::End;  // what an empty step reports
    bool stop = false;

  private:
    std::vector<Step> steps_;
    std::size_t next_ = 0;
    FeedLoop::Clock::time_point& clock_;
    Log& log_;
};

class Silent : public FeedEvents {
    void LineFailed(long, const std::string& why) override { ADD_FAILURE() << why; }
    void RowWritten(long) override {}
};

FeedSettings Paced() {
    FeedSettings settings;
    settings.sheet = "NSE";
    settings.follow = true;
    settings.interval = milliseconds(250);
    return settings;
}

TEST(PacedFeed, TicksWaitingForTheIntervalCoalesceAndAPauseInTheInputDoesNotHoldThemBack) {
    FeedLoop::Clock::time_point clock;
    Log log;
    FakeSheetWriter writer(log);
    ScriptedSource source({{"NSE,a1,1\nNSE,a2,1\nNSE,b1,2\n"},
                           {"NSE,a3,01\nNSE,c1,3\n"},
                           {"", milliseconds(300)},  // the producer pauses
                           {"NSE,b2,2\nNSE,b3,2\n"}},
                          clock, log);
    Silent events;
    FeedLoop loop(Paced(), RecordCheck(LibraryColumns()), [&clock] { return clock; });
    const FeedResult result = loop.Run(source, writer, events);

    EXPECT_EQ(log, (Log{"read -1", "titles NSE 0",
                        "block NSE 1: a1",  // the first line at once, then the interval
                        "read 250", "read 250",
                        "block NSE 1: a3 b1 c1",  // once the pause has passed
                        "read -1", "read 250", "block NSE 2: b3"}));
    EXPECT_EQ(result.lines, 7);
    EXPECT_EQ(result.written, 5);
    EXPECT_EQ(result.instruments, 3);
    EXPECT_EQ(result.failed, 0);
}

TEST(PacedFeed, ABurstOfTicksWaitsAsOneLinePerInstrument) {
    FeedLoop::Clock::time_point clock;  // never moves: every tick after the first waits
    Log log;
    FakeSheetWriter writer(log);
    std::vector<ScriptedSource::Step> steps;
    constexpr int kTicks = 100000;
    std::string chunk;
    for (int tick = 0; tick < kTicks; ++tick) {
        chunk += "NSE,t" + std::to_string(tick) + "," + std::to_string(tick % 4) + "\n";
        if (chunk.size() > 4096) steps.push_back({std::move(chunk)}), chunk.clear();
    }
    steps.push_back({chunk});
    ScriptedSource source(steps, clock, log);
    FeedLoop loop(Paced(), RecordCheck(LibraryColumns()), [&clock] { return clock; });
    std::size_t mostWaiting = 0;
    source.onRead = [&] { mostWaiting = std::max(mostWaiting, loop.Waiting()); };
    Silent events;
    const FeedResult result = loop.Run(source, writer, events);

    EXPECT_EQ(mostWaiting, 4u);
    EXPECT_EQ(log.back(), "block NSE 1: t99996 t99997 t99998 t99999");
    EXPECT_EQ(result.lines, kTicks);
    EXPECT_EQ(result.written, 5);
}

TEST(PacedFeed, WhatWaitsIsWrittenWhenAStopOrAReadFailureEndsTheFeed) {
    for (const bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "stop" : "read failure");
        FeedLoop::Clock::time_point clock;
        Log log;
        FakeSheetWriter writer(log);
        ScriptedSource source({{"NSE,a1,1\nNSE,a2,1\nNSE,b1,2\n"}, {""}}, clock, log);
        source.end = stop ? ByteSource::Status::Stopped : ByteSource::Status::Failed;
        Silent events;
        FeedLoop loop(Paced(), RecordCheck(LibraryColumns()), [&clock] { return clock; });
        const FeedResult result = loop.Run(source, writer, events);
        EXPECT_EQ(log.back(), "block NSE 1: a2 b1");
        EXPECT_EQ(result.stopped, stop);
        EXPECT_EQ(result.fatal, stop ? "" : "cannot read the input: input gone");
        EXPECT_EQ(result.written, 3);
    }
    // A stop noticed between lines: the lines read so far are written, no later one.
    FeedLoop::Clock::time_point clock;
    Log log;
    FakeSheetWriter writer(log);
    ScriptedSource source({{"NSE,a1,1\nNSE,a2,1\n"}, {"NSE,late,1\n"}}, clock, log);
    source.onRead = [&source, &log] { source.stop = log.size() > 3; };
    Silent events;
    FeedLoop loop(Paced(), RecordCheck(LibraryColumns()), [&clock] { return clock; });
    const FeedResult result = loop.Run(source, writer, events);
    EXPECT_EQ(log,
              (Log{"read -1", "titles NSE 0", "block NSE 1: a1", "read 250", "block NSE 1: a2"}));
    EXPECT_TRUE(result.stopped);
}

}  // namespace
}  // namespace corvane::feed
