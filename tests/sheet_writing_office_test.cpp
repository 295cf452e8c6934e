// What the three row operations leave in the cells of a real office, read back through
// the test's own connection.
#include <gtest/gtest.h>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <corvane/corvane.hpp>

#include <clocale>
#include <memory>

#include "sheet/column_layout.hpp"
#include "support/library_init.hpp"
#include "support/office_session.hpp"
#include "support/records.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

using css::table::CellContentType;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

constexpr int kLastRow = 1048575;  // the sheet's last row, zero-based
constexpr sal_Int32 kColumnAQ = 42;

// One office and one workbook for every test of this program.
class SheetWriting : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        session_ = new OfficeSession;
        session_->Start();
        dir_ = new TempDir;
        book_ = *dir_ / "market watch.fods";
        WriteWorkbook(book_, {"NSE", "BSE Cash", "Options", "Limits"});
        sheetCount_ = InitUntilConnected(
            {OfficeExecutable().c_str(), session_->HeadlessCommandLine().c_str(), book_.c_str()});
    }
    static void TearDownTestSuite() {
        delete session_;
        delete dir_;
    }
    void SetUp() override { ASSERT_EQ(sheetCount_, 4) << "the library never connected"; }

    static Reference<css::sheet::XSpreadsheet> Sheet(const std::string& name) {
        return session_->Client().Sheet(FileUrl(book_), name);
    }
    static Reference<css::table::XCell> Cell(const std::string& sheet, sal_Int32 column,
                                             sal_Int32 row) {
        return Sheet(sheet)->getCellByPosition(column, row);
    }
    static std::string Text(const Reference<css::table::XCell>& cell) {
        return S(Reference<css::text::XText>(cell, UNO_QUERY_THROW)->getString());
    }
    static sal_Int32 Color(const Reference<css::table::XCell>& cell, const char* property) {
        sal_Int32 color = 0;
        Reference<css::beans::XPropertySet>(cell, UNO_QUERY_THROW)
            ->getPropertyValue(rtl::OUString::createFromAscii(property)) >>= color;
        return color;
    }
    // Values of columns A to AR of zero-based `row`.
    static css::uno::Sequence<css::uno::Any> Row(const std::string& sheet, int row) {
        const std::string number = std::to_string(row + 1);
        const Reference<css::sheet::XCellRangeData> range(
            Sheet(sheet)->getCellRangeByName(U("A" + number + ":AR" + number)), UNO_QUERY_THROW);
        return range->getDataArray()[0];
    }
    // Puts a marker into AQ and AR of `row`, which no row operation may touch.
    static void MarkBeyondAP(const std::string& sheet, int row) {
        Cell(sheet, kColumnAQ, row)->setFormula("beyond");
        Cell(sheet, kColumnAQ + 1, row)->setValue(99);
    }
    static void ExpectMarkBeyondAP(const std::string& sheet, int row) {
        EXPECT_EQ(Text(Cell(sheet, kColumnAQ, row)), "beyond");
        EXPECT_EQ(Cell(sheet, kColumnAQ + 1, row)->getValue(), 99);
        EXPECT_EQ(Color(Cell(sheet, kColumnAQ, row), "CellBackColor"), -1);
    }
    static void ExpectTitles(const std::string& sheet, int row) {
        for (const sheet::Column& column : sheet::ColumnLayout) {
            const Reference<css::table::XCell> cell = Cell(sheet, column.index, row);
            EXPECT_EQ(cell->getType(), CellContentType::CellContentType_TEXT) << column.letters;
            EXPECT_EQ(Text(cell), column.title) << column.letters;
            EXPECT_EQ(Color(cell, "CellBackColor"), 0xCCFFFF) << column.letters;
            EXPECT_EQ(Color(cell, "CharColor"), 0x4D66FF) << column.letters;
        }
    }

    static OfficeSession* session_;
    static TempDir* dir_;
    static std::string book_;
    static short sheetCount_;
};
OfficeSession* SheetWriting::session_ = nullptr;
TempDir* SheetWriting::dir_ = nullptr;
std::string SheetWriting::book_;
short SheetWriting::sheetCount_ = -1;

TEST_F(SheetWriting, TheTitleRowReplacesARecordWithColouredTitles) {
    MarketWatchRecord record = Filled("7");
    ASSERT_EQ(CorvaneInsertUpdate("BSE Cash", 4, &record), 1);
    MarkBeyondAP("BSE Cash", 4);

    EXPECT_EQ(CorvaneSetHeaderString("BSE Cash", 0), 1);
    EXPECT_EQ(CorvaneSetHeaderString("BSE Cash", 4), 1);
    ExpectTitles("BSE Cash", 0);
    ExpectTitles("BSE Cash", 4);
    ExpectMarkBeyondAP("BSE Cash", 4);
    EXPECT_EQ(Cell("BSE Cash", 0, 1)->getType(), CellContentType::CellContentType_EMPTY);
    EXPECT_EQ(Cell("BSE Cash", kColumnAQ, 0)->getType(), CellContentType::CellContentType_EMPTY);
}

TEST_F(SheetWriting, RecordFieldsArriveAsNumbersOrTextsByColumn) {
    // Every column kind: text stays text, numbers become values.
    MarketWatchRecord sevens = Filled("7");
    ASSERT_EQ(CorvaneInsertUpdate("NSE", 2, &sevens), 1);
    for (const sheet::Column& column : sheet::ColumnLayout) {
        const Reference<css::table::XCell> cell = Cell("NSE", column.index, 2);
        if (column.kind == sheet::ValueKind::Text) {
            EXPECT_EQ(cell->getType(), CellContentType::CellContentType_TEXT) << column.letters;
            EXPECT_EQ(Text(cell), "7") << column.letters;
        } else {
            EXPECT_EQ(cell->getType(), CellContentType::CellContentType_VALUE) << column.letters;
            EXPECT_EQ(cell->getValue(), 7) << column.letters;
        }
    }

    // The edge cases, over a row that held numbers everywhere.
    MarketWatchRecord record{};
    record.fields[0] = "500";                                           // A, Text
    record.fields[1] = "Soci\xc3\xa9t\xc3\xa9 G\xc3\xa9n\xc3\xa9rale";  // B, Text
    record.fields[2] = "12.75";                                         // C, Integer
    record.fields[3] = "1,250";                                         // D, Integer
    record.fields[4] = "";                                              // E, Real
    record.fields[5] = " -3";                                           // F, Integer
    record.fields[6] = " ";                                             // G, Real
    record.fields[8] = "N/A";                                           // I, Real
    record.fields[10] = " ";                                            // K, Integer
    record.fields[11] = "1e3";                                          // L, Real
    record.fields[12] = "4294967296";                                   // M, Real
    record.fields[18] = "4294967296";                                   // S, Integer
    ASSERT_EQ(CorvaneInsertUpdate("NSE", 2, &record), 1);
    const auto cell = [](sal_Int32 column) { return Cell("NSE", column, 2); };
    EXPECT_EQ(cell(0)->getType(), CellContentType::CellContentType_TEXT);
    EXPECT_EQ(Text(cell(0)), "500");
    EXPECT_EQ(Text(cell(1)), "Soci\xc3\xa9t\xc3\xa9 G\xc3\xa9n\xc3\xa9rale");
    EXPECT_EQ(cell(2)->getValue(), 12);
    EXPECT_EQ(cell(3)->getValue(), 1);
    EXPECT_EQ(cell(4)->getType(), CellContentType::CellContentType_EMPTY);
    EXPECT_EQ(cell(5)->getValue(), -3);
    EXPECT_EQ(cell(6)->getType(), CellContentType::CellContentType_VALUE);
    EXPECT_EQ(cell(6)->getValue(), 0);
    EXPECT_EQ(cell(8)->getType(), CellContentType::CellContentType_VALUE);
    EXPECT_EQ(cell(8)->getValue(), 0);
    EXPECT_EQ(cell(10)->getType(), CellContentType::CellContentType_VALUE);
    EXPECT_EQ(cell(10)->getValue(), 0);
    EXPECT_EQ(cell(11)->getValue(), 1000);
    EXPECT_EQ(cell(12)->getValue(), 4294967296.0);
    EXPECT_EQ(cell(18)->getValue(), 4294967296.0);
    for (sal_Int32 empty : {7, 9, 41}) {
        EXPECT_EQ(cell(empty)->getType(), CellContentType::CellContentType_EMPTY) << empty;
    }

    // Row 0 is A1:AP1, and a record there replaces the titles.
    ASSERT_EQ(CorvaneSetHeaderString("NSE", 0), 1);
    ASSERT_EQ(CorvaneInsertUpdate("NSE", 0, &sevens), 1);
    for (const sheet::Column& column : sheet::ColumnLayout) {
        EXPECT_EQ(Text(Cell("NSE", column.index, 0)), "7") << column.letters;
    }
}

TEST_F(SheetWriting, RealFieldsKeepTheirFractionUnderADecimalCommaLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "the de_DE.UTF-8 locale is missing: run scripts/install-deps.sh";
    MarketWatchRecord record{};
    record.fields[4] = "2450.5";
    record.fields[2] = "2.450";
    const short result = CorvaneInsertUpdate("NSE", 5, &record);
    std::setlocale(LC_ALL, previous.c_str());
    ASSERT_EQ(result, 1);
    EXPECT_EQ(Cell("NSE", 4, 5)->getValue(), 2450.5);
    EXPECT_EQ(Cell("NSE", 2, 5)->getValue(), 2);
}

TEST_F(SheetWriting, AResetEmptiesTheValuesAndKeepsTheTitleColours) {
    MarketWatchRecord record = Filled("3");
    record.fields[0] = "NSE";
    ASSERT_EQ(CorvaneSetHeaderString("Options", 0), 1);
    ASSERT_EQ(CorvaneInsertUpdate("Options", 2, &record), 1);
    MarkBeyondAP("Options", 0);
    MarkBeyondAP("Options", 2);

    EXPECT_EQ(CorvaneResetRecord("Options", 0), 1);
    EXPECT_EQ(CorvaneResetRecord("Options", 2), 1);
    EXPECT_EQ(CorvaneResetRecord("Options", 3), 1);  // an empty row stays empty
    for (int row : {0, 2, 3}) {
        for (const sheet::Column& column : sheet::ColumnLayout) {
            EXPECT_EQ(Cell("Options", column.index, row)->getType(),
                      CellContentType::CellContentType_EMPTY)
                << column.letters << row + 1;
        }
    }
    for (const sheet::Column& column : sheet::ColumnLayout) {
        EXPECT_EQ(Color(Cell("Options", column.index, 0), "CellBackColor"), 0xCCFFFF);
        EXPECT_EQ(Color(Cell("Options", column.index, 0), "CharColor"), 0x4D66FF);
    }
    ExpectMarkBeyondAP("Options", 2);
    EXPECT_EQ(Text(Cell("Options", kColumnAQ, 0)), "beyond");
}

TEST_F(SheetWriting, RowsOutsideTheSheetRaiseAndChangeNothing) {
    MarketWatchRecord record = Filled("5");
    ASSERT_EQ(CorvaneInsertUpdate("Limits", 0, &record), 1);
    ASSERT_EQ(CorvaneInsertUpdate("Limits", kLastRow, &record), 1);
    MarkBeyondAP("Limits", kLastRow);
    const auto first = Row("Limits", 0);
    const auto last = Row("Limits", kLastRow);

    for (int row : {-1, kLastRow + 1}) {
        EXPECT_THROW(CorvaneSetHeaderString("Limits", row), css::uno::Exception) << row;
        EXPECT_THROW(CorvaneInsertUpdate("Limits", row, &record), css::uno::Exception) << row;
        EXPECT_THROW(CorvaneResetRecord("Limits", row), css::uno::Exception) << row;
    }
    EXPECT_EQ(Row("Limits", 0), first);
    EXPECT_EQ(Row("Limits", kLastRow), last);
    EXPECT_EQ(Color(Cell("Limits", 0, 0), "CellBackColor"), -1);
    EXPECT_EQ(Color(Cell("Limits", 0, kLastRow), "CellBackColor"), -1);
    // The operations still work afterwards.
    EXPECT_EQ(CorvaneResetRecord("Limits", kLastRow), 1);
}

}  // namespace
}  // namespace corvane::test
