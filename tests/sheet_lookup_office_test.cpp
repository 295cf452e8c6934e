// Which names the row operations find in a real office, and what they do once it is gone.
#include <gtest/gtest.h>
#include <corvane/corvane.hpp>

#include "support/library_init.hpp"
#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

// Every row operation on `name`, with its result.
std::vector<short> AllOperations(const char* name) {
    MarketWatchRecord record{};
    record.fields[0] = "NSE";
    return {CorvaneSetHeaderString(name, 0), CorvaneInsertUpdate(name, 0, &record),
            CorvaneInsertUpdate(name, 0, nullptr), CorvaneResetRecord(name, 0)};
}
const std::vector<short> kRefused = {-1, -1, -1, -1};

// First in this program: its link state has never been connected.
TEST(SheetLookup, BeforeAnyInitEveryRowOperationIsRefused) {
    EXPECT_EQ(AllOperations("NSE"), kRefused);
    EXPECT_EQ(AllOperations(""), kRefused);
}

TEST(SheetLookup, OnlyNamedSheetsOfALiveOfficeAreFound) {
    OfficeSession session;
    session.Start();
    TempDir dir;
    const std::string book = dir / "lookup.fods";
    WriteWorkbook(book, {"NSE", "BSE Cash"});
    ASSERT_EQ(InitUntilConnected({OfficeExecutable().c_str(), session.HeadlessCommandLine().c_str(),
                                  book.c_str()}),
              2);

    EXPECT_EQ(AllOperations(""), kRefused);
    EXPECT_EQ(AllOperations("Options"), kRefused);
    EXPECT_EQ(AllOperations("BSE"), kRefused);
    EXPECT_EQ(AllOperations("BSE Cash"), (std::vector<short>{1, 1, 1, 1}));

    session.Kill();
    EXPECT_NO_THROW(EXPECT_EQ(AllOperations("NSE"), kRefused));
    EXPECT_NO_THROW(EXPECT_EQ(AllOperations("BSE Cash"), kRefused));
    EXPECT_EQ(CorvaneIsRunning(), 0);
}

}  // namespace
}  // namespace corvane::test
