// C++ over the C API's live tables: a table that closes itself when it goes out of scope.
#pragma once

#include <corvane/corvane.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

namespace corvane {

// A failed live-table call: the C API's code and its description.
class LiveTableError : public std::runtime_error {
  public:
    LiveTableError(int code, const std::string& what) : std::runtime_error(what), code_(code) {}
    int code() const noexcept { return code_; }

  private:
    int code_;
};

namespace detail {
// The C API's defaults, the one place they are written.
inline corvane_live_options LiveDefaults() {
    corvane_live_options c;
    corvane_live_default_options(&c);
    return c;
}
}  // namespace detail

// Options with the C API's defaults (see corvane_live_options); the texts are kept here.
struct LiveTableOptions {
    std::string workbook;
    std::string sheet;
    bool sheetPerExchange = false;
    int firstRow = detail::LiveDefaults().first_row;
    bool titles = detail::LiveDefaults().titles != 0;
    int intervalMs = detail::LiveDefaults().interval_ms;
    int callTimeoutMs = detail::LiveDefaults().call_timeout_ms;
    bool ownOffice = false;
    std::string officePath;  // owned: "" for the installation the library was built for
    std::string profileDir;  // owned: "" for a throw-away profile
    bool showOffice = false;
    bool fastWrites = false;
    bool rowTimes = false;
    int openWaitMs = 0;
    int loadTimeoutMs = 0;  // 0: the default
    int saveTimeoutMs = 0;  // 0: the default
    bool cleanSheet = false;
};

// A live table (see corvane_live_open). Put never waits for the office; the destructor
// closes the table, waiting up to 10 seconds for what was put to be written. Opening
// throws LiveTableError with the C API's code (CORVANE_E_ARGUMENT for options that
// cannot work, CORVANE_E_LOAD, CORVANE_E_TIMEOUT, ...).
class LiveTable {
  public:
    // The callback runs on the table's writer thread (see corvane_live_state_callback).
    explicit LiveTable(const LiveTableOptions& options,
                       corvane_live_state_callback callback = nullptr, void* user = nullptr) {
        corvane_live_options c;
        corvane_live_default_options(&c);
        c.workbook_path = options.workbook.c_str();
        c.sheet = options.sheet.c_str();
        c.sheet_per_exchange = options.sheetPerExchange;
        c.first_row = options.firstRow;
        c.titles = options.titles;
        c.interval_ms = options.intervalMs;
        c.call_timeout_ms = options.callTimeoutMs;
        c.own_office = options.ownOffice;
        c.office_path = options.officePath.empty() ? nullptr : options.officePath.c_str();
        c.profile_dir = options.profileDir.empty() ? nullptr : options.profileDir.c_str();
        c.show_office = options.showOffice;
        c.fast_writes = options.fastWrites;
        c.row_times = options.rowTimes;
        c.open_wait_ms = options.openWaitMs;
        if (options.loadTimeoutMs > 0) c.load_timeout_ms = options.loadTimeoutMs;
        if (options.saveTimeoutMs > 0) c.save_timeout_ms = options.saveTimeoutMs;
        c.clean_sheet = options.cleanSheet;
        if (const int code = corvane_live_create(&c, callback, user, &table_); code != CORVANE_OK)
            throw LiveTableError(code, corvane_last_error());
    }
    ~LiveTable() {
        if (table_ != nullptr) corvane_live_close(table_, 10000);
    }
    LiveTable(LiveTable&& other) noexcept : table_(std::exchange(other.table_, nullptr)) {}
    LiveTable& operator=(LiveTable&& other) noexcept {
        if (this != &other) {
            if (table_ != nullptr) corvane_live_close(table_, 10000);
            table_ = std::exchange(other.table_, nullptr);
        }
        return *this;
    }
    LiveTable(const LiveTable&) = delete;
    LiveTable& operator=(const LiveTable&) = delete;

    // The C API's result: CORVANE_OK, or a negative code for a tick that was refused (no
    // key, a full sheet, a closed table). Never throws, never waits for the office.
    int Put(const char* const fields[CORVANE_COLUMN_COUNT]) noexcept {
        return corvane_live_put(table_, fields);
    }
    // Throws LiveTableError unless everything put before is in the sheet within the time.
    void Flush(int timeoutMs) { Check(corvane_live_flush(table_, timeoutMs)); }
    void SaveCopy(const std::string& path, int timeoutMs) {
        Check(corvane_live_save_copy(table_, path.c_str(), timeoutMs));
    }
    corvane_live_stats Stats() const {
        corvane_live_stats stats;
        std::memset(&stats, 0, sizeof(stats));
        stats.struct_size = sizeof(stats);
        Check(corvane_live_get_stats(table_, &stats));
        return stats;
    }
    // Closes now; throws when not everything was written. Later calls fail. From the
    // state callback it throws CORVANE_E_ARGUMENT and the table stays open.
    void Close(int timeoutMs) {
        const int code = corvane_live_close(table_, timeoutMs);
        if (code != CORVANE_E_ARGUMENT) table_ = nullptr;
        Check(code);
    }

  private:
    static void Check(int code) {
        if (code < 0) throw LiveTableError(code, corvane_last_error());
    }
    corvane_live* table_ = nullptr;
};

}  // namespace corvane
