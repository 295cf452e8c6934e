// What batched record writes and fast writes leave in a real office, read back through
// the test's own connection.
#include <gtest/gtest.h>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/document/XUndoManagerSupplier.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableRows.hpp>
#include <corvane/corvane.hpp>

#include <string>
#include <vector>

#include "sheet/column_layout.hpp"
#include "support/library_init.hpp"
#include "support/office_session.hpp"
#include "support/records.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

using css::table::CellContentType;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY_THROW;
using Records = std::vector<const MarketWatchRecord*>;

constexpr int kLastRow = 1048575;  // the sheet's last row, zero-based

class BatchedRowsOffice : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        session_ = new OfficeSession;
        session_->Start();
        dir_ = new TempDir;
        book_ = *dir_ / "batches.fods";
        WriteWorkbook(book_, {"Rows", "Nulls", "Limits", "Large", "Fast"});
        sheetCount_ = InitUntilConnected(
            {OfficeExecutable().c_str(), session_->HeadlessCommandLine().c_str(), book_.c_str()});
    }
    static void TearDownTestSuite() {
        delete session_;
        delete dir_;
    }
    void SetUp() override { ASSERT_EQ(sheetCount_, 5) << "the library never connected"; }

    static Reference<css::sheet::XSpreadsheet> Sheet(const std::string& name) {
        return session_->Client().Sheet(FileUrl(book_), name);
    }
    static Reference<css::beans::XPropertySet> Settings() {
        return Reference<css::beans::XPropertySet>(session_->Client().Document(FileUrl(book_)),
                                                   UNO_QUERY_THROW);
    }
    static bool Setting(const char* name) {
        bool on = false;
        Settings()->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= on;
        return on;
    }
    // Values of columns A to AP of `rows` rows from zero-based `first`.
    static Sequence<Sequence<Any>> Rows(const std::string& sheet, int first, int rows = 1) {
        const Reference<css::sheet::XCellRangeData> range(
            Sheet(sheet)->getCellRangeByName(
                U("A" + std::to_string(first + 1) + ":AP" + std::to_string(first + rows))),
            UNO_QUERY_THROW);
        return range->getDataArray();
    }
    static sal_Int32 RowHeight(const std::string& sheet, int row) {
        const Reference<css::table::XColumnRowRange> range(
            Sheet(sheet)->getCellRangeByPosition(0, row, 0, row), UNO_QUERY_THROW);
        sal_Int32 height = 0;
        Reference<css::beans::XPropertySet>(range->getRows(), UNO_QUERY_THROW)
            ->getPropertyValue("Height") >>= height;
        return height;
    }
    static short Write(const std::string& sheet, int first, const Records& records) {
        return CorvaneInsertUpdateRows(sheet.c_str(), first, records.data(),
                                       static_cast<int>(records.size()));
    }

    static OfficeSession* session_;
    static TempDir* dir_;
    static std::string book_;
    static short sheetCount_;
};
OfficeSession* BatchedRowsOffice::session_ = nullptr;
TempDir* BatchedRowsOffice::dir_ = nullptr;
std::string BatchedRowsOffice::book_;
short BatchedRowsOffice::sheetCount_ = -1;

TEST_F(BatchedRowsOffice, RowsHoldWhatTheRecordExportWouldStore) {
    MarketWatchRecord mixed{};
    mixed.fields[0] = "500";                                           // A, Text
    mixed.fields[1] = "Soci\xc3\xa9t\xc3\xa9 G\xc3\xa9n\xc3\xa9rale";  // B, Text
    mixed.fields[2] = "12.75";                                         // C, Integer
    mixed.fields[3] = "1,250";                                         // D, Integer
    mixed.fields[5] = " -3";                                           // F, Integer
    mixed.fields[6] = " ";                                             // G, Real
    mixed.fields[8] = "N/A";                                           // I, Real
    mixed.fields[11] = "1e3";                                          // L, Real
    mixed.fields[18] = "4294967296";                                   // S, Integer
    MarketWatchRecord sevens = Filled("7");
    ASSERT_EQ(Write("Rows", 1, {&mixed, &sevens, &mixed}), 1);

    // The same records one at a time, further down, for comparison.
    ASSERT_EQ(CorvaneInsertUpdate("Rows", 11, &mixed), 1);
    ASSERT_EQ(CorvaneInsertUpdate("Rows", 12, &sevens), 1);
    const Sequence<Sequence<Any>> batched = Rows("Rows", 1, 3);
    EXPECT_EQ(batched[0], Rows("Rows", 11)[0]);
    EXPECT_EQ(batched[1], Rows("Rows", 12)[0]);
    EXPECT_EQ(batched[2], Rows("Rows", 11)[0]);

    const auto cell = [](sal_Int32 column, sal_Int32 row) {
        return Sheet("Rows")->getCellByPosition(column, row);
    };
    for (const sheet::Column& column : sheet::ColumnLayout) {
        EXPECT_EQ(cell(column.index, 2)->getType(), column.kind == sheet::ValueKind::Text
                                                        ? CellContentType::CellContentType_TEXT
                                                        : CellContentType::CellContentType_VALUE)
            << column.letters;
    }
    EXPECT_EQ(cell(0, 1)->getType(), CellContentType::CellContentType_TEXT);
    EXPECT_EQ(batched[0][0], Any(rtl::OUString("500")));
    EXPECT_EQ(batched[0][1], Any(U("Soci\xc3\xa9t\xc3\xa9 G\xc3\xa9n\xc3\xa9rale")));
    EXPECT_EQ(cell(2, 1)->getValue(), 12);
    EXPECT_EQ(cell(3, 1)->getValue(), 1);
    EXPECT_EQ(cell(4, 1)->getType(), CellContentType::CellContentType_EMPTY);
    EXPECT_EQ(cell(5, 1)->getValue(), -3);
    EXPECT_EQ(cell(6, 1)->getType(), CellContentType::CellContentType_VALUE);
    EXPECT_EQ(cell(8, 1)->getValue(), 0);
    EXPECT_EQ(cell(11, 1)->getValue(), 1000);
    EXPECT_EQ(cell(18, 1)->getValue(), 4294967296.0);
    EXPECT_EQ(cell(41, 1)->getType(), CellContentType::CellContentType_EMPTY);
    EXPECT_EQ(cell(0, 0)->getType(), CellContentType::CellContentType_EMPTY);  // not shifted
    EXPECT_EQ(cell(0, 4)->getType(), CellContentType::CellContentType_EMPTY);
}

TEST_F(BatchedRowsOffice, ANullRecordLeavesItsRowAsItWasFormulasIncluded) {
    MarketWatchRecord before = Filled("1");
    ASSERT_EQ(Write("Nulls", 0, {&before, &before, &before, &before}), 1);
    // Row 2 also holds a formula and a text in columns of the layout.
    Sheet("Nulls")->getCellByPosition(4, 2)->setFormula("=E1+E2");
    Sheet("Nulls")->getCellByPosition(1, 2)->setFormula("kept");
    const Sequence<Any> middle = Rows("Nulls", 2)[0];

    MarketWatchRecord after = Filled("9");
    ASSERT_EQ(Write("Nulls", 0, {&after, &after, nullptr, &after}), 1);
    const Sequence<Any> kept = Rows("Nulls", 2)[0];
    for (int k = 0; k < kColumnCount; ++k) {
        if (k == 4) continue;  // E holds the formula's new result
        EXPECT_EQ(kept[k], middle[k]) << k;
    }
    EXPECT_EQ(Sheet("Nulls")->getCellByPosition(4, 2)->getFormula(), "=E1+E2");
    EXPECT_EQ(Sheet("Nulls")->getCellByPosition(4, 2)->getValue(), 18);  // E1 + E2, now 9 + 9
    for (int row : {0, 1, 3}) {
        EXPECT_EQ(Sheet("Nulls")->getCellByPosition(2, row)->getValue(), 9) << row;
    }
    // Nothing but NULLs, even past the sheet's end: nothing to do.
    EXPECT_EQ(Write("Nulls", kLastRow, {nullptr, nullptr}), 1);
}

TEST_F(BatchedRowsOffice, CountsOfZeroAndOne) {
    MarketWatchRecord record = Filled("4");
    const MarketWatchRecord* one[] = {&record};
    EXPECT_EQ(CorvaneInsertUpdateRows("Rows", 30, one, 0), 1);
    EXPECT_EQ(Sheet("Rows")->getCellByPosition(2, 30)->getType(),
              CellContentType::CellContentType_EMPTY);
    EXPECT_EQ(CorvaneInsertUpdateRows("Rows", 30, one, 1), 1);
    EXPECT_EQ(Sheet("Rows")->getCellByPosition(2, 30)->getValue(), 4);
    EXPECT_EQ(Sheet("Rows")->getCellByPosition(2, 31)->getType(),
              CellContentType::CellContentType_EMPTY);
    EXPECT_EQ(CorvaneInsertUpdateRows("Rows", 30, one, -1), -1);
    EXPECT_EQ(CorvaneInsertUpdateRows("No such sheet", 30, one, 0), -1);
    EXPECT_EQ(CorvaneInsertUpdateRows("", 30, one, 1), -1);
}

TEST_F(BatchedRowsOffice, RowsOutsideTheSheetRaiseAndNothingIsWritten) {
    MarketWatchRecord old = Filled("5");
    ASSERT_EQ(Write("Limits", 0, {&old}), 1);
    ASSERT_EQ(Write("Limits", kLastRow - 1, {&old, &old}), 1);
    const auto first = Rows("Limits", 0);
    const auto last = Rows("Limits", kLastRow - 1, 2);

    MarketWatchRecord fresh = Filled("6");
    EXPECT_THROW(Write("Limits", kLastRow - 1, {&fresh, &fresh, &fresh}), css::uno::Exception);
    EXPECT_THROW(Write("Limits", -1, {&fresh, &fresh}), css::uno::Exception);
    EXPECT_THROW(Write("Limits", kLastRow + 1, {&fresh}), css::uno::Exception);
    EXPECT_THROW(Write("Limits", 2147483647, {&fresh, &fresh}), css::uno::Exception);
    // Also when the row past the end comes after more than a block's worth of rows.
    Records many(1500, &fresh);
    EXPECT_THROW(Write("Limits", kLastRow - 1400, many), css::uno::Exception);
    EXPECT_EQ(Rows("Limits", 0), first);
    EXPECT_EQ(Rows("Limits", kLastRow - 1, 2), last);
    EXPECT_EQ(Sheet("Limits")->getCellByPosition(2, kLastRow - 1400)->getType(),
              CellContentType::CellContentType_EMPTY);

    // The single-row export raises for the same rows, and writing goes on afterwards.
    EXPECT_THROW(CorvaneInsertUpdate("Limits", kLastRow + 1, &fresh), css::uno::Exception);
    EXPECT_EQ(Write("Limits", kLastRow - 1, {&fresh, nullptr}), 1);
    EXPECT_EQ(Sheet("Limits")->getCellByPosition(2, kLastRow - 1)->getValue(), 6);
    EXPECT_EQ(Sheet("Limits")->getCellByPosition(2, kLastRow)->getValue(), 5);
}

TEST_F(BatchedRowsOffice, CountsBeyondOneBlockSpanSeveralBlocks) {
    std::vector<MarketWatchRecord> records(2345);
    Records pointers;
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].fields[0] = ("row " + std::to_string(i)).c_str();
        records[i].fields[2] = std::to_string(i).c_str();
        pointers.push_back(&records[i]);
    }
    pointers[1200] = nullptr;
    ASSERT_EQ(Write("Large", 3, pointers), 1);
    const Sequence<Sequence<Any>> rows = Rows("Large", 0, 2400);
    for (int r = 0; r < 2400; ++r) {
        const int i = r - 3;
        if (i < 0 || i >= 2345 || i == 1200) {
            EXPECT_EQ(rows[r][0], Any(rtl::OUString())) << r;
            continue;
        }
        ASSERT_EQ(rows[r][0], Any(U("row " + std::to_string(i)))) << r;
        ASSERT_EQ(rows[r][2], Any(static_cast<double>(i))) << r;
    }
}

TEST_F(BatchedRowsOffice, FastWritesChangeTheSettingsUntilTurnedOffAndNotTheValues) {
    ASSERT_TRUE(Setting("IsUndoEnabled"));
    ASSERT_TRUE(Setting("IsAdjustHeightEnabled"));
    MarketWatchRecord record = Filled("3.25");
    record.fields[1] = "Two\nlines";
    ASSERT_EQ(CorvaneInsertUpdate("Fast", 0, &record), 1);
    ASSERT_EQ(Write("Fast", 1, {&record, &record}), 1);
    const Sequence<Sequence<Any>> plain = Rows("Fast", 0, 3);

    CorvaneSetFastWrites(1);
    EXPECT_FALSE(Setting("IsUndoEnabled"));
    EXPECT_FALSE(Setting("IsAdjustHeightEnabled"));
    const Reference<css::document::XUndoManagerSupplier> undo(
        session_->Client().Document(FileUrl(book_)), UNO_QUERY_THROW);
    ASSERT_EQ(CorvaneInsertUpdate("Fast", 10, &record), 1);
    ASSERT_EQ(Write("Fast", 11, {&record, &record}), 1);
    ASSERT_EQ(CorvaneResetRecord("Fast", 13), 1);
    ASSERT_EQ(CorvaneSetHeaderString("Fast", 14), 1);
    EXPECT_FALSE(undo->getUndoManager()->isUndoPossible());
    EXPECT_EQ(Rows("Fast", 10, 3), plain);
    CorvaneSetFastWrites(1);  // a second "on" changes nothing that a single "off" can't undo

    CorvaneSetFastWrites(0);
    EXPECT_TRUE(Setting("IsUndoEnabled"));
    EXPECT_TRUE(Setting("IsAdjustHeightEnabled"));
    ASSERT_EQ(CorvaneInsertUpdate("Fast", 20, &record), 1);
    EXPECT_TRUE(undo->getUndoManager()->isUndoPossible());

    // Title rows get their full height under fast writes too.
    ASSERT_EQ(CorvaneSetHeaderString("Fast", 30), 1);
    CorvaneSetFastWrites(1);
    ASSERT_EQ(CorvaneSetHeaderString("Fast", 31), 1);
    EXPECT_FALSE(Setting("IsAdjustHeightEnabled"));
    CorvaneSetFastWrites(0);
    EXPECT_GT(RowHeight("Fast", 30), RowHeight("Fast", 40));
    EXPECT_EQ(RowHeight("Fast", 31), RowHeight("Fast", 30));

    // Settings the user turned off stay off, and the counted row-height one is not
    // turned off a second time (one "on" by the user brings it back).
    Settings()->setPropertyValue("IsUndoEnabled", Any(false));
    Settings()->setPropertyValue("IsAdjustHeightEnabled", Any(false));
    CorvaneSetFastWrites(1);
    ASSERT_EQ(CorvaneInsertUpdate("Fast", 21, &record), 1);
    CorvaneSetFastWrites(0);
    EXPECT_FALSE(Setting("IsUndoEnabled"));
    EXPECT_FALSE(Setting("IsAdjustHeightEnabled"));
    Settings()->setPropertyValue("IsUndoEnabled", Any(true));
    Settings()->setPropertyValue("IsAdjustHeightEnabled", Any(true));
    EXPECT_TRUE(Setting("IsAdjustHeightEnabled"));
}

}  // namespace
}  // namespace corvane::test
