// The key columns as the live table reads them back, and the value blocks that the C
// API's batched writes and the live table send: what a sheet row would show, without an
// office.
#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <vector>

#include "platform/scratch_files.hpp"
#include "sheet/key_columns.hpp"
#include "sheet/row_block.hpp"
#include "support/office_client.hpp"

namespace corvane::test {
namespace {

using css::uno::Any;

// A row of a value array, as the office hands it out.
css::uno::Sequence<Any> Cells(std::initializer_list<Any> cells) {
    return css::uno::Sequence<Any>(cells.begin(), static_cast<sal_Int32>(cells.size()));
}

TEST(KeyColumns, NumbersReadAsTheScripCodeTheHostPut) {
    const struct {
        double number;
        const char* text;
    } numbers[] = {{100000, "100000"}, {500325, "500325"}, {1e20, "100000000000000000000"},
                   {-3, "-3"},         {12.75, "12.75"},   {0.1, "0.1"}};
    for (const auto& number : numbers) {
        const sheet::RowKey key =
            sheet::KeyOfCells(Cells({Any(U("NSE")), Any(), Any(number.number)}));
        EXPECT_FALSE(key.blank);
        EXPECT_EQ(key.exchange, "NSE");
        EXPECT_EQ(key.scrip, number.text);
    }
    // Texts stay as they are; a number in column A reads like one in C.
    const sheet::RowKey typed = sheet::KeyOfCells(Cells({Any(7.0), Any(), Any(U("0500325"))}));
    EXPECT_EQ(typed.exchange, "7");
    EXPECT_EQ(typed.scrip, "0500325");
}

TEST(KeyColumns, ARowIsBlankOnlyWhenAToCHoldNothing) {
    EXPECT_TRUE(sheet::KeyOfCells(Cells({Any(), Any(U("")), Any(U(""))})).blank);
    EXPECT_TRUE(sheet::KeyOfCells(Cells({Any(U("NSE")), Any(U("x"))})).blank);  // not three cells
    // A description alone is something: a row the table must not write over.
    const sheet::RowKey described = sheet::KeyOfCells(Cells({Any(U("")), Any(U("Mine")), Any()}));
    EXPECT_FALSE(described.blank);
    EXPECT_EQ(described.exchange, "");
    EXPECT_EQ(described.scrip, "");
}

TEST(ValueBlocks, FromColumnDWithRowTimesOrWholeRows) {
    std::vector<sheet::FieldRow> rows(2);
    const char* first[] = {"NSE", "Reliance", "500325", "1200", "2450.5", "", "N/A"};
    for (int k = 0; k < 7; ++k) rows[0].fields[k] = first[k];
    rows[0].fields[41] = "0.25";
    rows[0].taken = std::chrono::system_clock::time_point(std::chrono::hours(24 * 20000));
    rows[1].fields[3] = "7";  // rows[1] was never taken

    const sheet::RowValues timed = sheet::BlockValues(rows, 3, true);
    ASSERT_EQ(timed.getLength(), 2);
    ASSERT_EQ(timed[0].getLength(), 40);  // D to AP, and AQ
    EXPECT_EQ(timed[0][0], Any(sal_Int32(1200)));
    EXPECT_EQ(timed[0][1], Any(2450.5));
    EXPECT_EQ(timed[0][2], Any(U("")));  // an empty number field empties its cell
    EXPECT_EQ(timed[0][3], Any(0.0));    // "N/A" in a price column
    EXPECT_EQ(timed[0][38], Any(0.25));
    EXPECT_EQ(timed[0][39], Any(platform::LocalSerialTime(rows[0].taken)));
    EXPECT_EQ(timed[1][0], Any(sal_Int32(7)));
    EXPECT_EQ(timed[1][39], Any(U("")));

    const sheet::RowValues whole = sheet::BlockValues(rows, 0, false);
    ASSERT_EQ(whole[0].getLength(), 42);
    EXPECT_EQ(whole[0][0], Any(U("NSE")));
    EXPECT_EQ(whole[0][2], Any(sal_Int32(500325)));
    EXPECT_EQ(whole[0][41], Any(0.25));
    EXPECT_EQ(sheet::BlockValues(rows, 3, false)[1].getLength(), 39);
}

}  // namespace
}  // namespace corvane::test
