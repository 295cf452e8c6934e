// Incremental reader of comma-separated records (RFC 4180): fields in double quotes may
// hold commas, line breaks and doubled quotes. Bytes are pushed in as they arrive, and a
// record is available as soon as its line ends, so a live stream is handled line by line.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::feed {

struct CsvRecord {
    std::vector<std::string> fields;
    long line = 0;       // input line on which the record starts, from 1
    std::string error;   // why the record is malformed; empty when it is sound
    bool blank = false;  // the line held nothing at all
};

class CsvReader {
  public:
    // A record that grows beyond this many bytes (its ending line break not counted) is
    // reported as malformed.
    static constexpr std::size_t kMaxRecordBytes = 1 << 20;

    // `maxQuotedLineBreaks`: how many line breaks a quoted field may hold before its
    // opening quote is taken for a stray one; 0 for no limit but the record's size.
    //
    // A record that turns out malformed after a line break (a stray opening quote
    // swallowed the lines after it, its closing quote is followed by text, it never
    // closes, it grows too long) is reported on its first line, and the lines after
    // that one are read again as records of their own, so that a stray quote costs one
    // line. A malformed record within one line is skipped to the end of its line.
    explicit CsvReader(std::size_t maxQuotedLineBreaks = 0)
        : maxQuotedLineBreaks_(maxQuotedLineBreaks) {}

    // Parses `bytes`, which continue what was pushed before. A UTF-8 byte-order mark at
    // the very start of the input is dropped.
    void Push(std::string_view bytes);
    // Ends the input: completes a last record that has no line end.
    void Finish();
    // Moves the next complete record into `record`; false when none is ready.
    bool Next(CsvRecord& record);

  private:
    enum class State { FieldStart, Unquoted, Quoted, QuoteInQuoted, Discard };

    void Feed(std::string_view bytes);
    void Take(char c);
    void EndField();
    void EndRecord();
    void Malformed(const char* why);
    // Feeds again the bytes a malformed record gave back; false when there are none.
    bool Reread();

    const std::size_t maxQuotedLineBreaks_;
    bool atStart_ = true;
    std::string start_;  // the first bytes, until they are known not to begin a mark
    State state_ = State::FieldStart;
    CsvRecord current_;
    std::string field_;
    std::string raw_;  // the current record's bytes as read
    std::size_t quotedLineBreaks_ = 0;
    bool recordStarted_ = false;
    bool afterCarriageReturn_ = false;
    long line_ = 1;
    // Bytes of a malformed record after its first line, to be read again.
    std::string reread_;
    bool rereadAfterCarriageReturn_ = false;
    bool rereadPending_ = false;
    std::deque<CsvRecord> ready_;
};

}  // namespace corvane::feed
