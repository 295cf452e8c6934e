#include "csv_reader.hpp"

#include <utility>

namespace corvane::feed {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

void CsvReader::Push(std::string_view bytes) {
    if (!atStart_) return Feed(bytes);
    start_.append(bytes);
    // Too few bytes yet to tell a mark from text that starts like one.
    if (start_.size() < kByteOrderMark.size() && kByteOrderMark.substr(0, start_.size()) == start_)
        return;
    atStart_ = false;
    const std::string first = std::move(start_);
    start_.clear();
    std::string_view text(first);
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark)
        text.remove_prefix(kByteOrderMark.size());
    Feed(text);
}

void CsvReader::Finish() {
    if (atStart_) {
        atStart_ = false;
        const std::string first = std::move(start_);
        start_.clear();
        if (first != kByteOrderMark) Feed(first);
    }
    while (true) {
        afterCarriageReturn_ = false;
        if (!recordStarted_) return;
        if (state_ == State::Quoted) Malformed("a quoted field is not closed");
        if (Reread()) continue;
        if (state_ != State::Discard) EndField();
        EndRecord();
        return;
    }
}

bool CsvReader::Next(CsvRecord& record) {
    if (ready_.empty()) return false;
    record = std::move(ready_.front());
    ready_.pop_front();
    return true;
}

void CsvReader::Feed(std::string_view bytes) {
    std::string again;
    std::size_t at = 0;
    while (at < bytes.size()) {
        Take(bytes[at++]);
        if (!rereadPending_) continue;
        // The lines after a malformed record's first one, then the rest of `bytes`.
        std::string next = std::move(reread_);
        reread_.clear();
        rereadPending_ = false;
        afterCarriageReturn_ = rereadAfterCarriageReturn_;
        next.append(bytes.substr(at));
        again = std::move(next);
        bytes = again;
        at = 0;
    }
}

bool CsvReader::Reread() {
    if (!rereadPending_) return false;
    const std::string bytes = std::move(reread_);
    reread_.clear();
    rereadPending_ = false;
    afterCarriageReturn_ = rereadAfterCarriageReturn_;
    Feed(bytes);
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
    if (state_ != State::Discard) raw_ += c;

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
                break;
            }
            field_ += c;
            if (lineBreak && !lineFeedOfPair && maxQuotedLineBreaks_ > 0 &&
                ++quotedLineBreaks_ > maxQuotedLineBreaks_)
                Malformed("a quoted field runs on over too many lines (a stray quote?)");
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
    // The bytes of a record still open, its line break not counted.
    if (recordStarted_ && state_ != State::Discard && raw_.size() > kMaxRecordBytes)
        Malformed("the record is longer than 1 MiB");
}

void CsvReader::EndField() {
    current_.fields.push_back(std::move(field_));
    field_.clear();
}

void CsvReader::EndRecord() {
    ready_.push_back(std::move(current_));
    current_ = CsvRecord{};
    field_.clear();
    raw_.clear();
    quotedLineBreaks_ = 0;
    recordStarted_ = false;
    state_ = State::FieldStart;
}

void CsvReader::Malformed(const char* why) {
    if (current_.error.empty()) current_.error = why;
    current_.fields.clear();
    current_.fields.shrink_to_fit();
    field_.clear();
    field_.shrink_to_fit();
    const std::size_t lineEnd = raw_.find_first_of("\r\n");
    if (lineEnd == std::string::npos) {
        // Within one line: the rest of the line goes with it.
        raw_.clear();
        raw_.shrink_to_fit();
        state_ = State::Discard;
        return;
    }
    // Only the first line is taken for malformed; the others are read again.
    reread_ = raw_.substr(lineEnd + 1);
    rereadAfterCarriageReturn_ = raw_[lineEnd] == '\r';
    rereadPending_ = true;
    line_ = current_.line + 1;
    EndRecord();
    raw_.shrink_to_fit();
}

}  // namespace corvane::feed
