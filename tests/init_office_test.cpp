// CorvaneInitFunc and CorvaneIsRunning against a real office that the library starts.
#include <gtest/gtest.h>
#include <corvane/corvane.hpp>

#include <chrono>
#include <thread>

#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

// Calls CorvaneInitFunc until it connects to the office it started, or gives up.
short InitUntilConnected(const std::vector<CString>& config) {
    short result = -1;
    for (int attempt = 0; attempt < 120 && result < 0; ++attempt) {
        result = CorvaneInitFunc(config);
        if (result < 0) std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
    return result;
}

TEST(InitOffice, StartsTheOfficeThenConnectsAndReportsTheSheetCount) {
    OfficeSession session;
    TempDir dir;
    const std::string book = dir / "market watch.fods";
    WriteWorkbook(book, {"NSE", "BSE Cash", "Options"});
    const std::vector<CString> config = {OfficeExecutable().c_str(),
                                         session.HeadlessCommandLine().c_str(), book.c_str()};

    EXPECT_EQ(CorvaneIsRunning(), 0);
    EXPECT_EQ(InitUntilConnected(config), 3);
    EXPECT_EQ(CorvaneIsRunning(), 1);
    EXPECT_TRUE(session.Client().Document(FileUrl(book)).is());
}

}  // namespace
}  // namespace corvane::test
