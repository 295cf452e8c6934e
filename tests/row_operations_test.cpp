// The three row operations in-process, against fake sheets: the exact office calls,
// what reaches the cells, what is released, and what happens when the office fails.
#include <gtest/gtest.h>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <corvane/corvane.hpp>

#include <unistd.h>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "fakes/fake_workbook.hpp"
#include "host/session_instance.hpp"
#include "sheet/column_layout.hpp"
#include "sheet/title_row.hpp"
#include "support/office_client.hpp"
#include "support/records.hpp"

namespace corvane::test {
namespace {

using css::uno::Any;
using sheet_fakes::FakeSheet;
using sheet_fakes::FakeSheetCollection;
using sheet_fakes::Workbook;
using Calls = std::vector<std::string>;

class RowOperations : public ::testing::Test {
  protected:
    void SetUp() override {
        collection->sheets["NSE"] = sheet;
        collection->sheets["BSE Cash"] = new FakeSheet(book);
        host::TheSession().AdoptWorkbook({}, collection.get(), "");
    }
    void TearDown() override { host::TheSession().ForgetOffice(); }

    const Any& Written(int column) const { return book->written[0][column]; }

    std::shared_ptr<Workbook> book = std::make_shared<Workbook>();
    rtl::Reference<FakeSheetCollection> collection = new FakeSheetCollection(book);
    rtl::Reference<FakeSheet> sheet = new FakeSheet(book);
};

TEST_F(RowOperations, RefuseWithoutAnOfficeCallBeforeInitAndForAnEmptyName) {
    host::TheSession().ForgetOffice();
    MarketWatchRecord record = RecordOf({"NSE"});
    EXPECT_EQ(CorvaneSetHeaderString("NSE", 0), -1);
    EXPECT_EQ(CorvaneInsertUpdate("NSE", 0, &record), -1);
    EXPECT_EQ(CorvaneResetRecord("NSE", 0), -1);
    host::TheSession().AdoptWorkbook({}, collection.get(), "");
    EXPECT_EQ(CorvaneSetHeaderString("", 0), -1);
    EXPECT_EQ(CorvaneInsertUpdate(CString(), 0, &record), -1);
    EXPECT_EQ(CorvaneResetRecord("", 0), -1);
    EXPECT_EQ(book->calls, Calls());
}

TEST_F(RowOperations, AnUnknownSheetIsAskedForUnchangedAndGivesMinusOne) {
    EXPECT_EQ(CorvaneResetRecord(" NSE", 0), -1);
    EXPECT_EQ(CorvaneResetRecord("nse", 0), -1);
    EXPECT_EQ(CorvaneResetRecord("Soci\xc3\xa9t\xc3\xa9", 0), -1);
    EXPECT_EQ(CorvaneResetRecord("Soci\xe9t\xe9", 0), -1);
    EXPECT_EQ(book->calls,
              (Calls{"getByName  NSE", "getByName nse", "getByName Soci\xc3\xa9t\xc3\xa9",
                     "getByName Soci\xc3\xa9t\xc3\xa9"}));
    EXPECT_EQ(book->writes, 0);
}

TEST_F(RowOperations, RecordAndResetCostTheLookupAndFourCalls) {
    MarketWatchRecord record = RecordOf({"NSE"});
    EXPECT_EQ(CorvaneInsertUpdate("BSE Cash", 9, &record), 1);
    EXPECT_EQ(CorvaneResetRecord("NSE", 0), 1);
    EXPECT_EQ(
        book->calls,
        (Calls{"getByName BSE Cash", "queryInterface XSpreadsheet", "getCellRangeByName A10:AP10",
               "queryInterface XCellRangeData", "getDataArray", "setDataArray", "getByName NSE",
               "queryInterface XSpreadsheet", "getCellRangeByName A1:AP1",
               "queryInterface XCellRangeData", "getDataArray", "setDataArray"}));
    EXPECT_EQ(book->writtenRange, "A1:AP1");
    for (int k = 0; k < kColumnCount; ++k) EXPECT_EQ(Written(k), Any(rtl::OUString())) << k;
}

TEST_F(RowOperations, ANullRecordWritesNothingAndSucceeds) {
    EXPECT_EQ(CorvaneInsertUpdate("NSE", 3, nullptr), 1);
    EXPECT_EQ(book->calls, (Calls{"getByName NSE", "queryInterface XSpreadsheet"}));
    EXPECT_EQ(book->writes, 0);
}

TEST_F(RowOperations, TheTitleRowWritesEveryCellWithFiveCallsInOrder) {
    EXPECT_EQ(CorvaneSetHeaderString("NSE", 4), 1);
    Calls expected = {"getByName NSE", "queryInterface XSpreadsheet"};
    for (const sheet::Column& column : sheet::ColumnLayout) {
        expected.push_back("getCellByPosition " + std::to_string(column.index) + ",4");
        expected.push_back(std::string("setFormula ") + column.title);
        expected.push_back("queryInterface XPropertySet");
        expected.push_back("setPropertyValue CellBackColor 13434879");
        expected.push_back("setPropertyValue CharColor 5072639");
    }
    EXPECT_EQ(book->calls, expected);
    EXPECT_EQ(book->cells.size(), 42u);
    EXPECT_EQ(book->liveCells, 0);
}

TEST_F(RowOperations, ATitleCellSetsOnlyTheColoursItIsGiven) {
    const sheet::SheetHandle handle(sheet.get());
    const auto cellCalls = [&](sal_Int32 back, sal_Int32 chars) {
        book->calls.clear();
        sheet::WriteTitleCell(handle, 2, 7, "Best\nBuy", back, chars);
        return book->calls;
    };
    const Calls text = {"getCellByPosition 2,7", "setFormula Best\nBuy"};
    EXPECT_EQ(cellCalls(-1, -1), text);
    Calls both = text;
    both.insert(both.end(), {"queryInterface XPropertySet", "setPropertyValue CellBackColor 1",
                             "setPropertyValue CharColor 2"});
    EXPECT_EQ(cellCalls(1, 2), both);
    Calls charOnly = text;
    charOnly.insert(charOnly.end(),
                    {"queryInterface XPropertySet", "setPropertyValue CharColor 2"});
    EXPECT_EQ(cellCalls(-1, 2), charOnly);
    Calls backOnly = text;
    backOnly.insert(backOnly.end(),
                    {"queryInterface XPropertySet", "setPropertyValue CellBackColor 1"});
    EXPECT_EQ(cellCalls(1, -1), backOnly);

    // A cell without properties keeps its text and colours, and nothing is raised.
    book->cellsOfferProperties = false;
    Calls bare = text;
    bare.push_back("queryInterface XPropertySet");
    EXPECT_EQ(cellCalls(1, 2), bare);
    EXPECT_EQ(CorvaneSetHeaderString("NSE", 0), 1);
}

TEST_F(RowOperations, ReferencesAreReleasedAfterEveryOperationAndEveryFailure) {
    MarketWatchRecord record = RecordOf({"NSE", "Nifty", "1"});
    const std::vector<std::pair<const char*, std::function<short()>>> operations = {
        {"header", [] { return CorvaneSetHeaderString("NSE", 1); }},
        {"record", [&] { return CorvaneInsertUpdate("NSE", 1, &record); }},
        {"reset", [] { return CorvaneResetRecord("NSE", 1); }},
    };
    const oslInterlockedCount sheetCount = sheet->RefCount();
    const oslInterlockedCount collectionCount = collection->RefCount();
    const auto released = [&](const std::string& where) {
        EXPECT_EQ(sheet->RefCount(), sheetCount) << where;
        EXPECT_EQ(collection->RefCount(), collectionCount) << where;
        EXPECT_EQ(book->liveRanges, 0) << where;
        EXPECT_EQ(book->liveCells, 0) << where;
    };
    book->recording = false;
    for (const auto& [name, operation] : operations) {
        book->callCount = 0;
        EXPECT_EQ(operation(), 1) << name;
        released(name);
        const long calls = book->callCount;
        for (long failing = 0; failing < calls; ++failing) {
            const std::string where = std::string(name) + ", call " + std::to_string(failing);
            book->callCount = 0;
            book->throwAt = failing;
            const long writes = book->writes;
            if (failing == 0) {
                // The lookup itself turns an office error into "no such sheet".
                EXPECT_EQ(operation(), -1) << where;
            } else {
                EXPECT_THROW(operation(), css::uno::RuntimeException) << where;
            }
            EXPECT_EQ(book->writes, writes) << where;
            released(where);
        }
        book->throwAt = -1;
    }
}

TEST_F(RowOperations, FieldsBecomeTextsOrNumbersByTheirColumn) {
    // Every column gets "42.5": text where the column keeps text, else a number.
    std::vector<const char*> same(kColumnCount, "42.5");
    MarketWatchRecord record = RecordOf(same);
    ASSERT_EQ(CorvaneInsertUpdate("NSE", 0, &record), 1);
    std::string texts, integers;
    for (const sheet::Column& column : sheet::ColumnLayout) {
        const Any& value = Written(column.index);
        if (value == Any(rtl::OUString("42.5")))
            texts += std::string(column.letters) + " ";
        else if (value == Any(sal_Int32(42)))
            integers += std::string(column.letters) + " ";
        else
            EXPECT_EQ(value, Any(42.5)) << column.letters;
    }
    EXPECT_EQ(texts, "A B H J ");
    EXPECT_EQ(integers, "C D F K S T V X ");

    // C, D, F, K, S, T, V, X are Integer columns; E, G, I, L, M, N are Real ones.
    record = RecordOf({"500", "Soci\xc3\xa9t\xc3\xa9 G\xc3\xa9n\xc3\xa9rale", "12.75", "1,250", "",
                       "  -3", " ", "Soci\xe9t\xe9", "N/A", "", "4294967296", "1e3", " ", "2450.5",
                       "-.5e-1", "+7", "-0x10"});
    record.fields[18] = "-2147483648";
    record.fields[19] = "2147483648";
    record.fields[21] = "99999999999999999999";
    ASSERT_EQ(CorvaneInsertUpdate("NSE", 0, &record), 1);
    EXPECT_EQ(Written(0), Any(rtl::OUString("500")));
    EXPECT_EQ(Written(1), Any(U("Soci\xc3\xa9t\xc3\xa9 G\xc3\xa9n\xc3\xa9rale")));
    EXPECT_EQ(Written(2), Any(sal_Int32(12)));
    EXPECT_EQ(Written(3), Any(sal_Int32(1)));
    EXPECT_EQ(Written(4), Any(rtl::OUString()));  // an empty number empties its cell
    EXPECT_EQ(Written(5), Any(sal_Int32(-3)));
    EXPECT_EQ(Written(6), Any(0.0));                         // one blank is no empty field
    EXPECT_EQ(Written(7), Any(U("Soci\xc3\xa9t\xc3\xa9")));  // not UTF-8: one byte, one letter
    EXPECT_EQ(Written(8), Any(0.0));
    EXPECT_EQ(Written(9), Any(rtl::OUString()));
    EXPECT_EQ(Written(10), Any(4294967296.0));
    EXPECT_EQ(Written(11), Any(1000.0));
    EXPECT_EQ(Written(12), Any(0.0));
    EXPECT_EQ(Written(13), Any(2450.5));
    EXPECT_EQ(Written(14), Any(-0.05));
    EXPECT_EQ(Written(15), Any(7.0));
    EXPECT_EQ(Written(16), Any(-0.0));
    EXPECT_EQ(Written(18), Any(sal_Int32(-2147483647 - 1)));
    EXPECT_EQ(Written(19), Any(2147483648.0));
    EXPECT_EQ(Written(21), Any(1e20));
    EXPECT_EQ(Written(41), Any(rtl::OUString()));
}

TEST_F(RowOperations, AnArrayOfAnotherShapeIsRefusedBeforeAnythingIsWritten) {
    MarketWatchRecord record = RecordOf({"NSE"});
    const std::vector<std::pair<sal_Int32, sal_Int32>> shapes = {
        {0, 42}, {1, 41}, {1, 43}, {2, 42}, {1, 0}};
    for (const auto& [rows, columns] : shapes) {
        book->arrayRows = rows;
        book->arrayColumns = columns;
        EXPECT_THROW(CorvaneInsertUpdate("NSE", 0, &record), css::uno::RuntimeException);
        EXPECT_THROW(CorvaneResetRecord("NSE", 0), css::uno::RuntimeException);
    }
    book->arrayRows = 1;
    book->arrayColumns = 42;
    book->rangesOfferData = false;
    EXPECT_THROW(CorvaneInsertUpdate("NSE", 0, &record), css::uno::RuntimeException);
    EXPECT_THROW(CorvaneResetRecord("NSE", 0), css::uno::RuntimeException);
    EXPECT_EQ(book->writes, 0);
    EXPECT_EQ(book->liveRanges, 0);
}

TEST_F(RowOperations, TheSheetsRowLimitsComeBackAsExceptions) {
    // The fake rejects cells outside the sheet as the office does.
    EXPECT_THROW(CorvaneSetHeaderString("NSE", -1), css::uno::Exception);
    EXPECT_THROW(CorvaneSetHeaderString("NSE", 1048576), css::uno::Exception);
    EXPECT_TRUE(book->cells.empty());
}

long ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
}

TEST_F(RowOperations, AMillionOperationsLeaveNoMemoryBehind) {
    MarketWatchRecord record = RecordOf({"NSE", "Reliance Industries", "500325", "1200", "2450.5",
                                         "800", "2451.0", "", "0", "", "25"});
    const oslInterlockedCount sheetCount = sheet->RefCount();
    book->recording = false;
    long operations = 0;
    const auto run = [&](long until) {
        for (; operations < until; ++operations) {
            const int row = static_cast<int>(operations % 1000);
            short result = 0;
            if (operations % 512 == 0)
                result = CorvaneSetHeaderString("NSE", row);
            else if (operations % 2 == 0)
                result = CorvaneInsertUpdate("BSE Cash", row, &record);
            else
                result = CorvaneResetRecord("NSE", row);
            if (result != 1) FAIL() << "operation " << operations << " gave " << result;
        }
    };
    run(10000);
    const long early = ResidentBytes();
    run(1000000);
    const long late = ResidentBytes();
#if defined(__SANITIZE_ADDRESS__)
    // The sanitizer holds freed memory back on purpose; it reports leaks itself.
    static_cast<void>(late - early);
#else
    EXPECT_LT(late - early, 8L << 20) << "resident memory grew from " << early << " to " << late;
#endif
    EXPECT_EQ(sheet->RefCount(), sheetCount);
    EXPECT_EQ(book->liveRanges, 0);
    EXPECT_EQ(book->liveCells, 0);
}

}  // namespace
}  // namespace corvane::test
