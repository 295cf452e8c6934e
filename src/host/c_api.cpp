// The plain-C API over the exports: argument checks, result codes and the thread's last
// error. No exception leaves these functions.
#include <corvane/corvane.h>
#include <corvane/corvane.hpp>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "host/c_errors.hpp"
#include "host/office_reach.hpp"
#include "host/row_calls.hpp"
#include "host/session_instance.hpp"
#include "office/connection.hpp"
#include "office/office_start.hpp"
#include "office/probe.hpp"
#include "office/save_copy.hpp"
#include "office/shutdown.hpp"
#include "office/stale_lock.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "sheet/column_layout.hpp"
#include "sheet/market_copy.hpp"

using corvane::CString;
using corvane::c_api::Fail;
using corvane::c_api::Guarded;
using corvane::c_api::Report;
using corvane::host::TheSession;

static_assert(CORVANE_COLUMN_COUNT == corvane::kColumnCount, "one field per column");

namespace {

// How long corvane_shutdown_office waits for the processes of an office it ended.
constexpr std::chrono::seconds kOfficeExitWait{10};

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

// The sheet count of a connection that loaded the workbook, or its error.
int Connected(const corvane::Error& status) {
    return status.ok() ? static_cast<int>(TheSession().SheetCount()) : Report(status);
}

// corvane_open_office without a workbook: an office that accepts, nothing loaded.
corvane::Error OfficeOnly(const corvane_office_options& options) {
    corvane::office::OfficeLaunch launch;
    if (options.office_path != nullptr) launch.program = options.office_path;
    if (options.command_line != nullptr) launch.commandLine = options.command_line;
    if (launch.commandLine.empty() && options.scratch_profile == 0)
        launch.commandLine = corvane::office::DefaultOfficeCommandLine(launch.program);
    css::uno::Reference<css::uno::XComponentContext> context;
    return corvane::host::ReachOfficeContext(options.office_path != nullptr ? &launch : nullptr,
                                             std::max(0, options.wait_ms) / 1000.0,
                                             "corvane_open_office", context);
}

int CheckRowTarget(const char* function, const char* sheet) {
    if (IsEmpty(sheet))
        return Fail(CORVANE_E_ARGUMENT,
                    std::string(function) + ": the sheet name is NULL or empty");
    return CORVANE_OK;
}

}  // namespace

extern "C" {

int corvane_init(const char* office_path, const char* command_line, const char* workbook_path) {
    return Guarded(
        [&]() -> int {
            if (office_path == nullptr)
                return Fail(CORVANE_E_ARGUMENT, "corvane_init: office_path is NULL");
            if (IsEmpty(workbook_path))
                return Fail(CORVANE_E_ARGUMENT, "corvane_init: workbook_path is NULL or empty");
            corvane::office::Session& session = TheSession();
            corvane::host::ConfigureOffice(
                session, office_path, command_line != nullptr ? command_line : "", workbook_path);
            const corvane::host::QuietConnection quiet;
            return Connected(corvane::host::StartAndConnect(session, {true}));
        },
        CORVANE_E_CONNECT);
}

int corvane_connect(const char* workbook_path) {
    return Guarded(
        [&]() -> int {
            if (IsEmpty(workbook_path))
                return Fail(CORVANE_E_ARGUMENT, "corvane_connect: workbook_path is NULL or empty");
            TheSession().SetWorkbookPath(workbook_path);
            const corvane::host::QuietConnection quiet;
            return Connected(corvane::host::StartAndConnect(TheSession(), {}));
        },
        CORVANE_E_CONNECT);
}

void corvane_office_default_options(corvane_office_options* options) {
    if (options == nullptr) return;
    *options = corvane_office_options{};
    options->struct_size = sizeof(*options);
}

int corvane_open_office(const corvane_office_options* options, const char* workbook_path) {
    return Guarded(
        [&]() -> int {
            if (options == nullptr || options->struct_size < static_cast<int>(sizeof(*options)))
                return Fail(CORVANE_E_ARGUMENT,
                            "corvane_open_office: the options are NULL or of an older size");
            corvane::office::Session& session = TheSession();
            if (workbook_path == nullptr) return Report(OfficeOnly(*options));
            if (workbook_path[0] == '\0')
                return Fail(CORVANE_E_ARGUMENT, "corvane_open_office: workbook_path is empty");
            corvane::host::OfficeRequest request;
            request.launch = options->office_path != nullptr;
            request.scratchProfile =
                options->scratch_profile != 0 && IsEmpty(options->command_line);
            request.wait = std::chrono::milliseconds(std::max(0, options->wait_ms));
            if (request.launch)
                corvane::host::ConfigureOffice(
                    session, options->office_path,
                    options->command_line != nullptr ? options->command_line : "", workbook_path);
            else
                session.SetWorkbookPath(workbook_path);
            const corvane::host::QuietConnection quiet;
            return Connected(corvane::host::StartAndConnect(session, request));
        },
        CORVANE_E_CONNECT);
}

void corvane_stop_waiting(void) { corvane::host::TheOffices().Interrupt(); }

int corvane_end_office(int grace_ms) {
    return Guarded([&]() -> int {
        corvane::office::OfficeProvider& offices = corvane::host::TheOffices();
        if (offices.Pid() == 0)
            return Fail(CORVANE_E_NOT_CONNECTED, "no office this library started runs");
        const std::chrono::milliseconds grace(std::max(0, grace_ms));
        // Asked through the pipe when connected to it, else by a signal to its processes.
        // An office of another profile on the pipe (a person's) is never shut down.
        bool asked = false;
        if (TheSession().Workbook().is()) {
            try {
                bool ours = false;
                {
                    const corvane::office::CallDeadline deadline(TheSession());
                    ours = offices.MayHaveStarted(TheSession().Context());
                }
                if (ours) asked = corvane::office::ShutDownOffice(TheSession()).ok();
            } catch (const css::uno::Exception&) {
                // The office could not be asked: its processes are.
            }
        }
        const bool ended = asked ? offices.Release(grace) : offices.End(grace);
        if (ended) return CORVANE_OK;
        return Fail(CORVANE_E_TIMEOUT, "the office did not end within " +
                                           std::to_string(std::max(0, grace_ms)) +
                                           " ms and was killed");
    });
}

void corvane_kill_office(void) { corvane::host::TheOffices().KillNow(); }

int corvane_write_titles(const char* sheet, int row) {
    return Guarded([&]() -> int {
        if (const int refused = CheckRowTarget("corvane_write_titles", sheet)) return refused;
        return Report(corvane::host::WriteTitles(sheet, row));
    });
}

int corvane_write_record(const char* sheet, int row,
                         const char* const fields[CORVANE_COLUMN_COUNT]) {
    return Guarded([&]() -> int {
        if (fields == nullptr)
            return Fail(CORVANE_E_ARGUMENT, "corvane_write_record: the field array is NULL");
        if (const int refused = CheckRowTarget("corvane_write_record", sheet)) return refused;
        corvane::MarketWatchRecord record{};
        for (int k = 0; k < CORVANE_COLUMN_COUNT; ++k) record.fields[k].SetString(fields[k]);
        return Report(corvane::host::WriteRecord(sheet, row, &record));
    });
}

int corvane_write_records(const char* sheet, int first_row, const char* const* const* records,
                          int count) {
    return Guarded([&]() -> int {
        if (count < 0)
            return Fail(CORVANE_E_ARGUMENT, "corvane_write_records: the count is negative");
        if (records == nullptr && count > 0)
            return Fail(CORVANE_E_ARGUMENT, "corvane_write_records: the record array is NULL");
        if (const int refused = CheckRowTarget("corvane_write_records", sheet)) return refused;
        std::vector<corvane::MarketWatchRecord> rows(static_cast<std::size_t>(count));
        std::vector<const corvane::MarketWatchRecord*> pointers(rows.size(), nullptr);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (records[i] == nullptr) continue;  // the row stays as it is
            for (int k = 0; k < CORVANE_COLUMN_COUNT; ++k)
                rows[i].fields[k].SetString(records[i][k]);
            pointers[i] = &rows[i];
        }
        return Report(corvane::host::WriteRecords(sheet, first_row, pointers.data(), count));
    });
}

void corvane_set_fast_writes(int enabled) { CorvaneSetFastWrites(enabled); }

int corvane_reset_row(const char* sheet, int row) {
    return Guarded([&]() -> int {
        if (const int refused = CheckRowTarget("corvane_reset_row", sheet)) return refused;
        return Report(corvane::host::ResetRow(sheet, row));
    });
}

int corvane_is_running(void) { return CorvaneIsRunning(); }

void corvane_set_timeout(int milliseconds) { CorvaneSetCallTimeout(milliseconds); }

int corvane_office_pid(void) { return static_cast<int>(corvane::host::TheOffices().Pid()); }

int corvane_disconnect(void) {
    return Guarded([]() -> int {
        TheSession().Disconnect();
        return CORVANE_OK;
    });
}

int corvane_clear_stale_lock(const char* workbook_path) {
    return Guarded([&]() -> int {
        if (IsEmpty(workbook_path))
            return Fail(CORVANE_E_ARGUMENT,
                        "corvane_clear_stale_lock: workbook_path is NULL or empty");
        const std::string url = corvane::office::MakeFileUrl(workbook_path);
        return corvane::office::RemoveStaleLock(url).empty() ? 0 : 1;
    });
}

int corvane_save_copy(const char* path) {
    return Guarded([&]() -> int {
        if (IsEmpty(path))
            return Fail(CORVANE_E_ARGUMENT, "corvane_save_copy: the path is NULL or empty");
        const corvane::Error status = corvane::host::WithinDeadline(
            TheSession(), [&] { return corvane::sheet::SaveMarketCopy(TheSession(), path, 0); });
        return Report(status);
    });
}

int corvane_shutdown_office(void) {
    return Guarded([&]() -> int {
        const corvane::Error ended = corvane::office::ShutDownOffice(TheSession());
        // The office this library started has exited, or is about to: its id is no
        // longer the library's to use.
        if (ended.ok()) corvane::host::TheOffices().AwaitEnd(kOfficeExitWait);
        return Report(ended);
    });
}

const char* corvane_column_title(int index) {
    if (index < 0 || index >= CORVANE_COLUMN_COUNT) return nullptr;
    return corvane::sheet::ColumnLayout[static_cast<std::size_t>(index)].title;
}

int corvane_column_kind(int index) {
    if (index < 0 || index >= CORVANE_COLUMN_COUNT) return CORVANE_E_ARGUMENT;
    switch (corvane::sheet::ColumnLayout[static_cast<std::size_t>(index)].kind) {
        case corvane::sheet::ValueKind::Integer:
            return CORVANE_KIND_INTEGER;
        case corvane::sheet::ValueKind::Real:
            return CORVANE_KIND_REAL;
        case corvane::sheet::ValueKind::Text:
            break;
    }
    return CORVANE_KIND_TEXT;
}

void corvane_set_warning_handler(corvane_warning_handler handler, void* user) {
    CorvaneSetWarningHandler(handler, user);
}

const char* corvane_last_error(void) { return corvane::c_api::LastError(); }

int corvane_last_error_code(void) { return corvane::c_api::LastErrorCode(); }

}  // extern "C"
