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
    // A record that grows beyond this many bytes is reported as malformed and the
    // reader picks up again at the next line end, so a stray quote cannot swallow an
    // endless stream.
    static constexpr std::size_t kMaxRecordBytes = 1 << 20;

    // Parses `bytes`, which continue what was pushed before.
    void Push(std::string_view bytes);
    // Ends the input: completes a last record that has no line end.
    void Finish();
    // Moves the next complete record into `record`; false when none is ready.
    bool Next(CsvRecord& record);

  private:
    enum class State { FieldStart, Unquoted, Quoted, QuoteInQuoted, Discard };

    void Take(char c);
    void EndField();
    void EndRecord();
    void Malformed(const char* why);

    State state_ = State::FieldStart;
    CsvRecord current_;
    std::string field_;
    std::size_t recordBytes_ = 0;
    bool recordStarted_ = false;
    bool afterCarriageReturn_ = false;
    long line_ = 1;
    std::deque<CsvRecord> ready_;
};

}  // namespace corvane::feed
