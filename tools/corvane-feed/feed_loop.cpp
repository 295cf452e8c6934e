#include "feed_loop.hpp"

#include <corvane/corvane.h>

#include <algorithm>
#include <utility>

#include "sheet_key.hpp"

namespace corvane::feed {
namespace {

// With --follow, how many line breaks a quoted field may hold: a stray opening quote in
// a live stream must not hold back the lines after it for long.
constexpr std::size_t kLiveQuotedLineBreaks = 8;

bool IsBlankLine(const CsvRecord& record) {
    return record.blank || (record.fields.size() == 1 && Trimmed(record.fields[0]).empty());
}

}  // namespace

FeedLoop::FeedLoop(FeedSettings settings, RecordCheck check, std::function<Clock::time_point()> now)
    : settings_(std::move(settings)), check_(std::move(check)), now_(std::move(now)) {
    // Lines that fill rows one after another each have a row of their own: nothing to
    // gain by holding them back.
    if (!settings_.follow || settings_.interval.count() < 0)
        settings_.interval = std::chrono::milliseconds(0);
}

FeedResult FeedLoop::Run(ByteSource& source, SheetWriter& writer, FeedEvents& events) {
    CsvReader reader(settings_.follow ? kLiveQuotedLineBreaks : 0);
    bool ended = false;
    std::string chunk;
    // However the feed ends, the lines read are written first, unless no row can be.
    const auto finish = [&] {
        if (result_.fatal.empty() && !pending_.Empty()) Flush(writer, events);
        return result_;
    };
    while (true) {
        CsvRecord record;
        while (reader.Next(record)) {
            if (source.StopRequested()) {
                result_.stopped = true;
                return finish();
            }
            Handle(record, writer, events);
            if (result_.fatal.empty() && FlushDue()) Flush(writer, events);
            if (!result_.fatal.empty()) return result_;
        }
        if (ended) return finish();
        if (FlushDue()) {
            Flush(writer, events);
            if (!result_.fatal.empty()) return result_;
        }
        chunk.clear();
        switch (source.Read(chunk, InputWait())) {
            case ByteSource::Status::Data:
                reader.Push(chunk);
                break;
            case ByteSource::Status::Idle:
                break;
            case ByteSource::Status::End:
                reader.Finish();
                ended = true;
                break;
            case ByteSource::Status::Stopped:
                result_.stopped = true;
                return finish();
            case ByteSource::Status::Failed:
                finish();
                if (result_.fatal.empty())
                    result_.fatal = "cannot read the input: " + source.Error();
                return result_;
        }
    }
}

bool FeedLoop::FlushDue() const { return !pending_.Empty() && now_() >= nextFlush_; }

std::chrono::milliseconds FeedLoop::InputWait() const {
    if (pending_.Empty()) return std::chrono::milliseconds(-1);
    const Clock::time_point now = now_();
    if (now >= nextFlush_) return std::chrono::milliseconds(0);
    return std::chrono::ceil<std::chrono::milliseconds>(nextFlush_ - now);
}

void FeedLoop::Flush(SheetWriter& writer, FeedEvents& events) {
    pending_.Flush(writer,
                   [&](const std::string& sheet, int row, const PendingLine& line, int code) {
                       return Written(sheet, row, line, code, writer, events);
                   });
    // From the last row back, so that rows at the end are offered again.
    std::sort(unplaced_.begin(), unplaced_.end(),
              [](const Unplaced& a, const Unplaced& b) { return a.row > b.row; });
    for (const Unplaced& gone : unplaced_) sheets_.at(gone.sheet).rows.Release(gone.key, gone.row);
    unplaced_.clear();
    nextFlush_ = now_() + settings_.interval;
}

bool FeedLoop::Written(const std::string& sheet, int row, const PendingLine& line, int code,
                       SheetWriter& writer, FeedEvents& events) {
    SheetState& state = sheets_.at(sheet);
    if (code != CORVANE_OK) {
        if (settings_.follow && line.isNew) unplaced_.push_back({sheet, line.key, row});
        WriteFailed(code, line.line, sheet, writer, events);
        return result_.fatal.empty();
    }
    if (!settings_.follow) state.rows.Advance();
    if (line.isNew) ++result_.instruments;
    if (!state.used) {
        state.used = true;
        ++result_.sheets;
    }
    ++result_.written;
    events.RowWritten(result_.written);
    return true;
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
    if (const std::string why = check_.Complete(fields); !why.empty())
        return Fail(record.line, why, events);

    std::string sheet = settings_.sheet;
    if (settings_.sheetPerExchange) {
        const std::string exchange(Trimmed(fields[0]));
        if (exchange.empty())
            return Fail(record.line, "column A (Exchange) is empty: no sheet to write to", events);
        // The office finds a sheet whatever the case of its name: "nse" is sheet NSE and
        // shares its rows. The first spelling read names the sheet from then on.
        sheet = sheetNames_.try_emplace(SheetKey(exchange), exchange).first->second;
    }
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
    // The instrument holds its row from now on, so that its next lines replace this one
    // while it waits.
    if (settings_.follow && place.isNew) state.rows.Commit(key, place.row);
    pending_.Put(sheet, place.row,
                 PendingLine{std::move(fields), record.line, std::move(key), place.isNew});
}

void FeedLoop::WriteFailed(int code, long line, const std::string& sheet, SheetWriter& writer,
                           FeedEvents& events) {
    const std::string error = writer.LastError();
    std::string fatal;
    if (code == CORVANE_E_NO_SHEET) {
        const std::string why = "the workbook has no sheet named " + Shown(sheet);
        // Lines of other exchanges may still have their sheet.
        if (settings_.sheetPerExchange) return Fail(line, why, events);
        fatal = why;
    } else if (code == CORVANE_E_NOT_CONNECTED || code == CORVANE_E_TIMEOUT ||
               !writer.OfficeAnswers()) {
        fatal = "the office no longer answers (" + error + ")";
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
