// The column layout's naming rules and the locale-proof number reading of fields.
#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <string>

#include "sheet/column_layout.hpp"
#include "sheet/field_numbers.hpp"
#include "support/office_client.hpp"

namespace corvane::test {
namespace {

using sheet::LeadingInteger;
using sheet::LeadingReal;

// The usual spreadsheet name of zero-based column `index`.
std::string Letters(int index) {
    std::string name;
    for (int n = index + 1; n > 0; n = (n - 1) / 26) {
        name.insert(name.begin(), static_cast<char>('A' + (n - 1) % 26));
    }
    return name;
}

TEST(ColumnLayout, ColumnsAreInOrderWithTheirSheetNamesAndOneLineFeedAtMost) {
    ASSERT_EQ(sheet::ColumnLayout.size(), 42u);
    int twoLineTitles = 0;
    for (int k = 0; k < kColumnCount; ++k) {
        const sheet::Column& column = sheet::ColumnLayout[k];
        EXPECT_EQ(column.index, k);
        EXPECT_EQ(column.letters, Letters(k));
        const std::string title = column.title;
        EXPECT_LE(std::count(title.begin(), title.end(), '\n'), 1) << title;
        EXPECT_NE(title.front(), ' ');
        EXPECT_NE(title.back(), ' ');
        twoLineTitles += title.find('\n') != std::string::npos;
    }
    EXPECT_EQ(twoLineTitles, 32);
    EXPECT_EQ(std::string(sheet::ColumnLayout[41].letters), sheet::kLastColumnLetters);
}

TEST(ColumnLayout, RowRangeNamesCountRowsFromOne) {
    EXPECT_EQ(S(sheet::RowRangeName(0)), "A1:AP1");
    EXPECT_EQ(S(sheet::RowRangeName(99)), "A100:AP100");
    EXPECT_EQ(S(sheet::RowRangeName(-1)), "A0:AP0");
    EXPECT_EQ(S(sheet::RowRangeName(1048576)), "A1048577:AP1048577");
    EXPECT_EQ(S(sheet::RowRangeName(INT_MAX)), "A2147483648:AP2147483648");
    EXPECT_EQ(S(sheet::RowRangeName(INT_MIN)), "A-2147483647:AP-2147483647");
}

TEST(FieldNumbers, IntegersStopAtTheFirstCharacterThatIsNoDigit) {
    EXPECT_EQ(LeadingInteger("12.75"), 12);
    EXPECT_EQ(LeadingInteger("1,250"), 1);
    EXPECT_EQ(LeadingInteger(" -3"), -3);
    EXPECT_EQ(LeadingInteger("\t\n+17x"), 17);
    EXPECT_EQ(LeadingInteger("N/A"), 0);
    EXPECT_EQ(LeadingInteger(" "), 0);
    EXPECT_EQ(LeadingInteger("-"), 0);
    EXPECT_EQ(LeadingInteger("--3"), 0);
    EXPECT_EQ(LeadingInteger("+-3"), 0);
    EXPECT_EQ(LeadingInteger("- 3"), 0);
    EXPECT_EQ(LeadingInteger("1e3"), 1);
    EXPECT_EQ(LeadingInteger("0x1A"), 0);
    EXPECT_EQ(LeadingInteger("\xc2\xa0"
                             "5"),
              0);  // no-break space is no white space
    // Beyond 32 bits the exact value, not a wrapped one.
    EXPECT_EQ(LeadingInteger("4294967297"), 4294967297.0);
    EXPECT_EQ(LeadingInteger("-9007199254740993"), -9007199254740992.0);
    EXPECT_EQ(LeadingInteger("123456789012345678901234567890"), 1.2345678901234568e29);
    EXPECT_EQ(LeadingInteger("-" + std::string(400, '9')), -HUGE_VAL);
    EXPECT_EQ(LeadingInteger(std::string(400, '0') + "12"), 12);
}

TEST(FieldNumbers, RealsTakeAPointAndAnExponentButNothingElse) {
    EXPECT_EQ(LeadingReal("2450.5"), 2450.5);
    EXPECT_EQ(LeadingReal("1e3"), 1000);
    EXPECT_EQ(LeadingReal("  -1.5E+2 Cr"), -150);
    EXPECT_EQ(LeadingReal(".25"), 0.25);
    EXPECT_EQ(LeadingReal("5."), 5);
    EXPECT_EQ(LeadingReal("1e"), 1);
    EXPECT_EQ(LeadingReal("1e+"), 1);
    EXPECT_EQ(LeadingReal("2,5"), 2);
    EXPECT_EQ(LeadingReal("N/A"), 0);
    EXPECT_EQ(LeadingReal("."), 0);
    EXPECT_EQ(LeadingReal("-.x"), 0);
    EXPECT_EQ(LeadingReal("inf"), 0);
    EXPECT_EQ(LeadingReal("nan"), 0);
    EXPECT_EQ(LeadingReal("+-1"), 0);
    EXPECT_EQ(LeadingReal("0x10"), 0);
    EXPECT_EQ(LeadingReal("1e400"), HUGE_VAL);
    EXPECT_EQ(LeadingReal("-1e400"), -HUGE_VAL);
    EXPECT_EQ(LeadingReal("1e-400"), 0);
    EXPECT_EQ(LeadingReal("0.000001e-320"), 0);
    EXPECT_EQ(LeadingReal("100000000000000000000e-20"), 1);
}

TEST(FieldNumbers, ADecimalCommaLocaleChangesNothing) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "the de_DE.UTF-8 locale is missing: run scripts/install-deps.sh";
    EXPECT_EQ(LeadingReal("2450.5"), 2450.5);
    EXPECT_EQ(LeadingReal("2450,5"), 2450);
    EXPECT_EQ(LeadingInteger("2.450"), 2);
    std::setlocale(LC_ALL, previous.c_str());
}

}  // namespace
}  // namespace corvane::test
