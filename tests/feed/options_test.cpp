// The command line: defaults that depend on each other and what is refused.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "options.hpp"

namespace corvane::feed {
namespace {

// Why the command line is refused ("" when it is taken); a refusal is a wrong argument.
std::string Parse(std::vector<std::string> args, FeedOptions& options) {
    const corvane::Error error = ParseOptions(args, "/opt/office/soffice", options);
    if (!error.ok()) {
        EXPECT_EQ(error.code(), corvane::ErrorCode::Argument);
    }
    return error.message();
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
    EXPECT_EQ(options.callTimeoutMs, 5000);  // a deadline in every mode

    ASSERT_EQ(Parse({"--workbook=w.ods", "--sheet-per-exchange", "--no-titles", "--follow", "-"},
                    options),
              "");
    EXPECT_EQ(options.feed.firstRow, 0);
    EXPECT_TRUE(options.feed.follow);
    EXPECT_EQ(options.interval, std::chrono::milliseconds(250));
    EXPECT_EQ(options.input, "-");

    ASSERT_EQ(Parse({"--workbook=w.ods", "--sheet=A", "--follow", "--interval=0"}, options), "");
    EXPECT_EQ(options.interval, std::chrono::milliseconds(0));
}

TEST(FeedOptions, RefusesWhatCannotWorkAndSaysWhy) {
    using Args = std::vector<std::string>;
    const Args base = {"--workbook", "w.ods", "--sheet", "A"};
    const std::pair<Args, std::string> refused[] = {
        {{"--sheet", "NSE"}, "--workbook is required"},
        {{"--workbook", "w.ods"}, "give either --sheet NAME or --sheet-per-exchange"},
        {{"--sheet-per-exchange"}, "give either --sheet NAME or --sheet-per-exchange"},
        {{"--first-row", "0"}, "--first-row 0 leaves no row above for the titles"},
        {{"--first-row", "-2"}, "--first-row takes a row number from 0 to 1048575, not \"-2\""},
        // A sheet has 1,048,576 rows; a row past them cannot be written.
        {{"--no-titles", "--first-row", "1048576"}, "from 0 to 1048575, not \"1048576\""},
        {{"--no-titles", "--first-row", "2147483648"}, "not \"2147483648\""},
        {{"--wait", "0"}, "--wait takes a number of seconds above 0 and at most 86400"},
        {{"--wait", "1e10"}, "at most 86400, not \"1e10\""},
        {{"--wait", "inf"}, "not \"inf\""},
        {{"--sheet"}, "--sheet: 1 required NAME missing"},
        {{"--workbook="}, "--workbook: 1 required PATH missing"},
        {{"--office", ""}, "--office needs a value"},
        {{"--follow=yes"}, "follow was given a disallowed flag override"},
        {{"--interval", "100"}, "--interval paces the updates of --follow"},
        {{"--follow", "--interval", "-1"}, "from 0 to 86400000, not \"-1\""},
        {{"--follow", "--interval", "1.5"}, "not \"1.5\""},
        {{"--follow", "--interval", "86400001"}, "not \"86400001\""},
        {{"--call-timeout", "0"}, "--call-timeout takes a number of milliseconds from 1 to"},
        {{"--colour"}, "argument was not expected: --colour"},
        {{"one.csv", "two.csv"}, "argument was not expected: two.csv"},
    };
    for (const auto& [extra, reason] : refused) {
        Args args = base;
        // The cases about --workbook and --sheet bring their own.
        if (extra[0] == "--workbook" || extra[0] == "--sheet") args = {};
        if (extra[0] == "--workbook=") args = {"--sheet", "A"};
        args.insert(args.end(), extra.begin(), extra.end());
        FeedOptions options;
        const std::string why = Parse(args, options);
        EXPECT_NE(why.find(reason), std::string::npos) << "\"" << why << "\" for " << extra[0];
    }
    FeedOptions options;
    EXPECT_EQ(Parse({"--workbook", "w.ods", "--sheet", "A", "--no-titles", "--first-row", "1048575",
                     "--wait", "86400"},
                    options),
              "");
    EXPECT_EQ(options.feed.firstRow, 1048575);
    // --help needs nothing else, and its text comes from the same declarations.
    EXPECT_EQ(Parse({"--help"}, options), "");
    EXPECT_TRUE(options.help);
    const std::string help = HelpText("/opt/office/soffice");
    for (const char* part : {"--workbook PATH", "--sheet-per-exchange", "--interval MS",
                             "--first-row N", "default: /opt/office/soffice", "Exit status",
                             "--call-timeout MS", "4 the\noffice did not answer"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
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
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--workbook", "w.ods", "--sheet-per-exchange", "--sheets",
                                   "A,B"},
          std::vector<std::string>{"--workbook", "w.ods", "--sheet", "A", "--create-workbook",
                                   "--sheets", "B"}})
        EXPECT_NE(Parse(args, options).find("--sheets names the sheets"), std::string::npos);
}

TEST(FeedOptions, TheBusIsAnInputOfItsOwnThatFollows) {
    using Args = std::vector<std::string>;
    const Args base = {"--workbook", "w.ods", "--sheet", "A"};
    const auto parse = [&](Args extra, FeedOptions& options) {
        Args args = base;
        args.insert(args.end(), extra.begin(), extra.end());
        return Parse(args, options);
    };
    FeedOptions options;
    ASSERT_EQ(parse({"--nats", "nats://127.0.0.1:4222", "--bucket", "md", "--nats-user", "u",
                     "--nats-password", "p", "--nats-ca", "ca.pem", "--interval", "0"},
                    options),
              "");
    EXPECT_TRUE(options.feed.follow);  // implied
    EXPECT_EQ(options.bus.bucket, "md");
    EXPECT_EQ(options.bus.user, "u");
    EXPECT_EQ(options.bus.caFile, "ca.pem");
    ASSERT_EQ(
        parse({"--nats", "nats://h:1", "--subject", "md.NSE.*", "--nats-token", "t"}, options), "");
    EXPECT_EQ(options.bus.subject, "md.NSE.*");

    const std::pair<Args, std::string> refused[] = {
        {{"--subject", "md.>"}, "--subject goes with --nats URL"},
        {{"--nats-token", "t"}, "--nats-token goes with --nats URL"},
        {{"--nats", "nats://h:1"}, "give either --subject SUBJECT or --bucket NAME"},
        {{"--nats", "nats://h:1", "--subject", "a", "--bucket", "b"}, "give either --subject"},
        {{"--nats", "nats://h:1", "--bucket", "b", "ticks.csv"}, "give no INPUT file"},
        {{"--nats", "nats://h:1", "--bucket", "b", "--nats-user", "u"},
         "--nats-user and --nats-password together"},
        {{"--nats", "nats://h:1", "--bucket", "b", "--nats-token", "t", "--nats-creds", "c"},
         "one kind of credentials"},
        {{"--nats", "", "--bucket", "b"}, "--nats needs a value"},
    };
    for (const auto& [extra, reason] : refused) {
        const std::string why = parse(extra, options);
        EXPECT_NE(why.find(reason), std::string::npos) << "\"" << why << "\" for " << extra[0];
    }
    const std::string help = HelpText("/opt/office/soffice");
    for (const char* part :
         {"--nats URL", "--nats-creds PATH", "5 the NATS server", "6 the server"})
        EXPECT_NE(help.find(part), std::string::npos) << part;
}

}  // namespace
}  // namespace corvane::feed
