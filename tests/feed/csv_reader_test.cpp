// The CSV reader on its own: RFC 4180 quoting, line numbers, line ends and malformed
// records, whatever way the bytes arrive.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "csv_reader.hpp"

namespace corvane::feed {
namespace {

std::vector<CsvRecord> ReadAll(const std::string& text, std::size_t chunk = std::string::npos,
                               std::size_t maxQuotedLineBreaks = 0) {
    CsvReader reader(maxQuotedLineBreaks);
    for (std::size_t at = 0; at < text.size(); at += chunk)
        reader.Push(std::string_view(text).substr(at, chunk));
    reader.Finish();
    std::vector<CsvRecord> records;
    CsvRecord record;
    while (reader.Next(record)) records.push_back(record);
    return records;
}

using Fields = std::vector<std::string>;

TEST(CsvReader, QuotedFieldsKeepCommasQuotesAndLineBreaksWhicheverWayTheBytesArrive) {
    const std::string text =
        "NSE,\"Reliance, Industries\",2885\n"
        "BSE,\"He said \"\"buy\"\"\",500325\n"
        "NSE,\"two\nlines\",\"\"\n"
        "NSE,after,1\n";
    for (std::size_t chunk : {std::string::npos, std::size_t{1}, std::size_t{7}}) {
        SCOPED_TRACE(chunk);
        const std::vector<CsvRecord> records = ReadAll(text, chunk);
        ASSERT_EQ(records.size(), 4u);
        EXPECT_EQ(records[0].fields, (Fields{"NSE", "Reliance, Industries", "2885"}));
        EXPECT_EQ(records[1].fields, (Fields{"BSE", "He said \"buy\"", "500325"}));
        EXPECT_EQ(records[2].fields, (Fields{"NSE", "two\nlines", ""}));
        EXPECT_EQ(records[3].fields, (Fields{"NSE", "after", "1"}));
        // A record is numbered by the line it starts on; quoted line breaks count.
        EXPECT_EQ(records[2].line, 3);
        EXPECT_EQ(records[3].line, 5);
        for (const CsvRecord& record : records) EXPECT_EQ(record.error, "");
    }
}

TEST(CsvReader, LineEndsBlankLinesAndEmptyFields) {
    const std::vector<CsvRecord> records = ReadAll("a,b\r\n\r\nc,\rd\n,\n\"x\r\ny\"\r\nlast");
    ASSERT_EQ(records.size(), 7u);
    EXPECT_EQ(records[0].fields, (Fields{"a", "b"}));
    EXPECT_TRUE(records[1].blank);
    EXPECT_EQ(records[1].line, 2);
    EXPECT_EQ(records[2].fields, (Fields{"c", ""}));
    EXPECT_EQ(records[3].fields, (Fields{"d"}));
    EXPECT_EQ(records[3].line, 4);
    EXPECT_EQ(records[4].fields, (Fields{"", ""}));
    EXPECT_EQ(records[5].fields, (Fields{"x\r\ny"}));
    // The input's last line needs no line end.
    EXPECT_EQ(records[6].fields, (Fields{"last"}));
    EXPECT_EQ(records[6].line, 8);
}

TEST(CsvReader, ARecordIsReadyAsSoonAsItsLineEnds) {
    CsvReader reader;
    CsvRecord record;
    reader.Push("NSE,1");
    EXPECT_FALSE(reader.Next(record));
    reader.Push("\nBSE,\"open");
    ASSERT_TRUE(reader.Next(record));
    EXPECT_EQ(record.fields, (Fields{"NSE", "1"}));
    reader.Push("\n");  // still inside the quotes
    EXPECT_FALSE(reader.Next(record));
}

TEST(CsvReader, MalformedRecordsAreReportedAndReadingGoesOnAtTheNextLine) {
    const std::vector<CsvRecord> records =
        ReadAll("ok,1\n\"closed\"junk,2\n5\" screen,3\nfine,4\nNSE,\"never closed\n");
    ASSERT_EQ(records.size(), 5u);
    EXPECT_EQ(records[1].line, 2);
    EXPECT_NE(records[1].error, "");
    EXPECT_TRUE(records[1].fields.empty());
    // A quote inside an unquoted field is plain text.
    EXPECT_EQ(records[2].fields, (Fields{"5\" screen", "3"}));
    EXPECT_EQ(records[2].error, "");
    EXPECT_EQ(records[3].fields, (Fields{"fine", "4"}));
    EXPECT_EQ(records[4].line, 5);
    EXPECT_NE(records[4].error, "");
}

TEST(CsvReader, AnEndlessQuotedFieldIsCutOffAndReadingRecovers) {
    CsvReader reader;
    reader.Push("NSE,\"");
    const std::string chunk(64 * 1024, 'x');
    for (std::size_t n = 0; n <= CsvReader::kMaxRecordBytes / chunk.size(); ++n) reader.Push(chunk);
    reader.Push("\nBSE,2\n");
    CsvRecord record;
    ASSERT_TRUE(reader.Next(record));
    EXPECT_NE(record.error, "");
    ASSERT_TRUE(reader.Next(record));
    EXPECT_EQ(record.fields, (Fields{"BSE", "2"}));
    EXPECT_EQ(record.line, 2);
}

TEST(CsvReader, AByteOrderMarkIsDroppedBeforeTheFirstFieldIsRead) {
    const std::string bom = "\xEF\xBB\xBF";
    for (std::size_t chunk : {std::string::npos, std::size_t{1}, std::size_t{2}}) {
        SCOPED_TRACE(chunk);
        const std::vector<CsvRecord> quoted = ReadAll(bom + "\"NSE\",\"RELIANCE\",2885\n", chunk);
        ASSERT_EQ(quoted.size(), 1u);
        EXPECT_EQ(quoted[0].fields, (Fields{"NSE", "RELIANCE", "2885"}));
        EXPECT_EQ(quoted[0].error, "");
        // A line holding only the mark is a blank line.
        const std::vector<CsvRecord> alone = ReadAll(bom + "\nNSE,1\n", chunk);
        ASSERT_EQ(alone.size(), 2u);
        EXPECT_TRUE(alone[0].blank);
        EXPECT_EQ(alone[1].fields, (Fields{"NSE", "1"}));
        // Only at the start, and only the whole mark.
        EXPECT_EQ(ReadAll("\xEF\xBB,x" + bom, chunk)[0].fields, (Fields{"\xEF\xBB", "x" + bom}));
        EXPECT_EQ(ReadAll(bom + bom, chunk)[0].fields, (Fields{bom}));
    }
    EXPECT_TRUE(ReadAll(bom).empty());
}

TEST(CsvReader, AStrayQuoteCostsOneLineAndTheLinesAfterItAreReadAgain) {
    std::string good;
    for (int k = 2; k <= 21; ++k) good += "NSE,tick," + std::to_string(k) + "\n";
    // A live stream: past the limit of line breaks the lines come out before more input.
    CsvReader live(8);
    live.Push("NSE,\"oops,1\n" + good);
    std::vector<CsvRecord> records;
    for (CsvRecord record; live.Next(record);) records.push_back(record);
    ASSERT_EQ(records.size(), 21u);
    EXPECT_EQ(records[0].line, 1);
    EXPECT_NE(records[0].error, "");
    for (int k = 2; k <= 21; ++k) {
        EXPECT_EQ(records[k - 1].fields, (Fields{"NSE", "tick", std::to_string(k)}));
        EXPECT_EQ(records[k - 1].line, k);
    }
    // A file: the quote that never closes, or closes before text, is found out later.
    for (const std::string& tail : {std::string(), std::string("NSE,\"x\"y,22\r\n")}) {
        const std::vector<CsvRecord> file = ReadAll("NSE,\"oops,1\r\n" + good + tail, 5);
        ASSERT_EQ(file.size(), tail.empty() ? 21u : 22u);
        EXPECT_NE(file[0].error, "");
        EXPECT_EQ(file[20].fields, (Fields{"NSE", "tick", "21"}));
        EXPECT_EQ(file[20].line, 21);
        if (!tail.empty()) {
            EXPECT_EQ(file[21].line, 22);
        }
    }
    // A quoted line break within the limit is still text.
    EXPECT_EQ(ReadAll("a,\"1\n2\n3\",b\n", std::string::npos, 2)[0].fields,
              (Fields{"a", "1\n2\n3", "b"}));
}

TEST(CsvReader, TheSizeLimitLeavesOutTheLineEnd) {
    const std::string fits(CsvReader::kMaxRecordBytes, 'x');
    std::vector<CsvRecord> records = ReadAll(fits + "\n" + fits + "y\nz\n", 4096);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].error, "");
    EXPECT_EQ(records[0].fields[0].size(), CsvReader::kMaxRecordBytes);
    EXPECT_NE(records[1].error, "");
    EXPECT_EQ(records[2].fields, (Fields{"z"}));
    EXPECT_EQ(records[2].line, 3);
}

}  // namespace
}  // namespace corvane::feed
