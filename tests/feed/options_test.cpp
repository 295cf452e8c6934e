// The command line: defaults that depend on each other and what is refused.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "options.hpp"

namespace corvane::feed {
namespace {

std::string Parse(std::vector<std::string> args, FeedOptions& options) {
    return ParseOptions(args, "/opt/office/soffice", options);
}

TEST(FeedOptions, DefaultsAndBothSpellingsOfValues) {
    FeedOptions options;
    ASSERT_EQ(Parse({"--workbook", "w.ods", "--sheet=NSE", "--save-as", "a.ods", "--save-as=b.pdf",
                     "ticks.csv"},
                    options),
              "");
    EXPECT_EQ(options.workbook, "w.ods");
    EXPECT_EQ(options.feed.sheet, "NSE");
    EXPECT_EQ(options.input, "ticks.csv");
    EXPECT_EQ(options.office, "/opt/office/soffice");
    EXPECT_EQ(options.saveAs, (std::vector<std::string>{"a.ods", "b.pdf"}));
    EXPECT_TRUE(options.feed.titles);
    EXPECT_EQ(options.feed.firstRow, 1);
    EXPECT_EQ(options.waitSeconds, 60);

    ASSERT_EQ(Parse({"--workbook=w.ods", "--sheet-per-exchange", "--no-titles", "--follow", "-"},
                    options),
              "");
    EXPECT_EQ(options.feed.firstRow, 0);
    EXPECT_TRUE(options.feed.follow);
    EXPECT_EQ(options.feed.interval, std::chrono::milliseconds(250));
    EXPECT_EQ(options.input, "-");

    ASSERT_EQ(Parse({"--workbook=w.ods", "--sheet=A", "--follow", "--interval=0"}, options), "");
    EXPECT_EQ(options.feed.interval, std::chrono::milliseconds(0));
}

TEST(FeedOptions, RefusesWhatCannotWork) {
    FeedOptions options;
    EXPECT_NE(Parse({"--sheet", "NSE"}, options), "");       // no workbook
    EXPECT_NE(Parse({"--workbook", "w.ods"}, options), "");  // no sheet
    EXPECT_NE(Parse({"--workbook", "w.ods", "--sheet", "A", "--sheet-per-exchange"}, options), "");
    EXPECT_NE(Parse({"--workbook", "w.ods", "--sheet", "A", "--first-row", "0"}, options), "");
    EXPECT_NE(Parse({"--workbook", "w.ods", "--sheet", "A", "--first-row", "-2"}, options), "");
    EXPECT_NE(Parse({"--workbook", "w.ods", "--sheet", "A", "--wait", "0"}, options), "");
    EXPECT_NE(Parse({"--workbook", "w.ods", "--sheet"}, options), "");
    EXPECT_NE(Parse({"--workbook", "w.ods", "--sheet", "A", "--follow=yes"}, options), "");
    EXPECT_NE(Parse({"--workbook", "w.ods", "--sheet", "A", "--interval", "100"}, options), "");
    EXPECT_NE(
        Parse({"--workbook", "w.ods", "--sheet", "A", "--follow", "--interval", "-1"}, options),
        "");
    EXPECT_NE(
        Parse({"--workbook", "w.ods", "--sheet", "A", "--follow", "--interval", "1.5"}, options),
        "");
    EXPECT_NE(Parse({"--workbook", "w.ods", "--sheet", "A", "--colour"}, options), "");
    EXPECT_NE(Parse({"--workbook", "w.ods", "--sheet", "A", "one.csv", "two.csv"}, options), "");
    EXPECT_EQ(
        Parse({"--workbook", "w.ods", "--sheet", "A", "--no-titles", "--first-row", "0"}, options),
        "");
    // --help needs nothing else.
    EXPECT_EQ(Parse({"--help"}, options), "");
    EXPECT_TRUE(options.help);
}

TEST(FeedOptions, CreatingTheWorkbookWithItsSheets) {
    FeedOptions options;
    ASSERT_EQ(Parse({"--workbook", "w.ods", "--sheet-per-exchange", "--create-workbook", "--sheets",
                     "NSE,BSE,MCX"},
                    options),
              "");
    EXPECT_TRUE(options.createWorkbook);
    EXPECT_EQ(options.sheets, (std::vector<std::string>{"NSE", "BSE", "MCX"}));
    ASSERT_EQ(Parse({"--workbook", "w.ods", "--sheet", "A", "--create-workbook"}, options), "");
    EXPECT_TRUE(options.sheets.empty());
    // --sheets only names what --create-workbook makes for --sheet-per-exchange.
    EXPECT_NE(Parse({"--workbook", "w.ods", "--sheet-per-exchange", "--sheets", "A,B"}, options),
              "");
    EXPECT_NE(Parse({"--workbook", "w.ods", "--sheet", "A", "--create-workbook", "--sheets", "B"},
                    options),
              "");
}

}  // namespace
}  // namespace corvane::feed
