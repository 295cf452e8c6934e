// The plain-C API over the exports: argument checks, result codes and the thread's last
// error. No exception leaves these functions.
#include <corvane/corvane.h>
#include <corvane/corvane.hpp>

#include <string>
#include <utility>
#include <vector>

#include "host/c_errors.hpp"
#include "host/office_link.hpp"
#include "office/connection.hpp"
#include "office/probe.hpp"
#include "platform/files.hpp"
#include "sheet/column_layout.hpp"

using corvane::CString;
using corvane::Link;
using corvane::c_api::Fail;
using corvane::c_api::Guarded;

static_assert(CORVANE_COLUMN_COUNT == corvane::kColumnCount, "one field per column");

namespace {

bool IsEmpty(const char* text) { return text == nullptr || text[0] == '\0'; }

std::string Quoted(const char* text) { return std::string("\"") + text + "\""; }

// Keeps a connection attempt's diagnostic line off standard output for the time of one
// call: C callers get it as the error's text instead.
class CaughtConnectionReport {
  public:
    CaughtConnectionReport() {
        Link().connectionReport = [this](const std::string& line) { line_ = line; };
    }
    ~CaughtConnectionReport() { Link().connectionReport = nullptr; }
    CaughtConnectionReport(const CaughtConnectionReport&) = delete;
    CaughtConnectionReport& operator=(const CaughtConnectionReport&) = delete;
    // ": <line>", or "" when the attempt printed nothing.
    std::string Suffix() const { return line_.empty() ? std::string() : ": " + line_; }

  private:
    std::string line_;
};

// Why a connection attempt for `workbook` failed, judged from what it left behind.
int ConnectFailure(const char* workbook, const CaughtConnectionReport& report) {
    if (!corvane::platform::PathExists(workbook))
        return Fail(CORVANE_E_CONNECT, "the workbook " + Quoted(workbook) + " does not exist");
    const corvane::OfficeLink& link = Link();
    // The link holds the office's own context only once the office was reached.
    if (!link.context.is() || link.context.get() == link.runtime.get())
        return Fail(CORVANE_E_CONNECT,
                    "no office accepts connections on the pipe \"ooo_pipe\" (an office that "
                    "was just started needs a moment: try again)" +
                        report.Suffix());
    return Fail(CORVANE_E_CONNECT, "the office could not load the workbook " + Quoted(workbook) +
                                       " (not a spreadsheet, or locked by another office)" +
                                       report.Suffix());
}

int Connected() { return static_cast<int>(Link().sheetCount); }

int CheckRowTarget(const char* function, const char* sheet) {
    if (IsEmpty(sheet))
        return Fail(CORVANE_E_ARGUMENT,
                    std::string(function) + ": the sheet name is NULL or empty");
    if (!Link().sheets.is())
        return Fail(CORVANE_E_NOT_CONNECTED, "no workbook is loaded: call corvane_init first");
    return CORVANE_OK;
}

// The result of a row export: 1 is success; -1 means no workbook, an office that no
// longer answers, or no sheet of that name, told apart here.
int RowResult(short result, const char* sheet) {
    if (result == 1) return CORVANE_OK;
    if (!Link().sheets.is())
        return Fail(CORVANE_E_NOT_CONNECTED, "no workbook is loaded: call corvane_init first");
    if (corvane::office::ProbeOffice() == 0)
        return Fail(CORVANE_E_OFFICE, "the office no longer answers");
    return Fail(CORVANE_E_NO_SHEET, "the workbook has no sheet named " + Quoted(sheet));
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
            std::vector<CString> config = {office_path, command_line, workbook_path};
            const CaughtConnectionReport report;
            if (CorvaneInitFunc(std::move(config)) == -1)
                return ConnectFailure(workbook_path, report);
            return Connected();
        },
        CORVANE_E_CONNECT);
}

int corvane_connect(const char* workbook_path) {
    return Guarded(
        [&]() -> int {
            if (IsEmpty(workbook_path))
                return Fail(CORVANE_E_ARGUMENT, "corvane_connect: workbook_path is NULL or empty");
            Link().workbookPath.SetString(workbook_path);
            const CaughtConnectionReport report;
            if (!corvane::office::ConnectOffice().is())
                return ConnectFailure(workbook_path, report);
            return Connected();
        },
        CORVANE_E_CONNECT);
}

int corvane_write_titles(const char* sheet, int row) {
    return Guarded([&]() -> int {
        if (const int refused = CheckRowTarget("corvane_write_titles", sheet)) return refused;
        return RowResult(CorvaneSetHeaderString(sheet, row), sheet);
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
        return RowResult(CorvaneInsertUpdate(sheet, row, &record), sheet);
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
        return RowResult(CorvaneInsertUpdateRows(sheet, first_row, pointers.data(), count), sheet);
    });
}

void corvane_set_fast_writes(int enabled) { CorvaneSetFastWrites(enabled); }

int corvane_reset_row(const char* sheet, int row) {
    return Guarded([&]() -> int {
        if (const int refused = CheckRowTarget("corvane_reset_row", sheet)) return refused;
        return RowResult(CorvaneResetRecord(sheet, row), sheet);
    });
}

int corvane_is_running(void) { return CorvaneIsRunning(); }

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

}  // extern "C"
