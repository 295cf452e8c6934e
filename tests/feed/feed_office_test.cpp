// corvane-feed as a user runs it, against a real office: the program is started as a
// child process and the cells it wrote are read back through the test's own connection.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "feed_process.hpp"
#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

bool IsEmpty(const Reference<css::sheet::XSpreadsheet>& sheet, int column, int row) {
    return Cell(sheet, column, row)->getType() == css::table::CellContentType_EMPTY;
}
double Number(const Reference<css::sheet::XSpreadsheet>& sheet, int column, int row) {
    const Reference<css::table::XCell> cell = Cell(sheet, column, row);
    EXPECT_EQ(cell->getType(), css::table::CellContentType_VALUE) << "column " << column;
    return cell->getValue();
}

TEST(FeedOffice, WritesAFileWithItsHeaderQuotedFieldsAndSkipsMalformedLines) {
    OfficeSession session;
    session.Start();
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE", "BSE"});
    const std::string csv = dir / "ticks.csv";
    std::ofstream(csv, std::ios::binary)
        << "Exchange,Description,Scrip Code,Best Buy Qty,Best Buy Price\r\n"
           "NSE,\"Reliance, Industries\",2885,120,2466.35\r\n"
           "NSE,\"TCS \"\"A\"\"\",11536,,3510\r\n"
           "NSE,too many" +
               std::string(41, ',') +
               "\r\n"
               "NSE,\"two\nlines\",4963, 5 \r\n"
               "NSE,Infosys,1594,1.5\r\n"
               "NSE,Last,3045\r\n";

    const Finished run = RunFeed(dir, {"--workbook", book, "--sheet", "NSE", csv}, "");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("line 4: 43 fields, more than the 42 columns"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("line 7: column D (Best Buy Qty): \"1.5\" is not a whole number"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("6 lines read, 4 rows written"), std::string::npos) << run.err;

    // The office was found running: it still serves the workbook, rows and all.
    const Reference<css::sheet::XSpreadsheet> nse = session.Client().Sheet(FileUrl(book), "NSE");
    EXPECT_EQ(Text(nse, 0, 0), "Exchange");
    EXPECT_EQ(Text(nse, 3, 0), "Best\nBuy Qty");
    EXPECT_EQ(Text(nse, 1, 1), "Reliance, Industries");
    EXPECT_EQ(Number(nse, 2, 1), 2885);
    EXPECT_EQ(Number(nse, 4, 1), 2466.35);
    EXPECT_EQ(Text(nse, 1, 2), "TCS \"A\"");
    EXPECT_TRUE(IsEmpty(nse, 3, 2));
    EXPECT_TRUE(IsEmpty(nse, 41, 2));
    EXPECT_EQ(Text(nse, 1, 3), "two\nlines");
    EXPECT_EQ(Number(nse, 3, 3), 5);
    EXPECT_EQ(Text(nse, 1, 4), "Last");
    EXPECT_TRUE(IsEmpty(nse, 0, 5));

    // A sheet the workbook lacks ends the run at once, with nothing written.
    const Finished missing =
        RunFeed(dir, {"--workbook", book, "--sheet", "MCX", "--quiet"}, "MCX,Gold,1\n");
    EXPECT_EQ(missing.status, 3);
    EXPECT_NE(missing.err.find("the workbook has no sheet named \"MCX\""), std::string::npos)
        << missing.err;
}

TEST(FeedOffice, HostileLinesAreReportedByNumberAndTheSheetHoldsWhatTheRestMeant) {
    OfficeSession session;
    session.Start();
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE", "BSE"});
    std::string input =
        "\xEF\xBB\xBF\"NSE\",\"RELIANCE\",2885,10\n"      // 1: a mark before a quoted field
        "nse,INFOSYS,1594\n"                              // 2: sheet NSE, whatever the case
        "Nse,RELIANCE 2,02885,11\n";                      // 3: the instrument of line 1
    input += std::string("NSE\0junk,BAD,777\n", 17);      // 4: a NUL would cut the name
    input += "NSE,HUGE," + std::string(310, '9') + "\n";  // 5: beyond a cell's number
    input += "NSE,\"oops,1\n";                            // 6: a stray quote
    for (int k = 1; k <= 20; ++k)                         // 7-26: read again after it
        input += "NSE,tick " + std::to_string(k) + "," + std::to_string(1000 + k) + "\n";
    input += "NSE,E,\x1B[2J\n";  // 27: a terminal escape in a message

    const Finished run = RunFeed(
        dir, {"--workbook", book, "--sheet-per-exchange", "--follow", "--interval", "0"}, input);
    EXPECT_EQ(run.status, 1) << run.err;
    for (const char* report :
         {"line 4: column A (Exchange): \"NSE\\x00junk\" holds a NUL byte",
          "line 5: column C (Scrip Code): \"99999", "is too large for a cell's number",
          "line 6: a quoted field runs on", "line 27: column C (Scrip Code): \"\\x1B[2J\""})
        EXPECT_NE(run.err.find(report), std::string::npos) << report << "\n" << run.err;
    EXPECT_EQ(run.err.find('\x1B'), std::string::npos);
    EXPECT_NE(run.err.find("(22 instruments on 1 sheet), 4 lines failed"), std::string::npos)
        << run.err;

    const Reference<css::sheet::XSpreadsheet> nse = session.Client().Sheet(FileUrl(book), "NSE");
    EXPECT_EQ(Text(nse, 0, 1), "Nse");
    EXPECT_EQ(Text(nse, 1, 1), "RELIANCE 2");
    EXPECT_EQ(Number(nse, 2, 1), 2885);
    EXPECT_EQ(Number(nse, 3, 1), 11);
    EXPECT_EQ(Text(nse, 1, 2), "INFOSYS");
    for (int k = 1; k <= 20; ++k) EXPECT_EQ(Text(nse, 1, 2 + k), "tick " + std::to_string(k));
    EXPECT_TRUE(IsEmpty(nse, 0, 23));
    EXPECT_TRUE(IsEmpty(session.Client().Sheet(FileUrl(book), "BSE"), 0, 0));
}

TEST(FeedOffice, FollowUpdatesEachInstrumentsRowAsTicksArriveAndStopsCleanlyOnCtrlC) {
    OfficeSession session;
    session.Start();
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    Feed feed(dir, {"--follow", "--sheet", "NSE", "--workbook", book, "--first-row", "3"}, nullptr);

    const auto nse = [&] { return session.Client().Sheet(FileUrl(book), "NSE"); };
    feed.Write("NSE,Reliance,2885,,100\n");
    ASSERT_TRUE(EventuallyHolds(session, book, 1, 3, "Reliance")) << feed.Err();
    EXPECT_EQ(Text(nse(), 0, 2), "Exchange");  // titles in the row above

    feed.Write("NSE,Infosys,1594,,200\nNSE,Reliance tick 2,02885,,101.5\n");
    ASSERT_TRUE(EventuallyHolds(session, book, 1, 3, "Reliance tick 2")) << feed.Err();
    EXPECT_EQ(Number(nse(), 4, 3), 101.5);
    EXPECT_EQ(Text(nse(), 1, 4), "Infosys");
    EXPECT_EQ(Number(nse(), 4, 4), 200);
    EXPECT_TRUE(IsEmpty(nse(), 1, 5));

    feed.Signal(SIGINT);
    EXPECT_EQ(feed.Wait(), 0) << feed.Err();
    EXPECT_NE(feed.Err().find("3 ticks put (2 instruments on 1 sheet)"), std::string::npos)
        << feed.Err();
    // The office it found running is left alone.
    EXPECT_TRUE(session.Running());
    EXPECT_EQ(Text(nse(), 1, 3), "Reliance tick 2");
}

TEST(FeedOffice, PacedFollowLeavesTheNewestTickOfEachInstrumentInItsRow) {
    OfficeSession session;
    session.Start();
    TempDir dir;
    const std::string book = dir / "watch.ods";  // created by the run in the running office
    Feed feed(dir,
              {"--follow", "--interval", "200", "--sheet", "NSE", "--workbook", book,
               "--create-workbook"},
              nullptr);

    const std::vector<std::string> codes = {"2885", "1594", "11536"};
    std::string burst;
    for (int tick = 1; tick <= 50; ++tick)
        for (const std::string& code : codes)
            burst += "NSE," + code + " tick " + std::to_string(tick) + "," + code + "," +
                     std::to_string(tick) + "," + std::to_string(100 + tick) + ".25\n";
    feed.Write(burst);
    // The input pauses here: what waits is written once the interval has passed.
    ASSERT_TRUE(EventuallyHolds(session, book, 1, 3, "11536 tick 50")) << feed.Err();
    const auto nse = [&] { return session.Client().Sheet(FileUrl(book), "NSE"); };
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(Text(nse(), 1, 1 + k), codes[k] + " tick 50");
        EXPECT_EQ(Number(nse(), 2, 1 + k), std::stod(codes[k]));
        EXPECT_EQ(Number(nse(), 3, 1 + k), 50);
        EXPECT_EQ(Number(nse(), 4, 1 + k), 150.25);
    }
    EXPECT_TRUE(IsEmpty(nse(), 1, 4));

    // Ticks still waiting when the input ends are written before the program exits.
    feed.Write("NSE,1594 last,1594,7,99.5\nNSE,2885 last,02885,8,98.5\nNSE,2885 final,2885,9\n");
    feed.CloseInput();
    EXPECT_EQ(feed.Wait(), 0) << feed.Err();
    EXPECT_EQ(Text(nse(), 1, 1), "2885 final");
    EXPECT_EQ(Number(nse(), 3, 1), 9);
    EXPECT_TRUE(IsEmpty(nse(), 4, 1));
    EXPECT_EQ(Text(nse(), 1, 2), "1594 last");
    EXPECT_EQ(Number(nse(), 4, 2), 99.5);
    EXPECT_EQ(Text(nse(), 1, 3), "11536 tick 50");
    EXPECT_TRUE(IsEmpty(nse(), 1, 4));
    EXPECT_NE(feed.Err().find("153 lines read"), std::string::npos) << feed.Err();
    EXPECT_NE(feed.Err().find("(3 instruments on 1 sheet), 0 lines failed"), std::string::npos)
        << feed.Err();

    // A block that runs past the sheet's last row: the rows inside are written, the line
    // of the row beyond is reported.
    const Finished atEnd = RunFeed(dir,
                                   {"--follow", "--interval", "100000", "--sheet", "NSE",
                                    "--workbook", book, "--first-row", "1048574", "--quiet"},
                                   "NSE,a,1\nNSE,b,2\nNSE,c,3\nNSE,a2,1\n");
    EXPECT_EQ(atEnd.status, 1) << atEnd.err;
    EXPECT_NE(atEnd.err.find("line 3: "), std::string::npos) << atEnd.err;
    EXPECT_EQ(atEnd.err.find("line 4"), std::string::npos) << atEnd.err;
    EXPECT_EQ(Text(nse(), 1, 1048574), "a2");
    EXPECT_EQ(Text(nse(), 1, 1048575), "b");
}

TEST(FeedOffice, StartsItsOwnOfficeSavesACopyAndLeavesNothingRunning) {
    OfficeSession session;  // the pipe to ourselves; no office yet
    TempDir dir;
    const std::string tmp = dir / "tmp";
    std::filesystem::create_directory(tmp);
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE", "BSE"});
    const std::string copy = dir / "saved copy.ods";
    const std::string ticks = "NSE,Reliance,2885,10,2466.35\nBSE,Reliance,500325,7,2467.1\n";

    // Without a copy or a kept office, all it wrote would be lost: nothing is started.
    const Finished refused =
        RunFeed(dir, {"--workbook", book, "--sheet", "NSE", "--quiet"}, ticks, tmp);
    EXPECT_EQ(refused.status, 3);
    EXPECT_NE(refused.err.find("--save-as"), std::string::npos) << refused.err;
    EXPECT_FALSE(OfficeStillAnswers());

    const Finished run = RunFeed(
        dir, {"--workbook", book, "--sheet", "BSE", "--no-titles", "--save-as", copy}, ticks, tmp);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(OfficeStillAnswers()) << "an office of the run still runs";
    EXPECT_TRUE(std::filesystem::is_empty(tmp)) << "its office profile is left behind";
    ASSERT_TRUE(std::filesystem::is_regular_file(copy));

    // The copy opens in an office with the values written.
    const Reference<css::frame::XComponentLoader> loader(session.Start().Desktop(),
                                                         UNO_QUERY_THROW);
    css::beans::PropertyValue hidden;
    hidden.Name = "Hidden";
    hidden.Value <<= true;
    const Reference<css::sheet::XSpreadsheetDocument> document(
        loader->loadComponentFromURL(U(FileUrl(copy)), "_blank", 0,
                                     css::uno::Sequence<css::beans::PropertyValue>(&hidden, 1)),
        UNO_QUERY_THROW);
    const Reference<css::sheet::XSpreadsheet> bse(document->getSheets()->getByName("BSE"),
                                                  UNO_QUERY_THROW);
    EXPECT_EQ(Text(bse, 0, 0), "NSE");
    EXPECT_EQ(Number(bse, 2, 0), 2885);
    EXPECT_EQ(Number(bse, 4, 1), 2467.1);
    EXPECT_EQ(Number(bse, 3, 1), 7);
}

// An exchange the workbook has no sheet for gets one with the titles; one whose name the
// office refuses for a sheet is left out alone, reported once by name, and the copy
// holds every other line.
TEST(FeedOffice, AnExchangeWithoutASheetGetsOneOrAloneIsLeftOut) {
    OfficeSession session;
    TempDir dir;
    const std::string tmp = dir / "tmp";
    std::filesystem::create_directory(tmp);
    const std::string book = dir / "book.fods";
    WriteWorkbook(book, {"NSE", "BSE"});
    const auto run = [&](const std::string& exchange, const std::string& copy) {
        const std::string lines = "NSE,Reliance,2885,10,2466.35\n" + exchange +
                                  ",Gold,1,1,71000\nBSE,Reliance,500325,7,2467.1\n" + exchange +
                                  ",Gold,1,1,71001\n";
        return RunFeed(dir,
                       {"--workbook", book, "--sheet-per-exchange", "--follow", "--save-as", copy},
                       lines, tmp);
    };
    const Finished added = run("MCX", dir / "added.ods");
    EXPECT_EQ(added.status, 0) << added.err;
    const Finished refused = run("MCX/F", dir / "refused.ods");  // no sheet name holds a '/'
    EXPECT_EQ(refused.status, 1) << refused.err;
    std::istringstream err(refused.err);
    int mentions = 0;
    for (std::string line; std::getline(err, line);)
        mentions += line.find("MCX/F") != std::string::npos;
    EXPECT_EQ(mentions, 1) << refused.err;

    OfficeClient& client = session.Start();
    const Reference<css::frame::XComponentLoader> loader(client.Desktop(), UNO_QUERY_THROW);
    css::beans::PropertyValue hidden;
    hidden.Name = "Hidden";
    hidden.Value <<= true;
    const auto sheets = [&](const std::string& copy) {
        return Reference<css::sheet::XSpreadsheetDocument>(
                   loader->loadComponentFromURL(
                       U(FileUrl(copy)), "_blank", 0,
                       css::uno::Sequence<css::beans::PropertyValue>(&hidden, 1)),
                   UNO_QUERY_THROW)
            ->getSheets();
    };
    const auto sheet = [](const Reference<css::sheet::XSpreadsheets>& all, const char* name) {
        return Reference<css::sheet::XSpreadsheet>(all->getByName(U(name)), UNO_QUERY_THROW);
    };
    const Reference<css::sheet::XSpreadsheets> withMcx = sheets(dir / "added.ods");
    EXPECT_EQ(Text(sheet(withMcx, "MCX"), 0, 0), "Exchange");
    EXPECT_EQ(Number(sheet(withMcx, "MCX"), 4, 1), 71001);
    EXPECT_EQ(Number(sheet(withMcx, "BSE"), 2, 1), 500325);
    const Reference<css::sheet::XSpreadsheets> without = sheets(dir / "refused.ods");
    EXPECT_EQ(without->getElementNames().getLength(), 2);  // NSE and BSE
    EXPECT_EQ(Number(sheet(without, "NSE"), 2, 1), 2885);
    EXPECT_EQ(Number(sheet(without, "BSE"), 2, 1), 500325);
}

// The office the feed's table owns is killed, or stopped for longer than a call may take,
// mid-stream.
class FeedOfficeFault : public testing::TestWithParam<int> {};

TEST_P(FeedOfficeFault, FollowOnItsOwnOfficeSurvivesAndSavesEveryLastTick) {
    OfficeSession session;  // nothing else may answer on the pipe meanwhile
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    const std::string copy = dir / "copy.csv";
    Feed feed(dir,
              {"--follow", "--interval", "20", "--sheet", "NSE", "--workbook", book, "--save-as",
               copy, "--print-office-pid"},
              nullptr);
    constexpr int kInstruments = 40;
    const auto ticks = [&](int tick) {
        std::string text;
        for (int k = 0; k < kInstruments; ++k)
            text += "NSE,I" + std::to_string(k) + " tick " + std::to_string(tick) + "," +
                    std::to_string(1000 + k) + "," + std::to_string(tick) + "\n";
        return text;
    };
    for (int tick = 1; tick <= 20; ++tick) feed.Write(ticks(tick));

    // The office the feed's table started, by the process id the feed notes.
    const std::string marker = "office pid ";
    ASSERT_TRUE(Eventually([&] { return feed.Err().find(marker) != std::string::npos; }))
        << feed.Err();
    const std::string err = feed.Err();
    const pid_t office = std::stoi(err.substr(err.find(marker) + marker.size()));
    ASSERT_GT(office, 1);
    const pid_t group = ::getpgid(office);
    session.Adopt(group);  // ended with the session, should the feed leave it stopped
    ASSERT_EQ(::kill(-group, GetParam()), 0);

    // The input is read on meanwhile; the table ends the office, starts one anew and
    // writes again.
    for (int tick = 21; tick <= 40; ++tick) feed.Write(ticks(tick));
    feed.CloseInput();
    EXPECT_EQ(feed.Wait(), 0) << feed.Err();
    EXPECT_NE(feed.Err().find("1600 lines read"), std::string::npos) << feed.Err();
    EXPECT_EQ(feed.Err().find("restarts 0,"), std::string::npos) << feed.Err();
    ASSERT_FALSE(session.Running()) << "the office hit still runs";
    EXPECT_FALSE(OfficeStillAnswers()) << "an office of the run still runs";

    const std::string saved = ReadFile(copy);
    for (int k = 0; k < kInstruments; ++k)
        EXPECT_NE(saved.find("I" + std::to_string(k) + " tick 40"), std::string::npos)
            << "instrument " << k << " in:\n"
            << saved;
    EXPECT_EQ(saved.find(" tick 39"), std::string::npos) << saved;
}

INSTANTIATE_TEST_SUITE_P(KilledOrStopped, FeedOfficeFault, testing::Values(SIGKILL, SIGSTOP),
                         [](const testing::TestParamInfo<int>& info) {
                             return info.param == SIGKILL ? "Killed" : "Stopped";
                         });

// Whether the process `pid` runs (exists and is no zombie).
bool Runs(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const auto end = line.rfind(')');
    return end != std::string::npos && end + 2 < line.size() && line[end + 2] != 'Z' &&
           line[end + 2] != 'X';
}

// The office the running feed reports (--print-office-pid).
pid_t FeedOfficePid(Feed& feed) {
    const std::string marker = "office pid ";
    if (!Eventually([&] { return feed.Err().find(marker) != std::string::npos; })) return -1;
    const std::string err = feed.Err();
    return std::stoi(err.substr(err.find(marker) + marker.size()));
}

TEST(FeedOffice, OfficeOfAKilledFollowEndsWithIt) {
    OfficeSession session;  // nothing else may answer on the pipe meanwhile
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    // The killed feed cannot remove its office's profile: it goes with the test's folder.
    const std::string tmp = dir / "tmp";
    std::filesystem::create_directory(tmp);
    Feed feed(dir,
              {"--follow", "--sheet", "NSE", "--workbook", book, "--save-as", dir / "copy.csv",
               "--print-office-pid"},
              nullptr, tmp);
    feed.Write("NSE,Reliance,2885,10,2466.35\n");
    const pid_t office = FeedOfficePid(feed);
    ASSERT_GT(office, 1) << feed.Err();
    session.Adopt(::getpgid(office));  // ended by the session should the test fail

    feed.Signal(SIGKILL);
    feed.Wait();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (Runs(office) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(Runs(office)) << "the office outlived its host by 15 s";
    EXPECT_FALSE(OfficeStillAnswers());
}

// A person's office on the same pipe, on a profile of its own, takes the pipe when the
// feed's office dies: it is never used, closed or ended by the feed, which goes on with
// an office of its own and saves its copy.
TEST(FeedOffice, APersonsOfficeThatTakesThePipeIsLeftAloneAndTheCopyIsStillSaved) {
    OfficeSession session;  // the person's office runs on the session's profile
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    const std::string copy = dir / "copy.csv";
    Feed feed(dir,
              {"--follow", "--interval", "20", "--sheet", "NSE", "--workbook", book, "--save-as",
               copy, "--print-office-pid"},
              nullptr);
    const auto ticks = [](int tick) {
        std::string text;
        for (int k = 0; k < 20; ++k)
            text += "NSE,I" + std::to_string(k) + " tick " + std::to_string(tick) + "," +
                    std::to_string(1000 + k) + "," + std::to_string(tick) + "\n";
        return text;
    };
    feed.Write(ticks(1));
    const pid_t office = FeedOfficePid(feed);
    ASSERT_GT(office, 1) << feed.Err();
    const pid_t feedsGroup = ::getpgid(office);

    // The person starts an office on the pipe; it waits for the pipe to come free.
    session.Adopt(StartInOwnGroup({OfficeExecutable(), "--headless", "--norestore",
                                   "-env:UserInstallation=" + FileUrl(session.ProfileDirectory()),
                                   "--accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager"}));
    ASSERT_TRUE(
        Eventually([&] { return std::filesystem::exists(session.ProfileDirectory() + "/.lock"); }));
    // The feed's office dies while the feed is held, so that the person's office gets
    // the pipe first, and the person types into a new, unsaved document.
    feed.Signal(SIGSTOP);
    ASSERT_EQ(::kill(-feedsGroup, SIGKILL), 0);
    OfficeClient& person = session.Client();
    css::beans::PropertyValue hidden;
    hidden.Name = "Hidden";
    hidden.Value <<= true;
    const Reference<css::sheet::XSpreadsheetDocument> draft(
        person.Desktop()->loadComponentFromURL(
            "private:factory/scalc", "_blank", 0,
            css::uno::Sequence<css::beans::PropertyValue>(&hidden, 1)),
        UNO_QUERY_THROW);
    const Reference<css::container::XIndexAccess> sheets(draft->getSheets(), UNO_QUERY_THROW);
    const Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(0), UNO_QUERY_THROW);
    Reference<css::text::XText>(Cell(sheet, 0, 0), UNO_QUERY_THROW)->setString("my own work");
    feed.Signal(SIGCONT);

    for (int tick = 2; tick <= 20; ++tick) feed.Write(ticks(tick));
    feed.CloseInput();
    EXPECT_EQ(feed.Wait(), 0) << feed.Err();
    const std::string saved = ReadFile(copy);
    for (int k = 0; k < 20; ++k)
        EXPECT_NE(saved.find("I" + std::to_string(k) + " tick 20"), std::string::npos) << saved;

    // The person's office still runs with the document as it was, and nothing else.
    ASSERT_TRUE(session.Running());
    EXPECT_EQ(Text(sheet, 0, 0), "my own work");
    EXPECT_EQ(person.Documents().size(), 1u);
    EXPECT_FALSE(person.Document(FileUrl(book)).is());
}

TEST(FeedOffice, StartsAnOfficeWhosePathHoldsAQuote) {
    OfficeSession session;  // nothing else may answer on the pipe meanwhile
    TempDir dir;
    const std::string folder = dir / "my \"office\"";
    std::filesystem::create_directory(folder);
    const std::string office = folder + "/soffice";
    std::filesystem::create_symlink(CORVANE_OFFICE_PROGRAM_DIR "/soffice", office);
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    const std::string copy = dir / "copy.ods";
    const Finished run = RunFeed(
        dir, {"--workbook", book, "--sheet", "NSE", "--office", office, "--save-as", copy, "-q"},
        "NSE,Reliance,2885\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(copy)) << run.err;
}

TEST(FeedOffice, KeepsTheOfficeItStartedWhenToldWithoutHoldingTheFeedsInput) {
    OfficeSession session;
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    Feed feed(dir,
              {"--follow", "--sheet", "NSE", "--workbook", book, "--keep-office", "--command-line",
               session.HeadlessCommandLine()},
              nullptr);
    feed.Write("NSE,Reliance,2885\n");
    ASSERT_TRUE(EventuallyHolds(session, book, 1, 1, "Reliance")) << feed.Err();
    feed.Signal(SIGTERM);
    EXPECT_EQ(feed.Wait(), 0) << feed.Err();

    EXPECT_EQ(Text(session.Client().Sheet(FileUrl(book), "NSE"), 2, 1), "2885");
    // Nobody reads the feed's input any more: a producer learns it at once instead of
    // filling a pipe that the office holds open.
    const auto previous = ::signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(feed.TryWrite("NSE,late,1\n"), -1);
    EXPECT_EQ(errno, EPIPE);
    ::signal(SIGPIPE, previous);
}

// The run starts the office itself (--keep-office) and hands it to its live table: the
// table alone is connected, so cutting off the office when it is stuck releases the
// table's call at the deadline, and the table connects again once the office answers.
TEST(FeedOffice, FollowGivesUpOnAStuckOfficeItKeepsAndReconnectsWhenItAnswers) {
    OfficeSession session;
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    Feed feed(
        dir,
        {"--follow", "--interval", "20", "--sheet", "NSE", "--workbook", book, "--keep-office",
         "--command-line", session.HeadlessCommandLine(), "--print-office-pid"},
        nullptr);
    feed.Write("NSE,tick 1,2885\n");
    const std::string marker = "office pid ";
    ASSERT_TRUE(Eventually([&] { return feed.Err().find(marker) != std::string::npos; }))
        << feed.Err();
    const std::string err = feed.Err();
    session.Adopt(std::stoi(err.substr(err.find(marker) + marker.size())));

    session.Signal(SIGSTOP);
    // Ticks keep coming; the feed notes the table's state as they do.
    int tick = 2;
    const auto ticksUntil = [&](const std::string& note) {
        return Eventually([&] {
            feed.Write("NSE,tick " + std::to_string(tick++) + ",2885\n");
            return feed.Err().find(note) != std::string::npos;
        });
    };
    const bool gaveUp = ticksUntil("live table recovering: ");
    session.Signal(SIGCONT);
    EXPECT_TRUE(gaveUp) << feed.Err();
    EXPECT_TRUE(ticksUntil("live table writing again")) << feed.Err();
    feed.Write("NSE,last tick,2885\n");
    feed.CloseInput();
    EXPECT_EQ(feed.Wait(), 0) << feed.Err();
    EXPECT_EQ(feed.Err().find("reconnects 0"), std::string::npos) << feed.Err();
    EXPECT_TRUE(EventuallyHolds(session, book, 1, 1, "last tick")) << feed.Err();
}

// Without --follow the run's own calls have a deadline too: a stopped office on the pipe
// ends the run with the exit status of its own, and no copy is claimed.
TEST(FeedOffice, GivesUpOnAStoppedOfficeAtTheDeadlineWithItsOwnStatus) {
    OfficeSession session;
    session.Start();
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    const std::string input = "NSE,x,1\n";
    session.Signal(SIGSTOP);
    Feed feed(dir,
              {"--workbook", book, "--sheet", "NSE", "--call-timeout", "1000", "--save-as",
               dir / "never.ods"},
              &input);
    const int status = feed.WaitAtMost(std::chrono::seconds(60));
    session.Signal(SIGCONT);
    EXPECT_EQ(status, 4) << feed.Err();
    EXPECT_NE(feed.Err().find("did not answer within 1000 ms (--call-timeout)"), std::string::npos)
        << feed.Err();
    EXPECT_FALSE(std::filesystem::exists(dir / "never.ods"));
}

// A command line that cannot run and an input that cannot be read end the run with the
// usage status and say why, before any office is looked for.
TEST(FeedOffice, AWrongCommandLineOrAnUnreadableInputIsAUsageError) {
    TempDir dir;
    const std::string book = dir / "watch.fods";
    const std::string missing = dir / "missing.csv";
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--workbook", book}, "give either --sheet NAME or --sheet-per-exchange (see --help)"},
        {{"--workbook", book, "--sheet", "NSE", missing},
         "cannot read " + missing + ": No such file or directory"},
        {{"--workbook", book, "--sheet", "NSE", dir.Path()},
         "cannot read " + dir.Path() + ": it is a directory"},
    };
    for (const auto& [args, message] : cases) {
        const Finished run = RunFeed(dir, args, "");
        EXPECT_EQ(run.status, 2) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
}

TEST(FeedOffice, GivesUpOnAnOfficeThatNeverAcceptsWithAClearMessage) {
    OfficeSession session;  // nothing else may answer on the pipe meanwhile
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    const Finished run =
        RunFeed(dir,
                {"--workbook", book, "--sheet", "NSE", "--office", "/bin/true", "--command-line",
                 "\"/bin/true\"", "--wait", "1", "--save-as", dir / "never.ods"},
                "NSE,x,1\n");
    EXPECT_EQ(run.status, 3);
    EXPECT_NE(run.err.find("did not accept connections on the pipe \"ooo_pipe\" within 1 s"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "never.ods"));
}

// The person's office goes away just as the input ends, with ticks still to write: the
// run says so at once, waits at most --wait for it, and a Ctrl-C during that wait ends
// the run. The bounds below are generous: they tell a wait of --wait from one of
// minutes, which is what a run used to take.
TEST(FeedOffice, AttachedOfficeGoneAtTheEndIsToldAtOnceAndWaitedForAtMostWait) {
    for (const bool ctrlC : {false, true}) {
        SCOPED_TRACE(ctrlC ? "Ctrl-C during the wait" : "the wait runs out");
        OfficeSession session;
        session.Start();
        TempDir dir;
        const std::string book = dir / "watch.fods";
        WriteWorkbook(book, {"NSE"});
        Feed feed(dir,
                  {"--follow", "--sheet", "NSE", "--workbook", book, "--wait", ctrlC ? "600" : "3"},
                  nullptr);
        feed.Write("NSE,Reliance,2885,,100\n");
        ASSERT_TRUE(EventuallyHolds(session, book, 1, 1, "Reliance")) << feed.Err();

        session.Kill();
        feed.Write("NSE,Reliance tick 2,2885,,101\n");
        feed.CloseInput();
        ASSERT_TRUE(Eventually([&] {
            return feed.Err().find("the office went away") != std::string::npos;
        })) << feed.Err();
        EXPECT_NE(feed.Err().find("--wait"), std::string::npos) << feed.Err();
        if (ctrlC) feed.Signal(SIGINT);
        const int status = feed.WaitAtMost(std::chrono::seconds(ctrlC ? 5 : 15));
        EXPECT_NE(status, -2) << "still waiting for the office: " << feed.Err();
        EXPECT_NE(status, 0) << feed.Err();
        EXPECT_NE(feed.Err().find("not every row reached the sheet"), std::string::npos)
            << feed.Err();
    }
}

}  // namespace
}  // namespace corvane::test
