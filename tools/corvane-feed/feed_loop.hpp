// The feed itself: reads CSV lines from a source, checks them, decides each line's
// sheet and row, and writes it; reports every line it cannot write and goes on. When
// rows are updated in place, lines are paced: each row keeps only its newest line, and
// the rows that changed are written together at most once per interval.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "csv_reader.hpp"
#include "market_record.hpp"
#include "pending_rows.hpp"
#include "row_map.hpp"

namespace corvane::feed {

// Where the input's bytes come from.
class ByteSource {
  public:
    enum class Status { Data, Idle, End, Stopped, Failed };
    virtual ~ByteSource() = default;
    // Waits up to `wait` (a negative one: as long as it takes) for more input and
    // appends it to `chunk` (Data); Idle when nothing came in time, End at the end of
    // the input, Stopped when a stop was requested while waiting, Failed on a read error
    // (Error() says which).
    virtual Status Read(std::string& chunk, std::chrono::milliseconds wait) = 0;
    virtual std::string Error() const = 0;
    // Whether a stop was requested; asked between lines.
    virtual bool StopRequested() const = 0;
};

// What the rows are written to: the C API's row functions and their result codes.
class SheetWriter : public RowsWriter {
  public:
    virtual int WriteTitles(const std::string& sheet, int row) = 0;
    virtual bool OfficeAnswers() = 0;
    virtual std::string LastError() = 0;
};

// Where the loop tells what happens.
class FeedEvents {
  public:
    virtual ~FeedEvents() = default;
    virtual void LineFailed(long line, const std::string& why) = 0;
    virtual void RowWritten(long rowsWritten) = 0;
};

struct FeedSettings {
    std::string sheet;              // the one sheet, unless sheetPerExchange
    bool sheetPerExchange = false;  // each line goes to the sheet named in column A
    int firstRow = 1;               // zero-based row of the first instrument
    bool titles = true;             // titles in the row above firstRow
    bool follow = false;            // rows by instrument instead of one after another
    // With follow: the least time from one write of the changed rows to the next;
    // zero writes each line as soon as it is read. Without follow every line is
    // written as soon as it is read.
    std::chrono::milliseconds interval{0};
};

struct FeedResult {
    long lines = 0;        // instrument lines read (header and blank lines not counted)
    long written = 0;      // rows written, updates included
    long failed = 0;       // lines reported and skipped
    long instruments = 0;  // distinct rows holding a line
    int sheets = 0;        // sheets a line was written to
    bool stopped = false;  // a stop request ended the input early
    std::string fatal;     // why the feed could not go on (naming the line); empty when it could
};

class FeedLoop {
  public:
    using Clock = std::chrono::steady_clock;

    // `now`: the time, for pacing the writes.
    FeedLoop(FeedSettings settings, RecordCheck check,
             std::function<Clock::time_point()> now = &Clock::now);

    // Feeds until the input ends, a stop is requested (the current line is finished
    // first), or a failure makes every further line fail (the office went away, the
    // one sheet does not exist). Lines still waiting are written before it returns,
    // unless it ends on such a failure.
    FeedResult Run(ByteSource& source, SheetWriter& writer, FeedEvents& events);

    // Rows read but not written yet.
    std::size_t Waiting() const { return pending_.Size(); }

  private:
    struct SheetState {
        explicit SheetState(int firstRow) : rows(firstRow) {}
        RowMap rows;
        bool titlesWritten = false;
        bool used = false;  // a line was written to it
    };

    void Handle(CsvRecord& record, SheetWriter& writer, FeedEvents& events);
    bool FlushDue() const;
    // How long the input may be waited for before the waiting rows are due.
    std::chrono::milliseconds InputWait() const;
    // Writes the waiting rows; the next write is due an interval after it ends.
    void Flush(SheetWriter& writer, FeedEvents& events);
    // Takes the outcome of one waiting row's write; false when no further row can be
    // written.
    bool Written(const std::string& sheet, int row, const PendingLine& line, int code,
                 SheetWriter& writer, FeedEvents& events);
    // Reports a failed write of `line`; sets result_.fatal when no later line can
    // succeed either.
    void WriteFailed(int code, long line, const std::string& sheet, SheetWriter& writer,
                     FeedEvents& events);
    void Fail(long line, const std::string& why, FeedEvents& events);

    FeedSettings settings_;
    RecordCheck check_;
    std::function<Clock::time_point()> now_;
    std::map<std::string, SheetState> sheets_;
    // Sheet keys (see SheetKey) and the name each sheet is written under.
    std::map<std::string, std::string> sheetNames_;
    PendingRows pending_;
    Clock::time_point nextFlush_ = Clock::time_point::min();
    // New instruments whose rows could not be written, to forget after a flush.
    struct Unplaced {
        std::string sheet;
        InstrumentKey key;
        int row;
    };
    std::vector<Unplaced> unplaced_;
    bool firstLine_ = true;
    FeedResult result_;
};

}  // namespace corvane::feed
