#include "csv_reader.hpp"

#include <utility>

namespace corvane::feed {

void CsvReader::Push(std::string_view bytes) {
    for (char c : bytes) Take(c);
}

void CsvReader::Finish() {
    afterCarriageReturn_ = false;
    if (!recordStarted_) return;
    if (state_ == State::Quoted) Malformed("a quoted field is not closed");
    if (state_ != State::Discard) EndField();
    EndRecord();
}

bool CsvReader::Next(CsvRecord& record) {
    if (ready_.empty()) return false;
    record = std::move(ready_.front());
    ready_.pop_front();
    return true;
}

void CsvReader::Take(char c) {
    const bool lineFeedOfPair = c == '\n' && afterCarriageReturn_;
    afterCarriageReturn_ = c == '\r';
    const bool lineBreak = c == '\r' || c == '\n';

    // The line feed of a CR LF pair that already ended a record belongs to that record.
    if (lineFeedOfPair && !recordStarted_) return;
    if (!recordStarted_) {
        recordStarted_ = true;
        current_.line = line_;
    }
    if (lineBreak && !lineFeedOfPair) ++line_;

    if (++recordBytes_ > kMaxRecordBytes && state_ != State::Discard) {
        Malformed("the record is longer than 1 MiB");
    }

    switch (state_) {
        case State::FieldStart:
            if (c == '"') {
                state_ = State::Quoted;
            } else if (c == ',') {
                EndField();
            } else if (lineBreak) {
                if (current_.fields.empty()) {
                    current_.blank = true;
                } else {
                    EndField();
                }
                EndRecord();
            } else {
                field_ += c;
                state_ = State::Unquoted;
            }
            break;
        case State::Unquoted:
            if (c == ',') {
                EndField();
                state_ = State::FieldStart;
            } else if (lineBreak) {
                EndField();
                EndRecord();
            } else {
                // A quote inside an unquoted field is kept as it is (5" screen).
                field_ += c;
            }
            break;
        case State::Quoted:
            if (c == '"') {
                state_ = State::QuoteInQuoted;
            } else {
                field_ += c;
            }
            break;
        case State::QuoteInQuoted:
            if (c == '"') {
                field_ += '"';
                state_ = State::Quoted;
            } else if (c == ',') {
                EndField();
                state_ = State::FieldStart;
            } else if (lineBreak) {
                EndField();
                EndRecord();
            } else {
                Malformed("text follows the closing quote of a field");
            }
            break;
        case State::Discard:
            if (lineBreak) EndRecord();
            break;
    }
}

void CsvReader::EndField() {
    current_.fields.push_back(std::move(field_));
    field_.clear();
}

void CsvReader::EndRecord() {
    ready_.push_back(std::move(current_));
    current_ = CsvRecord{};
    field_.clear();
    recordBytes_ = 0;
    recordStarted_ = false;
    state_ = State::FieldStart;
}

void CsvReader::Malformed(const char* why) {
    if (current_.error.empty()) current_.error = why;
    current_.fields.clear();
    current_.fields.shrink_to_fit();
    field_.clear();
    field_.shrink_to_fit();
    state_ = State::Discard;
}

}  // namespace corvane::feed
