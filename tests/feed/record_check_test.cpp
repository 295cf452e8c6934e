// Checking a CSV line before it is written: field count, numbers in numeric columns,
// the header line.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "market_record.hpp"

namespace corvane::feed {
namespace {

TEST(RecordCheck, NumericColumnsTakeNumbersWithAPointOrNothing) {
    for (const char* whole : {"12", " -3 ", "+5", "0500325", "18446744073709551616"})
        EXPECT_TRUE(IsWholeNumber(whole)) << whole;
    for (const char* bad : {"", " ", "12.75", "1,250", "-", "12a", "0x10", "1e3"})
        EXPECT_FALSE(IsWholeNumber(bad)) << bad;
    for (const char* number : {"12", "-3.5", " 1e3 ", ".5", "2885.45", "+0.25", "1E-2"})
        EXPECT_TRUE(IsDecimalNumber(number)) << number;
    for (const char* bad : {"", "N/A", "1,250.50", "inf", "nan", "--1", "1e999", "12,5", "1.2.3"})
        EXPECT_FALSE(IsDecimalNumber(bad)) << bad;
    // Past a double's range the library would store an infinity; closer to zero than a
    // double reaches, it stores 0, the nearest double, as it does for 0e999999.
    EXPECT_EQ(CheckWholeNumber(std::string(310, '9')), NumberCheck::TooLarge);
    EXPECT_TRUE(IsWholeNumber(std::string(300, '9')));
    EXPECT_TRUE(IsWholeNumber(std::string(400, '0') + "1"));
    EXPECT_EQ(CheckDecimalNumber("1e309"), NumberCheck::TooLarge);
    EXPECT_EQ(CheckDecimalNumber("-0.001e400"), NumberCheck::TooLarge);
    for (const char* tiny : {"1e-400", "-0.0001e-320", "0e999999", "0.000e99999999999999999"})
        EXPECT_TRUE(IsDecimalNumber(tiny)) << tiny;
}

// Why `check` refuses `fields` ("" when it takes them); a refusal is a wrong argument.
std::string Refusal(const RecordCheck& check, std::vector<std::string>& fields) {
    const corvane::Error refused = check.Complete(fields);
    if (!refused.ok()) {
        EXPECT_EQ(refused.code(), corvane::ErrorCode::Argument);
    }
    return refused.message();
}

TEST(RecordCheck, CompletesShortLinesAndRejectsWhatTheSheetWouldStoreWrongly) {
    const RecordCheck check(LibraryColumns());
    std::vector<std::string> fields = {"NSE", "RELIANCE", " ", "10"};
    EXPECT_EQ(Refusal(check, fields), "");
    ASSERT_EQ(fields.size(), 42u);
    EXPECT_EQ(fields[2], "");  // blanks in a numeric column mean no value, not 0
    EXPECT_EQ(fields[3], "10");

    std::vector<std::string> tooMany(43, "");
    EXPECT_EQ(Refusal(check, tooMany), "43 fields, more than the 42 columns");

    std::vector<std::string> wrongQuantity = {"NSE", "X", "1", "12.5"};
    EXPECT_EQ(Refusal(check, wrongQuantity),
              "column D (Best Buy Qty): \"12.5\" is not a whole number");
    std::vector<std::string> wrongPrice = {"NSE", "X", "1", "", "N/A"};
    EXPECT_EQ(Refusal(check, wrongPrice), "column E (Best Buy Price): \"N/A\" is not a number");
    // A NUL would cut the field short in the library; nothing takes one.
    std::vector<std::string> withNul = {"NSE", std::string("A\0B", 3)};
    EXPECT_EQ(Refusal(check, withNul), "column B (Description): \"A\\x00B\" holds a NUL byte");
    std::vector<std::string> huge = {"NSE", "X", std::string(310, '9')};
    EXPECT_NE(Refusal(check, huge).find("column C (Scrip Code): \"9999"), std::string::npos);
    EXPECT_NE(Refusal(check, huge).find("is too large for a cell's number"), std::string::npos);
    // Text columns take anything, digits included.
    std::vector<std::string> texts = {"500", "1,2", "", "", "", "", "", "28-Dec-2026", "", "CE"};
    EXPECT_EQ(Refusal(check, texts), "");
}

TEST(RecordCheck, RecognisesAHeaderLineHoweverItsTitlesAreSpaced) {
    const RecordCheck check(LibraryColumns());
    EXPECT_TRUE(check.IsHeader({"Exchange", "Description", "Scrip Code", "Best\nBuy Qty"}));
    EXPECT_TRUE(check.IsHeader({" EXCHANGE", "description ", "Scrip  Code"}));
    EXPECT_TRUE(check.IsHeader({"exchange", "description"}));
    EXPECT_FALSE(check.IsHeader({"Exchange"}));
    EXPECT_FALSE(check.IsHeader({"NSE", "Description", "Scrip Code"}));
    EXPECT_FALSE(check.IsHeader({"Exchange", "Description", "2885"}));
}

TEST(RecordCheck, MessagesShowFieldsEscapedAndCut) {
    EXPECT_EQ(Shown("caf\xC3\xA9 \"5\\\""), "\"caf\xC3\xA9 \\\"5\\\\\\\"\"");
    EXPECT_EQ(Shown("\x1B[31m\x9B\n"), "\"\\x1B[31m\\x9B\\n\"");
    EXPECT_EQ(Shown(std::string(100, 'x'), 4), "\"xxxx\"... (100 bytes)");
}

TEST(RecordCheck, ColumnLetters) {
    EXPECT_EQ(ColumnLetters(0), "A");
    EXPECT_EQ(ColumnLetters(25), "Z");
    EXPECT_EQ(ColumnLetters(26), "AA");
    EXPECT_EQ(ColumnLetters(41), "AP");
}

}  // namespace
}  // namespace corvane::feed
