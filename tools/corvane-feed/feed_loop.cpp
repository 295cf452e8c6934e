#include "feed_loop.hpp"

#include <limits>
#include <utility>

#include "sheet/sheet_names.hpp"

namespace corvane::feed {
namespace {

// With --follow, how many line breaks a quoted field may hold: a stray opening quote in
// a live stream must not hold back the lines after it for long.
constexpr std::size_t kLiveQuotedLineBreaks = 8;

bool IsBlankLine(const CsvRecord& record) {
    return record.blank || (record.fields.size() == 1 && Trimmed(record.fields[0]).empty());
}

}  // namespace

FeedLoop::FeedLoop(FeedSettings settings, RecordCheck check)
    : settings_(std::move(settings)), check_(std::move(check)) {}

FeedResult FeedLoop::Run(ByteSource& source, SheetWriter& writer, FeedEvents& events) {
    CsvReader reader(settings_.follow ? kLiveQuotedLineBreaks : 0);
    bool ended = false;
    std::string chunk;
    while (true) {
        CsvRecord record;
        while (reader.Next(record)) {
            if (source.StopRequested()) {
                result_.stopped = true;
                return result_;
            }
            Handle(record, writer, events);
            if (!result_.fatal.ok()) return result_;
        }
        if (ended) return result_;
        chunk.clear();
        switch (source.Read(chunk)) {
            case ByteSource::Status::Data:
                reader.Push(chunk);
                break;
            case ByteSource::Status::End:
                reader.Finish();
                ended = true;
                break;
            case ByteSource::Status::Stopped:
                result_.stopped = true;
                return result_;
            case ByteSource::Status::Failed:
                result_.fatal =
                    corvane::Error(ErrorCode::Argument, "cannot read the input: " + source.Error());
                return result_;
        }
    }
}

FeedResult FeedLoop::Run(RecordSource& source, SheetWriter& writer, FeedEvents& events) {
    std::vector<SourcedRecord> batch;
    while (true) {
        batch.clear();
        const RecordSource::Status status = source.Read(batch);
        // A batch is handed on whole, a stop request or not: what arrived before the
        // stop is in the rows.
        for (const SourcedRecord& sourced : batch) {
            HandleSourced(sourced, writer, events);
            if (!result_.fatal.ok()) return result_;
        }
        events.Idle();
        if (status == RecordSource::Status::Stopped || source.StopRequested()) {
            result_.stopped = true;
            return result_;
        }
        if (status == RecordSource::Status::Failed) {
            result_.fatal = source.Failure();
            return result_;
        }
    }
}

void FeedLoop::HandleSourced(const SourcedRecord& sourced, SheetWriter& writer,
                             FeedEvents& events) {
    origin_ = &sourced.origin;
    CsvReader reader(kLiveQuotedLineBreaks);
    reader.Push(sourced.text);
    reader.Finish();
    CsvRecord record;
    if (reader.Next(record)) {
        bool more = false;
        for (CsvRecord extra; !more && reader.Next(extra);) more = !IsBlankLine(extra);
        if (more && record.error.empty()) {
            ++result_.lines;
            Fail(0, "holds more than one record", events);
        } else if (!record.error.empty() || !check_.IsHeader(record.fields)) {
            // A source may repeat the titles at any time: they are no instrument.
            firstLine_ = false;
            Handle(record, writer, events);
        }
    }
    origin_ = nullptr;
}

std::string FeedLoop::Place(long line) const {
    return origin_ != nullptr ? *origin_ : "line " + std::to_string(line);
}

void FeedLoop::Handle(CsvRecord& record, SheetWriter& writer, FeedEvents& events) {
    if (IsBlankLine(record)) return;
    if (firstLine_) {
        firstLine_ = false;
        if (record.error.empty() && check_.IsHeader(record.fields)) return;
    }
    ++result_.lines;
    if (!record.error.empty()) return Fail(record.line, record.error, events);
    std::vector<std::string>& fields = record.fields;
    if (const corvane::Error refused = check_.Complete(fields); !refused.ok())
        return Fail(record.line, refused.message(), events);

    std::string sheet = settings_.sheet;
    if (settings_.sheetPerExchange) {
        const std::string exchange(Trimmed(fields[0]));
        if (exchange.empty())
            return Fail(record.line, "column A (Exchange) is empty: no sheet to write to", events);
        // The office finds a sheet whatever the case of its name: "nse" is sheet NSE and
        // shares its rows. The first spelling read names the sheet from then on.
        sheet = sheetNames_.try_emplace(sheet::SheetNameKey(exchange), exchange).first->second;
    }
    std::string key;
    if (settings_.follow) {
        key = platform::InstrumentKey(fields[0], fields[2]);
        if (key.empty())
            return Fail(record.line,
                        std::string(Trimmed(fields[0]).empty() ? "column A (Exchange)"
                                                               : "column C (Scrip Code)") +
                            " is empty: the instrument cannot be told apart",
                        events);
    }

    SheetState& state = sheets_.try_emplace(sheet, settings_.firstRow).first->second;
    if (settings_.titles && !state.titlesWritten) {
        const corvane::Error error = writer.WriteTitles(sheet, settings_.firstRow - 1);
        if (!error.ok()) return WriteFailed(error, record.line, sheet, writer, events);
        state.titlesWritten = true;
    }

    const int row = settings_.follow ? kTableRow : state.nextRow;
    const corvane::Error error = writer.WriteRecord(sheet, row, fields);
    if (!error.ok()) return WriteFailed(error, record.line, sheet, writer, events);
    // Without --follow a row the office refused is offered to the next line; with it an
    // instrument is counted once, at its first line written.
    if (!settings_.follow) {
        if (state.nextRow < std::numeric_limits<int>::max()) ++state.nextRow;
        ++result_.instruments;
    } else if (instruments_.insert(std::move(key)).second) {
        ++result_.instruments;
    }
    if (!state.used) {
        state.used = true;
        ++result_.sheets;
    }
    ++result_.written;
    events.RowWritten(result_.written);
}

void FeedLoop::WriteFailed(const corvane::Error& error, long line, const std::string& sheet,
                           SheetWriter& writer, FeedEvents& events) {
    std::string fatal;
    if (error == ErrorCode::NoSheet) {
        const std::string why = "the workbook has no sheet named " + Shown(sheet);
        // Lines of other exchanges may still have their sheet. Every line of a missing
        // sheet is counted; the first one is reported, naming it.
        if (settings_.sheetPerExchange) {
            if (missingSheets_.insert(sheet).second) return Fail(line, why, events);
            ++result_.failed;
            return;
        }
        fatal = why;
    } else if (error == ErrorCode::NotConnected || error == ErrorCode::Timeout ||
               !writer.OfficeAnswers()) {
        fatal = "the office no longer answers (" + error.message() + ")";
    } else {
        // The office refused this row (a row beyond the sheet's end, say); others may do.
        return Fail(line, error.message(), events);
    }
    ++result_.failed;
    result_.fatal = corvane::Error(error.code(), Place(line) + " not written: " + fatal);
}

void FeedLoop::Fail(long line, const std::string& why, FeedEvents& events) {
    ++result_.failed;
    if (origin_ != nullptr)
        events.RecordFailed(*origin_, why);
    else
        events.LineFailed(line, why);
}

}  // namespace corvane::feed
