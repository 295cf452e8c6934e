// The feed loop against a recording writer: which row each line goes to (with --follow
// the table's to choose), what a bad line or a failed write does to the lines after it,
// and how a stop ends it.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fake_sheet_writer.hpp"
#include "feed_loop.hpp"
#include "market_record.hpp"

namespace corvane::feed {
namespace {

// Hands out the input in the chunks given; `stop` tells when a stop is requested.
class ChunkSource : public ByteSource {
  public:
    explicit ChunkSource(
        std::vector<std::string> chunks, std::function<bool()> stop = [] { return false; })
        : chunks_(std::move(chunks)), stop_(std::move(stop)) {}
    Status Read(std::string& chunk) override {
        if (next_ == chunks_.size()) return Status::End;
        chunk += chunks_[next_++];
        return Status::Data;
    }
    std::string Error() const override { return {}; }
    bool StopRequested() const override { return stop_(); }

  private:
    std::vector<std::string> chunks_;
    std::function<bool()> stop_;
    std::size_t next_ = 0;
};

class Events : public FeedEvents {
  public:
    void LineFailed(long line, const std::string& why) override { failures[line] = why; }
    void RecordFailed(const std::string& origin, const std::string& why) override {
        recordFailures[origin] = why;
    }
    void RowWritten(long rowsWritten) override { lastCount = rowsWritten; }
    std::map<long, std::string> failures;
    std::map<std::string, std::string> recordFailures;
    long lastCount = 0;
};

FeedResult Feed(const FeedSettings& settings, std::vector<std::string> chunks,
                FakeSheetWriter& writer, Events& events) {
    ChunkSource source(std::move(chunks));
    FeedLoop loop(settings, RecordCheck(LibraryColumns()));
    return loop.Run(source, writer, events);
}

FeedSettings OneSheet(bool follow) {
    FeedSettings settings;
    settings.sheet = "NSE";
    settings.follow = follow;
    return settings;
}

TEST(FeedLoop, LinesFillRowsOneAfterAnotherAndABadLineTakesNoRow) {
    FakeSheetWriter writer;
    Events events;
    const FeedResult result = Feed(OneSheet(false),
                                   {"\xEF\xBB\xBF"
                                    "Exchange,Description,Scrip Code\n"
                                    "NSE,A,1\n",
                                    "NSE,B,2,x\n\nNSE,C,3\n"},
                                   writer, events);
    EXPECT_EQ(writer.writes,
              (std::vector<Write>{{"NSE", 0, "titles"}, {"NSE", 1, "A"}, {"NSE", 2, "C"}}));
    ASSERT_EQ(events.failures.size(), 1u);
    EXPECT_EQ(events.failures.at(3), "column D (Best Buy Qty): \"x\" is not a whole number");
    EXPECT_EQ(result.lines, 3);
    EXPECT_EQ(result.written, 2);
    EXPECT_EQ(result.failed, 1);
    EXPECT_TRUE(result.fatal.ok());
    EXPECT_EQ(events.lastCount, 2);
}

TEST(FeedLoop, FollowPutsEveryLineForTheTableToPlaceAndCountsEachInstrumentOnce) {
    FakeSheetWriter writer;
    writer.refusedDescription = "refused";
    Events events;
    FeedSettings settings = OneSheet(true);
    settings.firstRow = 5;
    const FeedResult result = Feed(settings,
                                   {"NSE,a1,2885\n"
                                    "NSE,b1,11536\n"
                                    "NSE,a2,02885\n"     // the same instrument
                                    "BSE,c1,2885\n"      // the same code on another exchange
                                    "NSE,refused,777\n"  // the office refuses it
                                    "NSE,no code,\n"     // cannot be told apart
                                    "NSE,d1,4963\n"
                                    "NSE,b2, 11536 \n"},
                                   writer, events);
    EXPECT_EQ(writer.writes, (std::vector<Write>{{"NSE", 4, "titles"},
                                                 {"NSE", kTableRow, "a1"},
                                                 {"NSE", kTableRow, "b1"},
                                                 {"NSE", kTableRow, "a2"},
                                                 {"NSE", kTableRow, "c1"},
                                                 {"NSE", kTableRow, "d1"},
                                                 {"NSE", kTableRow, "b2"}}));
    EXPECT_EQ(events.failures.at(5), "com.sun.star.uno.RuntimeException: refused");
    EXPECT_NE(events.failures.at(6).find("Scrip Code"), std::string::npos);
    EXPECT_EQ(result.written, 6);
    EXPECT_EQ(result.instruments, 4);
    EXPECT_EQ(result.failed, 2);
}

TEST(FeedLoop, SheetPerExchangeWritesTitlesPerSheetAndSkipsExchangesWithoutOne) {
    FakeSheetWriter writer;
    writer.missingSheets = {"MCX"};
    Events events;
    FeedSettings settings;
    settings.sheetPerExchange = true;
    settings.follow = true;
    const FeedResult result = Feed(
        settings, {"NSE,n1,1\nBSE,b1,1\nMCX,m1,1\nNSE,n2,2\n ,x,3\nBSE,b2,1\n"}, writer, events);
    EXPECT_EQ(writer.writes, (std::vector<Write>{{"NSE", 0, "titles"},
                                                 {"NSE", kTableRow, "n1"},
                                                 {"BSE", 0, "titles"},
                                                 {"BSE", kTableRow, "b1"},
                                                 {"NSE", kTableRow, "n2"},
                                                 {"BSE", kTableRow, "b2"}}));
    EXPECT_EQ(events.failures.at(3), "the workbook has no sheet named \"MCX\"");
    EXPECT_EQ(events.failures.count(5), 1u);
    EXPECT_TRUE(result.fatal.ok());
    EXPECT_EQ(result.sheets, 2);
    EXPECT_EQ(result.failed, 2);
}

TEST(FeedLoop, SheetNamesDifferingInCaseAreOneSheetWithOneSetOfRows) {
    for (const bool follow : {false, true}) {
        SCOPED_TRACE(follow);
        FakeSheetWriter writer;
        Events events;
        FeedSettings settings;
        settings.sheetPerExchange = true;
        settings.follow = follow;
        const FeedResult result =
            Feed(settings,
                 {std::string("NSE,first,1\nnse,second,2\nNse,third,1\nNSE\0junk,fourth,3\n", 55)},
                 writer, events);
        // With --follow "Nse",1 is the instrument of the first line.
        const int row = follow ? kTableRow : 1;
        EXPECT_EQ(writer.writes, (std::vector<Write>{{"NSE", 0, "titles"},
                                                     {"NSE", row, "first"},
                                                     {"NSE", follow ? row : 2, "second"},
                                                     {"NSE", follow ? row : 3, "third"}}));
        EXPECT_EQ(result.sheets, 1);
        EXPECT_EQ(result.instruments, follow ? 2 : 3);
        // A NUL would cut the name to "NSE": the line is refused instead.
        ASSERT_EQ(events.failures.count(4), 1u);
        EXPECT_EQ(events.failures.at(4), "column A (Exchange): \"NSE\\x00junk\" holds a NUL byte");
    }
}

TEST(FeedLoop, StopsAtTheFirstFailureThatEveryLaterLineWouldShare) {
    {
        FakeSheetWriter writer;
        writer.officeDiesAt = "dies";
        Events events;
        const FeedResult result =
            Feed(OneSheet(false), {"NSE,a,1\nNSE,dies,2\nNSE,never,3\n"}, writer, events);
        EXPECT_EQ(writer.writes.size(), 2u);  // titles and a
        EXPECT_EQ(result.fatal.message(),
                  "line 2 not written: the office no longer answers "
                  "(com.sun.star.lang.DisposedException: gone)");
        EXPECT_EQ(result.fatal, ErrorCode::Office);
        EXPECT_EQ(result.failed, 1);
    }
    {
        // An office that does not answer in time is told by the code: the run gives up.
        FakeSheetWriter writer;
        writer.timesOutAt = "stuck";
        Events events;
        const FeedResult result =
            Feed(OneSheet(false), {"NSE,a,1\nNSE,stuck,2\nNSE,never,3\n"}, writer, events);
        EXPECT_EQ(result.fatal, ErrorCode::Timeout);
        EXPECT_EQ(result.fatal.message(),
                  "line 2 not written: the office no longer answers (no answer in time)");
    }
    {
        FakeSheetWriter writer;
        writer.missingSheets = {"NSE"};
        Events events;
        FeedSettings settings = OneSheet(false);
        settings.titles = false;
        settings.firstRow = 0;
        const FeedResult result = Feed(settings, {"NSE,a,1\nNSE,b,2\n"}, writer, events);
        EXPECT_TRUE(writer.writes.empty());
        EXPECT_EQ(result.fatal.message(),
                  "line 1 not written: the workbook has no sheet named \"NSE\"");
        EXPECT_EQ(result.fatal, ErrorCode::NoSheet);
    }
}

TEST(FeedLoop, AStopRequestFinishesTheCurrentLineThenEndsTheFeed) {
    FakeSheetWriter writer;
    Events events;
    // The request arrives while the first line is being written.
    ChunkSource source({"NSE,a,1\nNSE,b,2\n", "NSE,c,3\n"},
                       [&writer] { return writer.writes.size() > 1; });
    FeedLoop loop(OneSheet(false), RecordCheck(LibraryColumns()));
    const FeedResult result = loop.Run(source, writer, events);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(writer.writes, (std::vector<Write>{{"NSE", 0, "titles"}, {"NSE", 1, "a"}}));
    EXPECT_EQ(result.written, 1);
    EXPECT_TRUE(result.fatal.ok());
}

// Hands out the records given, one batch per read, then fails as a lost bus does.
class BatchSource : public RecordSource {
  public:
    explicit BatchSource(std::vector<std::vector<SourcedRecord>> batches)
        : batches_(std::move(batches)) {}
    Status Read(std::vector<SourcedRecord>& records) override {
        if (next_ == batches_.size()) return Status::Failed;
        records = batches_[next_++];
        return Status::Data;
    }
    const corvane::Error& Failure() const override { return failure_; }
    bool StopRequested() const override { return false; }

  private:
    corvane::Error failure_{ErrorCode::Connect, "the bus went away"};
    std::vector<std::vector<SourcedRecord>> batches_;
    std::size_t next_ = 0;
};

TEST(FeedLoop, WholeRecordsAreReportedByOriginAndABadOneCostsOnlyItself) {
    FakeSheetWriter writer;
    writer.officeDiesAt = "dies";
    Events events;
    BatchSource source(
        {{{"md.NSE.1", "Exchange,Description,Scrip Code\r\n"},
          {"md.NSE.1", "NSE,a,1\r\n"},
          {"md.NSE.2", "NSE,\"open,2\n"},
          {"md.NSE.3", "NSE,b,3\nNSE,c,4\n"},
          {"md.NSE.4", "NSE,d,x\n"}},
         {},
         {{"md.NSE.5", "Exchange,Description,Scrip Code"}, {"md.NSE.5", "NSE,e,5"}}});
    FeedLoop loop(OneSheet(true), RecordCheck(LibraryColumns()));
    const FeedResult lost = loop.Run(source, writer, events);
    EXPECT_EQ(writer.writes,
              (std::vector<Write>{
                  {"NSE", 0, "titles"}, {"NSE", kTableRow, "a"}, {"NSE", kTableRow, "e"}}));
    ASSERT_EQ(events.recordFailures.size(), 3u);
    EXPECT_EQ(events.recordFailures.count("md.NSE.2"), 1u);
    EXPECT_EQ(events.recordFailures.at("md.NSE.3"), "holds more than one record");
    EXPECT_NE(events.recordFailures.at("md.NSE.4").find("Scrip Code"), std::string::npos);
    EXPECT_TRUE(events.failures.empty());
    EXPECT_EQ(lost.lines, 5);
    EXPECT_EQ(lost.failed, 3);
    EXPECT_EQ(lost.fatal.message(), "the bus went away");
    EXPECT_EQ(lost.fatal, ErrorCode::Connect);

    // A failure every later record would share names the record.
    BatchSource dying(std::vector<std::vector<SourcedRecord>>{
        {{"NSE.9", "NSE,dies,9"}, {"NSE.10", "NSE,never,10"}}});
    const FeedResult ended =
        FeedLoop(OneSheet(true), RecordCheck(LibraryColumns())).Run(dying, writer, events);
    EXPECT_EQ(ended.fatal.message().rfind("NSE.9 not written: the office no longer answers", 0), 0u)
        << ended.fatal.message();
}

}  // namespace
}  // namespace corvane::feed
