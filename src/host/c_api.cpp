// The plain-C API over the exports: argument checks, result codes and the thread's last
// error. No exception leaves these functions.
#include <corvane/corvane.h>
#include <corvane/corvane.hpp>

#include <string>
#include <utility>
#include <vector>

#include "host/c_errors.hpp"
#include "host/row_calls.hpp"
#include "host/session_instance.hpp"
#include "office/connection.hpp"
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

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

// The sheet count of a connection that loaded the workbook, or its error.
int Connected(const corvane::Error& status) {
    return status.ok() ? static_cast<int>(TheSession().SheetCount()) : Report(status);
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
            return Connected(corvane::host::StartAndConnect(session, true));
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
            return Connected(corvane::host::StartAndConnect(TheSession(), false));
        },
        CORVANE_E_CONNECT);
}

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

int corvane_office_pid(void) { return static_cast<int>(TheSession().OfficePid()); }

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
    return Guarded([&]() -> int { return Report(corvane::office::ShutDownOffice(TheSession())); });
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
