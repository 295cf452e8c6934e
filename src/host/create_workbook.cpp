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
#include <vector>

#include "core/deadline.hpp"
#include "host/c_errors.hpp"
#include "host/office_reach.hpp"
#include "host/session_instance.hpp"
#include "office/connection.hpp"
#include "office/host_text.hpp"
#include "office/local_runtime.hpp"
#include "office/main_thread.hpp"
#include "office/office_api.hpp"
#include "office/office_context.hpp"
#include "office/office_start.hpp"
#include "office/save_copy.hpp"
#include "platform/files.hpp"
#include "sheet/market_copy.hpp"
#include "sheet/sheet_names.hpp"
#include "sheet/workbook_creator.hpp"

namespace corvane::c_api {
namespace {

using css::uno::Reference;
using css::uno::XComponentContext;

constexpr int kMaxSheets = 256;
constexpr double kDefaultWaitSeconds = 60;
constexpr char kFunction[] = "corvane_create_workbook";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The office the workbook is made in.
struct Office {
    Reference<XComponentContext> context;
};

// Whether the connected office still answers, under the session's call deadline: Ok
// with `answers` set, or Timeout: a stuck office is not replaced by another one on the
// pipe.
Error StillAnswers(office::Session& link, bool& answers) {
    office::CallDeadline deadline(link);
    try {
        css::frame::Desktop::create(link.Context());
        answers = true;
    } catch (const css::lang::DisposedException&) {
        answers = false;  // gone (or cut off at the deadline)
    }
    if (deadline.TimedOut()) return host::OfficeTimedOut(link, kFunction);
    return {};
}

// How the office is started when none answers: the options' program and command line,
// else the configured ones, else the installation built for and its default line.
office::OfficeLaunch LaunchFor(const corvane_workbook_options& options,
                               const office::Session& link) {
    office::OfficeLaunch launch;
    launch.program = options.office_path != nullptr && options.office_path[0] != '\0'
                         ? options.office_path
                         : link.Config().officePath;
    const bool configured = launch.program == link.Config().officePath && !launch.program.empty();
    if (launch.program.empty()) launch.program = office::BuiltOfficeProgram();
    launch.commandLine = options.command_line != nullptr ? options.command_line : "";
    if (launch.commandLine.empty() && configured) launch.commandLine = link.Config().commandLine;
    if (launch.commandLine.empty())
        launch.commandLine = office::DefaultOfficeCommandLine(launch.program);
    return launch;
}

// The connected office when it still answers, else whatever office accepts on the
// pipe, else one started as corvane_init starts it.
Error ReachOffice(const corvane_workbook_options& options, Office& office) {
    office::Session& link = host::TheSession();
    if (link.Connected()) {
        bool answers = false;
        if (Error failed = StillAnswers(link, answers); !failed.ok()) return failed;
        if (answers) {
            office.context = link.Context();
            return {};
        }
        // Gone: look for an office on the pipe.
    }
    // Not a number or not above 0: the default.
    const double seconds = options.wait_seconds > 0 ? options.wait_seconds : kDefaultWaitSeconds;
    const office::OfficeLaunch launch = LaunchFor(options, link);
    return host::ReachOfficeContext(&launch, seconds, kFunction, office.context);
}

Error CheckSheetNames(const char* const* names, int count, std::vector<std::string>& sheets) {
    const auto refused = [](const std::string& why) {
        return Error(ErrorCode::Argument, "corvane_create_workbook: " + why);
    };
    if (count < 1 || count > kMaxSheets)
        return refused("the sheet count must be 1 to " + std::to_string(kMaxSheets));
    if (names == nullptr) return refused("the sheet names are NULL");
    for (int i = 0; i < count; ++i) {
        const std::string name = names[i] == nullptr ? "" : names[i];
        if (const Error problem = sheet::CheckSheetName(name); !problem.ok())
            return refused(problem.message());
        for (const std::string& earlier : sheets) {
            if (sheet::SheetNameKey(earlier) == sheet::SheetNameKey(name))
                return refused("the sheet name " + Quoted(name) + " is given twice");
        }
        sheets.push_back(name);
    }
    return {};
}

// The request's path names a format.
Error CheckPath(const char* path, sheet::WorkbookRequest& request) {
    if (path == nullptr || path[0] == '\0')
        return {ErrorCode::Argument, "corvane_create_workbook: the path is NULL or empty"};
    const std::optional<sheet::WorkbookFormat> format = sheet::PaneFormatOf(path);
    if (!format)
        return {ErrorCode::Argument, "corvane_create_workbook: cannot tell the format of " +
                                         Quoted(path) + ": name it .ods, .xlsx or .fods"};
    request.format = *format;
    return {};
}

// The path is new, in a folder that exists.
Error CheckTarget(const char* path) {
    std::error_code error;
    if (std::filesystem::symlink_status(path, error).type() !=
        std::filesystem::file_type::not_found)
        return {ErrorCode::Exists, Quoted(path) + " exists already: it is left as it is"};
    const std::string folder = std::filesystem::absolute(path).parent_path().string();
    if (!platform::PathExists(folder.c_str()))
        return {ErrorCode::Save, "cannot create " + Quoted(path) + ": the folder " +
                                     Quoted(folder) + " does not exist"};
    return {};
}

// Makes the workbook in the office, under the session's call deadline.
Error Create(const Office& office, const sheet::WorkbookRequest& request, const char* path) {
    office::Session& link = host::TheSession();
    office::CallDeadline deadline(link);
    try {
        sheet::CreateMarketWorkbook(office.context, request);
    } catch (const css::io::IOException& e) {
        if (deadline.TimedOut()) return host::OfficeTimedOut(link, kFunction);
        // Stored meanwhile by someone else, or not writable: nothing of ours is left.
        return {ErrorCode::Save, office::DescribeCaught(e)};
    } catch (...) {
        if (deadline.TimedOut())
            return {ErrorCode::Timeout,
                    "the office did not answer within the deadline while creating " + Quoted(path)};
        throw;
    }
    return {};
}

Error CreateWorkbook(const char* path, const char* const* sheetNames, int count,
                     const corvane_workbook_options& settings) {
    sheet::WorkbookRequest request;
    if (Error refused = CheckPath(path, request); !refused.ok()) return refused;
    if (Error refused = CheckSheetNames(sheetNames, count, request.sheets); !refused.ok())
        return refused;
    if (Error refused = CheckTarget(path); !refused.ok()) return refused;
    request.url = office::FromHostText(office::MakeFileUrl(path).c_str());
    request.filter = rtl::OUString::createFromAscii(office::ExportFilterFor(path));
    request.options.rowTimes = settings.row_times != 0;
    Office office;
    if (Error failed = ReachOffice(settings, office); !failed.ok()) return failed;
    return Create(office, request, path);
}

}  // namespace
}  // namespace corvane::c_api

extern "C" int corvane_create_workbook(const char* path, const char* const* sheet_names, int count,
                                       const corvane_workbook_options* options) {
    using namespace corvane::c_api;
    return Guarded([&]() -> int {
        const corvane_workbook_options defaults{};
        return Report(
            CreateWorkbook(path, sheet_names, count, options != nullptr ? *options : defaults));
    });
}
