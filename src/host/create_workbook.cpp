// corvane_create_workbook: a new market-watch workbook, made in the connected office,
// in an office already on the pipe, or in one started for it as corvane_init starts
// one, which keeps running for the calls that follow.
#include <corvane/corvane.h>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/DisposedException.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/deadline.hpp"
#include "host/c_errors.hpp"
#include "host/session_instance.hpp"
#include "office/connection.hpp"
#include "office/host_text.hpp"
#include "office/local_runtime.hpp"
#include "office/office_api.hpp"
#include "office/office_context.hpp"
#include "office/office_start.hpp"
#include "office/save_copy.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"
#include "sheet/market_copy.hpp"
#include "sheet/sheet_names.hpp"
#include "sheet/workbook_creator.hpp"

namespace corvane::c_api {
namespace {

using css::uno::Reference;
using css::uno::XComponentContext;

constexpr int kMaxSheets = 256;
constexpr double kDefaultWaitSeconds = 60;
constexpr double kLongestWaitSeconds = 86400;
constexpr auto kRetryPause = std::chrono::milliseconds(250);

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The office the workbook is made in.
struct Office {
    Reference<XComponentContext> context;
};

Reference<XComponentContext> TryResolve(const Reference<XComponentContext>& runtime) {
    try {
        return office::ResolveOfficeContext(runtime);
    } catch (const css::connection::NoConnectException&) {
        return {};
    }
}

int OfficeTimedOut(const office::Session& link) {
    return Fail(CORVANE_E_TIMEOUT, "corvane_create_workbook: the office did not answer within " +
                                       std::to_string(link.Config().callTimeout.count()) +
                                       " ms; the connection was dropped");
}

// The office on the pipe, under the session's call deadline: a stopped office accepts
// the connection but never completes it. CORVANE_OK with `context` empty when nobody
// accepts, CORVANE_E_TIMEOUT when the deadline passed.
int ResolveWithinDeadline(office::Session& link, Reference<XComponentContext>& context) {
    office::CallDeadline deadline(link);
    try {
        context = TryResolve(link.Runtime());
    } catch (...) {
        if (deadline.TimedOut()) return OfficeTimedOut(link);
        throw;
    }
    if (deadline.TimedOut()) {
        context.clear();
        return OfficeTimedOut(link);
    }
    return CORVANE_OK;
}

// Whether the connected office still answers, under the session's call deadline.
// CORVANE_OK with `answers` set, or CORVANE_E_TIMEOUT: a stuck office is not replaced
// by another one on the pipe.
int StillAnswers(office::Session& link, bool& answers) {
    office::CallDeadline deadline(link);
    try {
        css::frame::Desktop::create(link.Context());
        answers = true;
    } catch (const css::lang::DisposedException&) {
        answers = false;  // gone (or cut off at the deadline)
    }
    if (deadline.TimedOut()) return OfficeTimedOut(link);
    return CORVANE_OK;
}

// The connected office when it still answers, else whatever office accepts on the
// pipe, else one started as corvane_init starts it; the CORVANE_E_* code when none.
int ReachOffice(const corvane_workbook_options& options, Office& office) {
    office::Session& link = host::TheSession();
    if (link.Connected()) {
        bool answers = false;
        if (const int failed = StillAnswers(link, answers)) return failed;
        if (answers) {
            office.context = link.Context();
            return CORVANE_OK;
        }
        // Gone: look for an office on the pipe.
    }
    std::string program = options.office_path != nullptr && options.office_path[0] != '\0'
                              ? options.office_path
                              : link.Config().officePath;
    const bool configured = program == link.Config().officePath && !program.empty();
    if (program.empty()) program = office::BuiltOfficeProgram();
    if (!link.StartRuntime(program))
        return Fail(CORVANE_E_CONNECT, "no office installation found to connect through");

    if (const int failed = ResolveWithinDeadline(link, office.context)) return failed;
    if (office.context.is()) {
        link.Observer().BridgeUp();
        return CORVANE_OK;
    }

    std::string commandLine = options.command_line != nullptr ? options.command_line : "";
    if (commandLine.empty() && configured) commandLine = link.Config().commandLine;
    if (commandLine.empty()) commandLine = office::DefaultOfficeCommandLine(program);
    const pid_t started = platform::StartDetachedProcess(program.c_str(), commandLine.c_str());
    if (started > 0) link.NoteLaunched(started);
    if (started == 0)
        return Fail(CORVANE_E_CONNECT, "no office accepts connections on the pipe \"" +
                                           std::string(office::kOfficePipe) +
                                           "\", and there is no office program at " +
                                           Quoted(program) + " to start");
    // Not a number or not above 0: the default; at most a day, which keeps the deadline
    // within the clock's range.
    const double seconds = options.wait_seconds > 0
                               ? std::min(options.wait_seconds, kLongestWaitSeconds)
                               : kDefaultWaitSeconds;
    const auto deadline = DeadlineAfterSeconds(seconds);
    for (;;) {
        if (const int failed = ResolveWithinDeadline(link, office.context)) return failed;
        if (office.context.is()) {
            link.Observer().BridgeUp();
            return CORVANE_OK;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return Fail(CORVANE_E_TIMEOUT, "the office started with " + commandLine +
                                               " did not accept connections on the pipe \"" +
                                               office::kOfficePipe + "\" in time");
        std::this_thread::sleep_for(kRetryPause);
    }
}

int CheckSheetNames(const char* const* names, int count, std::vector<std::string>& sheets) {
    if (count < 1 || count > kMaxSheets)
        return Fail(CORVANE_E_ARGUMENT, "corvane_create_workbook: the sheet count must be 1 to " +
                                            std::to_string(kMaxSheets));
    if (names == nullptr)
        return Fail(CORVANE_E_ARGUMENT, "corvane_create_workbook: the sheet names are NULL");
    for (int i = 0; i < count; ++i) {
        const std::string name = names[i] == nullptr ? "" : names[i];
        if (const std::string problem = sheet::SheetNameProblem(name); !problem.empty())
            return Fail(CORVANE_E_ARGUMENT, "corvane_create_workbook: " + problem);
        for (const std::string& earlier : sheets) {
            if (sheet::SheetNameKey(earlier) == sheet::SheetNameKey(name))
                return Fail(CORVANE_E_ARGUMENT, "corvane_create_workbook: the sheet name " +
                                                    Quoted(name) + " is given twice");
        }
        sheets.push_back(name);
    }
    return CORVANE_OK;
}

}  // namespace
}  // namespace corvane::c_api

extern "C" int corvane_create_workbook(const char* path, const char* const* sheet_names, int count,
                                       const corvane_workbook_options* options) {
    using namespace corvane::c_api;
    return Guarded([&]() -> int {
        if (path == nullptr || path[0] == '\0')
            return Fail(CORVANE_E_ARGUMENT, "corvane_create_workbook: the path is NULL or empty");
        const std::optional<corvane::sheet::WorkbookFormat> format =
            corvane::sheet::PaneFormatOf(path);
        if (!format)
            return Fail(CORVANE_E_ARGUMENT, "corvane_create_workbook: cannot tell the format of " +
                                                Quoted(path) + ": name it .ods, .xlsx or .fods");
        corvane::sheet::WorkbookRequest request;
        if (const int refused = CheckSheetNames(sheet_names, count, request.sheets)) return refused;
        const corvane_workbook_options defaults{};
        const corvane_workbook_options& settings = options != nullptr ? *options : defaults;

        std::error_code error;
        if (std::filesystem::symlink_status(path, error).type() !=
            std::filesystem::file_type::not_found)
            return Fail(CORVANE_E_EXISTS, Quoted(path) + " exists already: it is left as it is");
        const std::string folder = std::filesystem::absolute(path).parent_path().string();
        if (!corvane::platform::PathExists(folder.c_str()))
            return Fail(CORVANE_E_SAVE, "cannot create " + Quoted(path) + ": the folder " +
                                            Quoted(folder) + " does not exist");

        request.url = corvane::office::FromHostText(corvane::office::MakeFileUrl(path).c_str());
        request.filter = rtl::OUString::createFromAscii(corvane::office::ExportFilterFor(path));
        request.format = *format;
        request.options.rowTimes = settings.row_times != 0;

        Office office;
        if (const int failed = ReachOffice(settings, office)) return failed;
        corvane::office::CallDeadline deadline(corvane::host::TheSession());
        try {
            corvane::sheet::CreateMarketWorkbook(office.context, request);
        } catch (const css::io::IOException&) {
            if (deadline.TimedOut()) return OfficeTimedOut(corvane::host::TheSession());
            // Stored meanwhile by someone else, or not writable: nothing of ours is left.
            return FailFromCurrentException(CORVANE_E_SAVE);
        } catch (...) {
            if (deadline.TimedOut())
                return Fail(
                    CORVANE_E_TIMEOUT,
                    "the office did not answer within the deadline while creating " + Quoted(path));
            throw;
        }
        return CORVANE_OK;
    });
}
