// CorvaneInitFunc and CorvaneIsRunning through the life of a real headless office that
// the library starts itself: the first, failing call; connecting; reuse of a live
// office; workbook names that need escaping; and a restart after the office died.
//
// The link state lives as long as this process, so the steps run in one test, in order.
#include <corvane/corvane.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <corvane/corvane.hpp>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

// CorvaneInitFunc with stdout captured into `printed`.
short Init(std::vector<CString> config, std::string* printed = nullptr) {
    ::testing::internal::CaptureStdout();
    const short result = CorvaneInitFunc(std::move(config));
    const std::string out = ::testing::internal::GetCapturedStdout();
    if (printed != nullptr) *printed = out;
    return result;
}

short InitUntilConnected(const std::vector<CString>& config) {
    short result = -1;
    for (int attempt = 0; attempt < 120 && result < 0; ++attempt) {
        result = Init(config);
        if (result < 0) std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    return result;
}

int LineCount(const std::string& path) {
    std::ifstream in(path);
    int lines = 0;
    for (std::string line; std::getline(in, line);) ++lines;
    return lines;
}

TEST(ConnectOffice, ThroughTheLifeOfAnOfficeTheLibraryStarted) {
    OfficeSession session;
    TempDir dir;
    // The office program, behind a script that counts its starts and keeps the
    // office's own output out of the captured standard output.
    const std::string office = dir / "office";
    const std::string launches = dir / "launches";
    std::ofstream(office) << "#!/bin/sh\necho started >> '" << launches << "'\nexec '"
                          << OfficeExecutable() << "' \"$@\" >> '" << dir / "office.log"
                          << "' 2>&1\n";
    ::chmod(office.c_str(), 0755);
    const std::string command = session.HeadlessCommandLine();
    const std::string book = dir / "watch.fods";
    const std::string otherBook = dir / "other.fods";
    const std::string oddBook = dir / "market watch #2 100%.fods";
    WriteWorkbook(book, {"NSE", "BSE", "MCX"});
    WriteWorkbook(otherBook, {"A", "B", "C", "D", "E"});
    WriteWorkbook(oddBook, {"One"});
    const std::vector<CString> config = {office.c_str(), command.c_str(), book.c_str()};

    // Before any initialisation.
    EXPECT_EQ(CorvaneIsRunning(), 0);
    EXPECT_EQ(Init({}), -1);
    EXPECT_EQ(Init({office.c_str()}), -1);
    EXPECT_EQ(Init({office.c_str(), command.c_str()}), -1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(LineCount(launches), 0);
    EXPECT_EQ(corvane_office_pid(), 0);

    // Right after the launch nothing accepts on the pipe yet.
    std::string printed;
    EXPECT_EQ(Init(config, &printed), -1);
    EXPECT_EQ(printed.rfind("Error: ", 0), 0u) << printed;
    EXPECT_EQ(printed.find('\n'), printed.size() - 1) << printed;
    for (int look = 0; look < 100 && LineCount(launches) == 0; ++look)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(LineCount(launches), 1);
    EXPECT_EQ(CorvaneIsRunning(), 0);

    ASSERT_EQ(InitUntilConnected(config), 3);
    const pid_t started = corvane_office_pid();
    ASSERT_GT(started, 0);
    session.Adopt(started);
    EXPECT_EQ(CorvaneIsRunning(), 1);
    EXPECT_TRUE(session.Client().Document(FileUrl(book)).is());

    // A live office is reused, and the count stays that of the first workbook.
    const int launched = LineCount(launches);
    EXPECT_EQ(Init({office.c_str(), command.c_str(), otherBook.c_str()}, &printed), 3);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(LineCount(launches), launched);
    EXPECT_EQ(corvane_office_pid(), started);
    EXPECT_TRUE(session.Client().Document(FileUrl(otherBook)).is());

    // Only the first three strings count; the name needs escaping in its URL.
    EXPECT_EQ(Init({office.c_str(), command.c_str(), oddBook.c_str(), "ignored"}), 3);
    EXPECT_TRUE(session.Client().Document(FileUrl(oddBook)).is());
    EXPECT_EQ(CorvaneIsRunning(), 1);

    // The office dies: the probe says so, and the next initialisation starts another.
    session.Kill();
    EXPECT_EQ(CorvaneIsRunning(), 0);
    EXPECT_EQ(CorvaneIsRunning(), 0);
    EXPECT_EQ(InitUntilConnected(config), 3);
    EXPECT_GT(LineCount(launches), launched);
    EXPECT_GT(corvane_office_pid(), 0);
    EXPECT_NE(corvane_office_pid(), started);
    session.Adopt(corvane_office_pid());
    EXPECT_EQ(CorvaneIsRunning(), 1);
    EXPECT_TRUE(session.Client().Document(FileUrl(book)).is());
}

}  // namespace
}  // namespace corvane::test
