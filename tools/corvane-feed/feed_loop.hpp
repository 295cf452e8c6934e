// The feed itself: reads CSV lines from a source, checks them, decides each line's
// sheet, and writes it as soon as it is read; reports every line it cannot write and
// goes on. Without --follow the lines fill one row after another. With --follow the
// writer is a live table, which places each instrument in its row and paces the writes
// to the office itself.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "csv_reader.hpp"
#include "market_record.hpp"
#include "platform/instrument_key.hpp"

namespace corvane::feed {

// Where the input's bytes come from.
class ByteSource {
  public:
    enum class Status { Data, End, Stopped, Failed };
    virtual ~ByteSource() = default;
    // Waits for more input and appends it to `chunk` (Data); End at the end of the
    // input, Stopped when a stop was requested while waiting, Failed on a read error
    // (Error() says which).
    virtual Status Read(std::string& chunk) = 0;
    virtual std::string Error() const = 0;
    // Whether a stop was requested; asked between lines.
    virtual bool StopRequested() const = 0;
};

// One record of a source that hands out whole records, named by where it came from (a
// bus subject or key), which is how a record that cannot be written is reported.
struct SourcedRecord {
    std::string origin;
    std::string text;  // one CSV record; a line end after it is allowed
};

// Where whole records come from, one at a time or in bursts.
class RecordSource {
  public:
    enum class Status { Data, Stopped, Failed };
    virtual ~RecordSource() = default;
    // Waits a short while for records and appends them to `records` (Data, possibly
    // with none, so that the caller can show how things stand); Stopped when a stop
    // was requested, Failed when no more can come (Failure() says why).
    virtual Status Read(std::vector<SourcedRecord>& records) = 0;
    virtual const corvane::Error& Failure() const = 0;
    virtual bool StopRequested() const = 0;
};

// The row WriteRecord gets with --follow: the live table decides the instrument's row.
constexpr int kTableRow = -1;

// What the rows are written to: the C API's row functions, failing with their result
// codes and words.
class SheetWriter {
  public:
    virtual ~SheetWriter() = default;
    virtual corvane::Error WriteTitles(const std::string& sheet, int row) = 0;
    // `row` is zero-based, or kTableRow with --follow.
    virtual corvane::Error WriteRecord(const std::string& sheet, int row,
                                       const std::vector<std::string>& fields) = 0;
    virtual bool OfficeAnswers() = 0;
};

// Where the loop tells what happens.
class FeedEvents {
  public:
    virtual ~FeedEvents() = default;
    virtual void LineFailed(long line, const std::string& why) = 0;
    // A record of a RecordSource, named by its origin.
    virtual void RecordFailed(const std::string& origin, const std::string& why) = 0;
    virtual void RowWritten(long rowsWritten) = 0;
    // Between reads of a RecordSource, whether or not records came.
    virtual void Idle() {}
};

struct FeedSettings {
    std::string sheet;              // the one sheet, unless sheetPerExchange
    bool sheetPerExchange = false;  // each line goes to the sheet named in column A
    int firstRow = 1;               // zero-based row of the first instrument
    bool titles = true;             // titles in the row above firstRow
    bool follow = false;            // a live table places the rows by instrument
};

struct FeedResult {
    long lines = 0;        // instrument lines read (header and blank lines not counted)
    long written = 0;      // rows written, updates included
    long failed = 0;       // lines reported and skipped
    long instruments = 0;  // distinct instruments written (rows, without --follow)
    int sheets = 0;        // sheets a line was written to
    bool stopped = false;  // a stop request ended the input early
    // Why the feed could not go on, naming the line or origin: the write's code (Timeout
    // when the office did not answer it within the deadline), the source's, or Argument
    // for input that could not be read. Ok when it could go on.
    corvane::Error fatal;
};

class FeedLoop {
  public:
    FeedLoop(FeedSettings settings, RecordCheck check);

    // Feeds until the input ends, a stop is requested (the current line is finished
    // first), or a failure makes every further line fail (the office went away, the
    // one sheet does not exist).
    FeedResult Run(ByteSource& source, SheetWriter& writer, FeedEvents& events);
    // The same for whole records: each is read on its own (a record that spills into a
    // second one is malformed), a title record is skipped wherever it comes. Feeds
    // until a stop is requested (the records of the read in hand are finished first),
    // the source fails, or no further record can succeed.
    FeedResult Run(RecordSource& source, SheetWriter& writer, FeedEvents& events);

  private:
    struct SheetState {
        explicit SheetState(int firstRow) : nextRow(firstRow) {}
        int nextRow;  // without --follow: the row of the sheet's next line
        bool titlesWritten = false;
        bool used = false;  // a line was written to it
    };

    void Handle(CsvRecord& record, SheetWriter& writer, FeedEvents& events);
    // Reports a failed write of `line`; sets result_.fatal when no later line can
    // succeed either.
    void WriteFailed(const corvane::Error& error, long line, const std::string& sheet,
                     SheetWriter& writer, FeedEvents& events);
    void Fail(long line, const std::string& why, FeedEvents& events);
    // One record of a RecordSource.
    void HandleSourced(const SourcedRecord& sourced, SheetWriter& writer, FeedEvents& events);
    // "line N", or the origin of the record in hand.
    std::string Place(long line) const;

    FeedSettings settings_;
    RecordCheck check_;
    std::map<std::string, SheetState> sheets_;
    // Sheet keys (see sheet::SheetNameKey) and the name each sheet is written under.
    std::map<std::string, std::string> sheetNames_;
    // Sheets the workbook lacks (and took none): their lines are reported once.
    std::set<std::string> missingSheets_;
    // With --follow: the instruments a line was written for, to count them.
    std::set<std::string> instruments_;  // platform::InstrumentKey
    bool firstLine_ = true;
    // The origin of the RecordSource record in hand; null for lines.
    const std::string* origin_ = nullptr;
    FeedResult result_;
};

}  // namespace corvane::feed
