#include "feed_loop.hpp"

#include <corvane/corvane.h>

#include <utility>

namespace corvane::feed {
namespace {

constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";

bool IsBlankLine(const CsvRecord& record) {
    return record.blank || (record.fields.size() == 1 && Trimmed(record.fields[0]).empty());
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

FeedLoop::FeedLoop(FeedSettings settings, RecordCheck check)
    : settings_(std::move(settings)), check_(std::move(check)) {}

FeedResult FeedLoop::Run(ByteSource& source, SheetWriter& writer, FeedEvents& events) {
    CsvReader reader;
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
            if (!result_.fatal.empty()) return result_;
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
                result_.fatal = "cannot read the input: " + source.Error();
                return result_;
        }
    }
}

void FeedLoop::Handle(CsvRecord& record, SheetWriter& writer, FeedEvents& events) {
    if (IsBlankLine(record)) return;
    if (firstLine_) {
        firstLine_ = false;
        if (!record.fields.empty() && record.fields[0].rfind(kByteOrderMark, 0) == 0)
            record.fields[0].erase(0, sizeof kByteOrderMark - 1);
        if (record.error.empty() && check_.IsHeader(record.fields)) return;
    }
    ++result_.lines;
    if (!record.error.empty()) return Fail(record.line, record.error, events);
    std::vector<std::string>& fields = record.fields;
    if (const std::string why = check_.Complete(fields); !why.empty())
        return Fail(record.line, why, events);

    const std::string sheet =
        settings_.sheetPerExchange ? std::string(Trimmed(fields[0])) : settings_.sheet;
    if (sheet.empty())
        return Fail(record.line, "column A (Exchange) is empty: no sheet to write to", events);
    InstrumentKey key;
    std::string why;
    if (settings_.follow && !KeyOf(fields, key, why)) return Fail(record.line, why, events);

    SheetState& state = sheets_.try_emplace(sheet, settings_.firstRow).first->second;
    if (settings_.titles && !state.titlesWritten) {
        const int code = writer.WriteTitles(sheet, settings_.firstRow - 1);
        if (code != CORVANE_OK) return WriteFailed(code, record.line, sheet, writer, events);
        state.titlesWritten = true;
    }

    const RowMap::Placement place =
        settings_.follow ? state.rows.Place(key) : RowMap::Placement{state.rows.NextFree(), true};
    const int code = writer.WriteRecord(sheet, place.row, fields);
    if (code != CORVANE_OK) return WriteFailed(code, record.line, sheet, writer, events);

    if (settings_.follow) {
        if (place.isNew) state.rows.Commit(key, place.row);
    } else {
        state.rows.Advance();
    }
    if (place.isNew) ++result_.instruments;
    if (!state.used) {
        state.used = true;
        ++result_.sheets;
    }
    ++result_.written;
    events.RowWritten(result_.written);
}

void FeedLoop::WriteFailed(int code, long line, const std::string& sheet, SheetWriter& writer,
                           FeedEvents& events) {
    const std::string error = writer.LastError();
    std::string fatal;
    if (code == CORVANE_E_NO_SHEET) {
        const std::string why = "the workbook has no sheet named " + Quoted(sheet);
        // Lines of other exchanges may still have their sheet.
        if (settings_.sheetPerExchange) return Fail(line, why, events);
        fatal = why;
    } else if (code == CORVANE_E_NOT_CONNECTED || !writer.OfficeAnswers()) {
        constexpr char kGone[] = "the office no longer answers";
        fatal = error.find(kGone) != std::string::npos ? error : kGone + (" (" + error + ")");
    } else {
        // The office refused this row (a row beyond the sheet's end, say); others may do.
        return Fail(line, error, events);
    }
    ++result_.failed;
    result_.fatal = "line " + std::to_string(line) + " not written: " + fatal;
}

void FeedLoop::Fail(long line, const std::string& why, FeedEvents& events) {
    ++result_.failed;
    events.LineFailed(line, why);
}

}  // namespace corvane::feed
