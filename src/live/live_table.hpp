// A live table: the host puts ticks and returns at once; a writer thread of the table
// keeps the sheet current every interval, writing each changed row with its newest tick
// in blocks planned by cost, in the cells that changed since the row was last written,
// and heals the table when the office goes away or stops answering. The table keeps the
// newest fields of every instrument it was given, so a recovered office gets every row
// back.
//
// An instrument's row is decided by the sheet, never by the order of ticks: before the
// writer writes into a sheet (at the first connection and after every reconnection) it
// reads the sheet's key columns and keeps each instrument found there in its row; a new
// instrument takes the first row after the last one used. A row whose instrument has not
// ticked is never written. A block is written only where its rows still hold what the
// table expects (see LiveSink::WriteBlock): when the user sorted, moved or typed over
// rows since, the writer reads the key columns again, places its instruments anew and
// writes them there, so that nothing of the user's or of another instrument is written
// over. It also reads them every few seconds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/deadline.hpp"
#include "core/defaults.hpp"
#include "live/block_plan.hpp"
#include "live/block_writer.hpp"
#include "live/live_row.hpp"
#include "live/live_sink.hpp"
#include "live/row_placement.hpp"
#include "live/sample_window.hpp"
#include "platform/thread_safety.hpp"

namespace corvane::live {

struct TableOptions {
    std::string sheet;              // the one sheet, unless sheetPerExchange
    bool sheetPerExchange = false;  // each instrument goes to the sheet named by its exchange
    int firstRow = 1;               // zero-based row of a sheet's first instrument
    bool titles = true;             // the column titles in the row above firstRow
    // The least time from the start of one write of the changed rows to the next; zero
    // writes as soon as anything changed.
    std::chrono::milliseconds interval{defaults::kLiveIntervalMs};
    // Waiting for an office that went away: first pause, doubled up to the last one.
    std::chrono::milliseconds backoffFirst{250};
    std::chrono::milliseconds backoffLast{5000};
    // How long the writer goes without a call before it asks the sink whether the
    // office is still there.
    std::chrono::milliseconds checkAfter{1000};
    // Where the cost of a block call starts before any call was measured, and whether
    // measured calls refine it.
    CallCost startCost{0.001, 0.00003};
    bool learnCost = true;
    int sheetRows = kSheetRows;  // rows of a sheet; an instrument past the last is refused
    // Whether the table's first reading of each sheet empties the market-watch rows found
    // there (from firstRow down) instead of keeping the instruments found in their rows;
    // the table's instruments then keep the rows it gave them.
    bool cleanSheet = false;
    // How often the writer reads a sheet's key columns to notice rows the user moved.
    std::chrono::milliseconds keyCheckEvery{2000};
    // With sheetPerExchange: an exchange whose sheet the workbook lacks gets a new one.
    bool addSheets = true;
};

enum class TableState { Connecting, Live, Recovering, Failed };

struct TableStats {
    std::uint64_t ticksPut = 0;
    std::uint64_t ticksReplaced = 0;  // replaced by a newer tick before being written
    // Rows sent in blocks, bridged gaps and rewrites included, in the columns that changed.
    std::uint64_t rowsWritten = 0;
    std::uint64_t cellsWritten = 0;  // the cells those rows were sent in
    std::uint64_t blockCalls = 0;
    std::uint64_t titleRowsWritten = 0;
    std::size_t instruments = 0;
    // Milliseconds over the recent flushes that wrote something (flushTime) and the
    // recent rows written with a new tick (staleness: from the earliest put of the row
    // that was not in the sheet yet until the block that carried it returned).
    Percentiles flushTime;
    Percentiles staleness;
    std::uint64_t restarts = 0;    // offices started anew after a loss
    std::uint64_t reconnects = 0;  // connections made again to a running office
    // Ticks of instruments that have no row: their exchange's sheet is missing and could
    // not be added, or their sheet is full.
    std::uint64_t ticksRefused = 0;
    std::uint64_t rowsAdopted = 0;  // instruments found in their sheets' rows and kept there
    std::uint64_t reorders = 0;     // key readings that found rows moved by someone else
    std::uint64_t keyReads = 0;     // readings of the key columns
    double keyReadSeconds = 0;      // time spent reading key columns and placing rows
    double officeSeconds = 0;       // time spent in every call into the office
    TableState state = TableState::Connecting;
    Error lastFailure;  // Ok when nothing failed yet
    CallCost cost;      // the current estimate of a block call's cost
};

class LiveTable {
  public:
    // Called on the writer thread, after the state changed, with the last failure.
    // It must return soon and must not call Flush or Close (they give Argument there).
    using StateCallback = std::function<void(TableState state, const Error& lastFailure)>;

    // Starts the writer thread, which opens the sink; does not wait for the office.
    // Throws std::invalid_argument for options that cannot work (no sheet name, titles
    // without a row above the first instrument, a first row past the sheet).
    LiveTable(TableOptions options, std::unique_ptr<LiveSink> sink,
              StateCallback onStateChange = {});
    // Closes with a deadline of 10 s unless closed already.
    ~LiveTable();
    LiveTable(const LiveTable&) = delete;
    LiveTable& operator=(const LiveTable&) = delete;

    // Takes the newest tick of an instrument (kColumnCount fields), keyed by exchange
    // and scrip code; a new instrument takes the next free row of its sheet. Copies the
    // fields and returns: it never waits for the writer thread or the office. Any
    // thread may put, several at once. A null field is empty. Argument for a tick
    // without exchange or scrip code; Full for a new instrument whose row would lie past
    // the sheet's last row; NoSheet when its exchange has no sheet and the workbook took
    // none; NotConnected once the table is closed.
    Error Put(const std::string_view* fields);
    Error Put(const char* const* fields);
    Error Put(const MarketWatchRecord& record);

    // Waits until everything put before the call is in the sheet, at most `timeout`.
    // Ok once written; Timeout when the time ran out first (a slow, stuck or lost office);
    // the last failure (Office when there is none) when a full attempt after the call left
    // rows or titles the office refused (they are tried again every interval), or when
    // the table failed for good; NotConnected after Close; Argument on the writer thread
    // (from the state callback), which cannot wait for itself.
    Error Flush(Timeout timeout);

    // Refuses further ticks, waits up to `timeout` for everything put to be written,
    // then ends the writer thread (a call still running then is cancelled through the
    // sink). Results as for Flush: whether everything was written. Later calls give
    // NotConnected; from the writer thread, Argument, and the table stays open.
    Error Close(Timeout timeout);

    TableStats Stats() const;

  private:
    using Clock = std::chrono::steady_clock;

    // The host's side, guarded by mu_.
    struct Slot {
        std::uint32_t sheet = 0;
        std::string key;  // the instrument, handed to the writer with its first tick
        LiveRow pending;  // the newest tick while `dirty`; empty once collected
        bool dirty = false;
        Clock::time_point firstPut;  // the earliest put since the last collection
    };
    struct SheetPlace {
        std::string name;
        std::size_t instruments = 0;
        bool refused = false;  // the workbook has no such sheet and took none
    };

    // The writer thread's side: an instrument's tick, and whether it is in the sheet.
    // Its row is the placement's.
    struct Shadow {
        LiveRow fields;  // the instrument's newest tick collected from the host's side
        bool known = false;
        bool needsWrite = false;
        Clock::time_point firstPut;  // of the earliest tick not in the sheet
        // What its row holds since the table last wrote it there, which the next write
        // is compared with: `fields` (Newest), `earlier` (Earlier, a tick collected before
        // the newest), or not known since the sheet was last read (Unknown), when the
        // next write covers every column.
        enum class InRow { Unknown, Newest, Earlier } inRow = InRow::Unknown;
        LiveRow earlier;
        // What its row holds is no longer known: its next write covers every column.
        void ForgetRow() {
            inRow = InRow::Unknown;
            earlier = LiveRow();
        }
    };
    // A sheet as the writer keeps it, numbered as the placement numbers it.
    struct SheetRows {
        std::string name;
        bool titlesNeeded = false;
        bool read = false;     // its key columns were read since the last connection
        bool cleaned = false;  // cleanSheet: done (only the first reading cleans)
        bool moved = false;    // a write found rows changed: read before the next one
        Clock::time_point readAt;
        std::size_t healFrom = 0;  // the first row the next cycle rewrites whole
        Clock::time_point healAt;  // when rows were last shared out to rewrite whole
        double healDue = 0;        // rows due to be rewritten whole, not yet taken
    };
    class Ticks;  // a sheet's rows for the block writer
    enum class CycleEnd { Done, Lost, Stopped };
    // How one step of writing a sheet ended; Skip: the sheet waits for the next cycle.
    enum class StepEnd { Done, Skip, Lost, Stopped };

    void Run();
    // Opens (first) or recovers the sink, with backoff while the office is away; false
    // when the table failed or is stopping.
    bool Connect(bool first, Error cause);
    // A new instrument's slot; an error when its sheet has no room or cannot be had.
    Error AddSlot(std::string key, const std::string_view* fields, std::uint32_t& id) REQUIRES(mu_);
    // Takes the ticks put since the last collection into the shadows; returns the flush
    // generation it serves.
    std::uint64_t Collect();
    // Moves the collected slots' ticks into their shadows, handing instruments new to the
    // writer to the placement; returns how many ticks replaced one not written yet.
    std::uint64_t TakeTicks();
    void AddSheetRows(const std::string& name);
    // The rows (by index from the first row, first and end) this cycle rewrites whole in
    // `sheet` of `rows` rows, and the next cycle's start.
    std::pair<std::size_t, std::size_t> HealSlice(SheetRows& sheet, std::size_t rows);
    CycleEnd Cycle(Error& lost);
    // Flushes served by a cycle learn how it ended.
    void Settle(std::uint64_t generation);
    // One attempt at a sheet's titles and changed rows; `moved` when a block found its
    // rows changed by someone else, so that the sheet is to be read and tried again.
    CycleEnd WriteSheet(std::uint32_t sheet, const CallCost& cost, bool& wrote, bool& moved,
                        Error& lost);
    // One sink call of a sheet's step: Stopped when the table is stopping, Lost (with
    // `lost`) when the office went away, else Done with the call's `result`.
    StepEnd SinkStep(const std::function<Error()>& call, Error& result, Error& lost);
    StepEnd WriteTitles(SheetRows& sheet, bool& wrote, Error& lost);
    CycleEnd WriteRows(std::uint32_t sheet, const CallCost& cost, bool& wrote, bool& moved,
                       Error& lost);
    // Marks the rows of a written block as in the sheet.
    void MarkWritten(std::uint32_t sheet, const WrittenBlock& written);
    // Reads a sheet's key columns and places its instruments by them (first reading
    // after a connection), or checks that the rows still hold the instruments the table
    // placed there and places them anew when not (a later reading).
    StepEnd ReadSheet(std::uint32_t sheet, Error& lost);
    // cleanSheet: empties the rows a first reading found, once.
    StepEnd Clean(SheetRows& sheet, std::vector<RowKey>& keys, Error& lost);
    // Carries out what the placement decided for `sheet`.
    void Apply(const Placement& placement, const SheetRows& sheet);
    // The sheet cannot be had: its instruments' ticks are refused until a reconnection.
    void Refuse(std::uint32_t sheet, const std::string& why);
    // Takes a shadow's tick onto, or off, the rows still to write.
    void Rewrite(Shadow& shadow);
    void Unwrite(Shadow& shadow);
    // One sink call, unless the table is stopping (then false).
    bool Call(const std::function<Error()>& call, Error& result);
    void MarkAllForRewrite();
    void SetState(TableState state);
    void Record(const Error& result);
    Error WaitWritten(Clock::time_point deadline, platform::Lock& lock) REQUIRES(mu_);

    const TableOptions options_;
    const std::unique_ptr<LiveSink> sink_;
    const StateCallback onStateChange_;

    // The host's side: what puts, flushes and close share with the writer.
    mutable platform::Mutex mu_;
    std::condition_variable wake_;     // the writer: a flush request, a tick, a stop
    std::condition_variable written_;  // flushes: a clean cycle, failure, the writer's end
    std::unordered_map<std::string, std::uint32_t> index_ GUARDED_BY(mu_);
    std::unordered_map<std::string, std::uint32_t> sheetIndex_ GUARDED_BY(mu_);
    std::vector<SheetPlace> sheets_ GUARDED_BY(mu_);
    std::deque<Slot> slots_ GUARDED_BY(mu_);
    std::vector<std::uint32_t> dirty_ GUARDED_BY(mu_);
    std::uint64_t ticksPut_ GUARDED_BY(mu_) = 0;
    std::uint64_t ticksReplaced_ GUARDED_BY(mu_) = 0;
    std::uint64_t ticksRefused_ GUARDED_BY(mu_) = 0;
    std::uint64_t flushAsked_ GUARDED_BY(mu_) = 0;    // generation of the newest flush request
    std::uint64_t flushServed_ GUARDED_BY(mu_) = 0;   // generation the last collection served
    std::uint64_t flushWritten_ GUARDED_BY(mu_) = 0;  // generation known to be in the sheet
    std::uint64_t flushRefused_ GUARDED_BY(mu_) = 0;  // generation whose attempt had refusals
    bool closed_ GUARDED_BY(mu_) = false;
    bool stop_ GUARDED_BY(mu_) = false;
    bool failed_ GUARDED_BY(mu_) = false;
    bool writerEnded_ GUARDED_BY(mu_) = false;

    // Whether a sink call is running, and stop_'s copy for it.
    platform::Mutex callMu_;
    bool inCall_ GUARDED_BY(callMu_) = false;
    bool callsStopped_ GUARDED_BY(callMu_) = false;

    // The writer thread's alone.
    std::vector<Shadow> shadows_;
    std::vector<SheetRows> sheetRows_;
    RowPlacement placement_;
    BlockWriter blocks_;
    std::vector<std::uint32_t> collecting_;
    std::size_t unwritten_ = 0;
    Clock::time_point lastContact_;  // the end of the last sink call that reached the office

    mutable platform::Mutex statsMu_;
    TableStats stats_ GUARDED_BY(statsMu_);  // the writer's counters; puts' are added in Stats()
    SampleWindow flushTimes_ GUARDED_BY(statsMu_){256};
    SampleWindow staleness_ GUARDED_BY(statsMu_){4096};

    std::thread writer_;
};

}  // namespace corvane::live
