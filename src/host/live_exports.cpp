// The C API of live tables: one LiveTable over an OfficeSink per handle, found through
// the session's table of open handles on every call.
#include <corvane/corvane.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/deadline.hpp"
#include "core/defaults.hpp"
#include "host/c_errors.hpp"
#include "host/c_timeout.hpp"
#include "host/live_handles.hpp"
#include "host/session_instance.hpp"
#include "live/block_plan.hpp"
#include "live/live_table.hpp"
#include "live/office_sink.hpp"
#include "platform/files.hpp"
#include "sheet/workbook_creator.hpp"

namespace corvane::c_api {
namespace {

using namespace std::chrono;
using live::TableState;

constexpr auto kRateSpan = seconds(1);

using host::LiveHandle;
using host::TheLiveTables;

int StateCode(TableState state) {
    switch (state) {
        case TableState::Connecting:
            return CORVANE_LIVE_CONNECTING;
        case TableState::Live:
            return CORVANE_LIVE_LIVE;
        case TableState::Recovering:
            return CORVANE_LIVE_RECOVERING;
        case TableState::Failed:
            return CORVANE_LIVE_FAILED;
    }
    return CORVANE_LIVE_FAILED;
}

const char* Text(const char* text) { return text != nullptr ? text : ""; }

int NotOpen() {
    return Fail(CORVANE_E_NOT_CONNECTED, "the live table is closed (or was never opened)");
}

// Options the table cannot work with, named by their field: CORVANE_E_ARGUMENT, or
// CORVANE_E_LOAD for a workbook that does not exist (no office can load it).
int CheckOptions(const corvane_live_options& options) {
    const auto refuse = [](const std::string& why) {
        return Fail(CORVANE_E_ARGUMENT, "corvane_live_open: " + why);
    };
    const char* workbook = Text(options.workbook_path);
    if (workbook[0] == '\0') return refuse("workbook_path is NULL or empty");
    if (options.sheet_per_exchange == 0) {
        const char* sheet = Text(options.sheet);
        if (sheet[0] == '\0')
            return refuse("sheet is NULL or empty (name the sheet, or set sheet_per_exchange)");
        if (const Error problem = sheet::CheckSheetName(sheet); !problem.ok())
            return refuse("sheet: " + problem.message());
    }
    if (options.first_row < 0 || options.first_row >= live::kSheetRows)
        return refuse("first_row " + std::to_string(options.first_row) +
                      " lies outside the sheet (0 to " + std::to_string(live::kSheetRows - 1) +
                      ")");
    if (options.titles != 0 && options.first_row == 0)
        return refuse("titles need a row above first_row 0 (set titles to 0 or first_row to 1)");
    if (options.interval_ms < 0)
        return refuse("interval_ms " + std::to_string(options.interval_ms) + " is negative");
    if (options.call_timeout_ms < 0)
        return refuse("call_timeout_ms " + std::to_string(options.call_timeout_ms) +
                      " is negative");
    if (options.open_wait_ms < 0)
        return refuse("open_wait_ms " + std::to_string(options.open_wait_ms) + " is negative");
    if (!platform::PathExists(workbook))
        return Fail(CORVANE_E_LOAD, "corvane_live_open: the workbook_path \"" +
                                        std::string(workbook) + "\" does not exist");
    return CORVANE_OK;
}

}  // namespace
}  // namespace corvane::c_api

using namespace corvane;
using namespace corvane::c_api;

extern "C" {

CORVANE_C_API void corvane_live_default_options(corvane_live_options* options) {
    if (options == nullptr) return;
    std::memset(options, 0, sizeof(*options));
    options->struct_size = sizeof(*options);
    options->first_row = 1;
    options->titles = 1;
    options->interval_ms = defaults::kLiveIntervalMs;
    options->call_timeout_ms = defaults::kCallTimeoutMs;
    options->load_timeout_ms = defaults::kLoadTimeoutMs;
    options->save_timeout_ms = defaults::kSaveTimeoutMs;
}

CORVANE_C_API int corvane_live_create(const corvane_live_options* options,
                                      corvane_live_state_callback callback, void* user,
                                      corvane_live** out) {
    if (out == nullptr)
        return Fail(CORVANE_E_ARGUMENT, "corvane_live_create: the table pointer is NULL");
    *out = nullptr;
    return Guarded([&]() -> int {
        if (options == nullptr || options->struct_size < static_cast<int>(sizeof(*options)))
            return Fail(CORVANE_E_ARGUMENT,
                        "corvane_live_open: options not filled by corvane_live_default_options");
        if (const int refused = CheckOptions(*options)) return refused;
        live::TableOptions table;
        table.sheet = Text(options->sheet);
        table.sheetPerExchange = options->sheet_per_exchange != 0;
        table.firstRow = options->first_row;
        table.titles = options->titles != 0;
        table.interval = milliseconds(options->interval_ms);
        live::OfficeSinkOptions office;
        office.workbook = options->workbook_path;
        office.owned = options->own_office != 0;
        office.officePath = Text(options->office_path);
        office.profile = Text(options->profile_dir);
        office.visible = options->show_office != 0;
        office.callTimeout = OptionTimeout(options->call_timeout_ms).Or(office.callTimeout);
        office.fastWrites = options->fast_writes != 0;
        office.rowTimes = options->row_times != 0;
        office.loadTimeout = OptionTimeout(options->load_timeout_ms).Or(office.loadTimeout);
        office.saveTimeout = OptionTimeout(options->save_timeout_ms).Or(office.saveTimeout);
        // An owned office left running at close (a person's documents in it) is told as
        // a warning.
        office.notice = [](const std::string& text) { host::TheSession().Warn(text.c_str()); };
        table.cleanSheet = options->clean_sheet != 0;
        office.titleRow = table.titles ? table.firstRow - 1 : -1;

        auto handle = std::make_unique<LiveHandle>();
        auto sink = std::make_unique<live::OfficeSink>(office);
        handle->sink = sink.get();
        live::LiveTable::StateCallback onState;
        if (callback != nullptr) {
            onState = [callback, user](TableState state, const Error& last) {
                callback(user, StateCode(state), last.value(), last.message().c_str());
            };
        }
        handle->table = std::make_unique<live::LiveTable>(table, std::move(sink), onState);
        handle->since = steady_clock::now();

        if (options->open_wait_ms > 0) {
            const auto deadline = DeadlineAfter(milliseconds(options->open_wait_ms));
            live::TableStats stats = handle->table->Stats();
            while (stats.state != TableState::Live && stats.state != TableState::Failed &&
                   steady_clock::now() < deadline) {
                std::this_thread::sleep_for(milliseconds(10));
                stats = handle->table->Stats();
            }
            if (stats.state != TableState::Live) {
                handle->table->Close(Timeout::After(milliseconds(0)));
                if (stats.state == TableState::Failed) return Report(stats.lastFailure);
                return Fail(CORVANE_E_TIMEOUT, stats.lastFailure.message().empty()
                                                   ? "the table did not become live in time"
                                                   : stats.lastFailure.message());
            }
        }
        *out = TheLiveTables().Add(std::move(handle));
        return CORVANE_OK;
    });
}

CORVANE_C_API corvane_live* corvane_live_open(const corvane_live_options* options,
                                              corvane_live_state_callback callback, void* user) {
    corvane_live* opened = nullptr;
    corvane_live_create(options, callback, user, &opened);
    return opened;
}

CORVANE_C_API int corvane_live_put(corvane_live* table,
                                   const char* const fields[CORVANE_COLUMN_COUNT]) {
    if (table == nullptr || fields == nullptr)
        return Fail(CORVANE_E_ARGUMENT, "a NULL table or fields");
    // No office call is made here, so none of the guards of the other calls (which cost
    // system calls) is needed: only an allocation can fail.
    try {
        const host::LiveHandles::Use handle = TheLiveTables().Find(table);
        if (!handle) return NotOpen();
        return Report(handle->table->Put(fields));
    } catch (...) {
        return FailFromCurrentException();
    }
}

CORVANE_C_API int corvane_live_flush(corvane_live* table, int timeout_ms) {
    if (table == nullptr) return Fail(CORVANE_E_ARGUMENT, "a NULL table");
    return Guarded([&]() -> int {
        const host::LiveHandles::Use handle = TheLiveTables().Find(table);
        if (!handle) return NotOpen();
        return Report(handle->table->Flush(WaitTimeout(timeout_ms)));
    });
}

CORVANE_C_API int corvane_live_save_copy(corvane_live* table, const char* path, int timeout_ms) {
    if (table == nullptr || Text(path)[0] == '\0')
        return Fail(CORVANE_E_ARGUMENT, "a NULL table or an empty path");
    return Guarded([&]() -> int {
        const host::LiveHandles::Use handle = TheLiveTables().Find(table);
        if (!handle) return NotOpen();
        const milliseconds timeout = WaitTimeout(timeout_ms).Length();
        const auto start = steady_clock::now();
        if (const int flushed = Report(handle->table->Flush(Timeout::After(timeout))))
            return flushed;
        const milliseconds spent = duration_cast<milliseconds>(steady_clock::now() - start);
        const milliseconds left = std::max(milliseconds(0), timeout - spent);
        return Report(handle->sink->SaveCopy(path, left));
    });
}

CORVANE_C_API int corvane_live_get_stats(corvane_live* table, corvane_live_stats* out) {
    if (table == nullptr || out == nullptr || out->struct_size <= 0)
        return Fail(CORVANE_E_ARGUMENT, "a NULL table or statistics without their size");
    return Guarded([&]() -> int {
        const host::LiveHandles::Use found = TheLiveTables().Find(table);
        if (!found) return NotOpen();
        LiveHandle& handle = *found;
        const live::TableStats stats = handle.table->Stats();
        corvane_live_stats full;
        std::memset(&full, 0, sizeof(full));
        full.struct_size = std::min<int>(out->struct_size, sizeof(full));
        full.state = StateCode(stats.state);
        full.ticks_put = stats.ticksPut;
        full.ticks_replaced = stats.ticksReplaced;
        full.rows_written = stats.rowsWritten;
        full.block_calls = stats.blockCalls;
        full.title_rows_written = stats.titleRowsWritten;
        full.instruments = stats.instruments;
        full.restarts = stats.restarts;
        full.reconnects = stats.reconnects;
        {
            const std::lock_guard<std::mutex> lock(handle.rateMu);
            const auto now = steady_clock::now();
            const double span = duration<double>(now - handle.since).count();
            if (now - handle.since >= kRateSpan || handle.ticksPerSecond == 0) {
                if (span > 0) {
                    handle.ticksPerSecond = (stats.ticksPut - handle.ticksSince) / span;
                    handle.rowsPerSecond = (stats.rowsWritten - handle.rowsSince) / span;
                }
                if (now - handle.since >= kRateSpan) {
                    handle.since = now;
                    handle.ticksSince = stats.ticksPut;
                    handle.rowsSince = stats.rowsWritten;
                }
            }
            full.ticks_per_second = handle.ticksPerSecond;
            full.rows_per_second = handle.rowsPerSecond;
        }
        full.staleness_p50_ms = stats.staleness.p50;
        full.staleness_p99_ms = stats.staleness.p99;
        full.staleness_max_ms = stats.staleness.max;
        full.flush_p50_ms = stats.flushTime.p50;
        full.flush_p99_ms = stats.flushTime.p99;
        full.flush_max_ms = stats.flushTime.max;
        full.call_cost_ms = stats.cost.perCall * 1000.0;
        full.row_cost_ms = stats.cost.perRow * 1000.0;
        full.office_pid = static_cast<int>(handle.sink->OfficePid());
        full.last_status = stats.lastFailure.value();
        std::snprintf(full.last_message, sizeof(full.last_message), "%s",
                      stats.lastFailure.message().c_str());
        full.ticks_refused = stats.ticksRefused;
        full.rows_adopted = stats.rowsAdopted;
        full.reorders = stats.reorders;
        full.key_reads = stats.keyReads;
        full.key_read_ms = stats.keyReadSeconds * 1000.0;
        full.office_ms = stats.officeSeconds * 1000.0;
        full.cells_written = stats.cellsWritten;
        std::memcpy(out, &full, static_cast<std::size_t>(full.struct_size));
        return CORVANE_OK;
    });
}

CORVANE_C_API int corvane_live_close(corvane_live* table, int timeout_ms) {
    if (table == nullptr) return Fail(CORVANE_E_ARGUMENT, "a NULL table");
    return Guarded([&]() -> int {
        int code = CORVANE_OK;
        {
            const host::LiveHandles::Use handle = TheLiveTables().Find(table);
            if (!handle) return NotOpen();
            const Error result = handle->table->Close(WaitTimeout(timeout_ms));
            // From the state callback the table stays open: its writer thread cannot end
            // itself, and the host may still close it from another thread.
            if (result == ErrorCode::Argument) return Report(result);
            // Another thread's close came first, and that one takes the table out.
            if (result == ErrorCode::NotConnected) return NotOpen();
            code = Report(result);
        }
        // Destroyed once the calls of other threads still using it have ended: this ends
        // an owned office.
        TheLiveTables().Remove(table).reset();
        return code;
    });
}

}  // extern "C"
