#include "workbook_creation.hpp"

#include <corvane/corvane.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <utility>
#include <vector>

#include "office_profile.hpp"

namespace corvane::feed {
namespace {

constexpr auto kShutdownGrace = std::chrono::seconds(10);

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

corvane::Error CreateWorkbookIfMissing(const FeedOptions& options, Console& console) {
    std::error_code error;
    if (!options.createWorkbook || std::filesystem::exists(options.workbook, error)) return {};
    std::vector<std::string> sheets = {options.feed.sheet};
    if (options.feed.sheetPerExchange)
        sheets = options.sheets.empty() ? std::vector<std::string>{"NSE", "BSE"} : options.sheets;
    std::vector<const char*> names;
    for (const std::string& sheet : sheets) names.push_back(sheet.c_str());

    // An office started for the creation runs headless on a throw-away profile of its
    // own, whatever --command-line says, so that it can be ended for sure before the
    // feed starts its office.
    OfficeProfile profile;
    if (std::string why = profile.Create(); !why.empty())
        return corvane::Error(ErrorCode::Internal, std::move(why));
    const std::string commandLine = profile.HeadlessCommandLine(options.office);
    corvane_workbook_options settings{};
    settings.office_path = options.office.c_str();
    settings.command_line = commandLine.c_str();
    settings.wait_seconds = options.waitSeconds;
    const std::string workbook = std::filesystem::absolute(options.workbook, error).string();
    int result;
    {
        StreamsSilenced quiet(StreamsSilenced::All);
        result = corvane_create_workbook(workbook.c_str(), names.data(),
                                         static_cast<int>(names.size()), &settings);
    }
    const std::string why = result == CORVANE_OK ? "" : corvane_last_error();
    // The feed connects anew for its rows; a live table of the run must be its only
    // connection there. Nothing is shut down through the pipe: the office answering
    // there need not be the one started here (one started by whoever runs the feed may
    // have taken the pipe first, and the one started here then waits for it in vain).
    // The one started here holds no document (the new workbook is closed once stored),
    // so it is ended by its process group, gently first.
    const pid_t started = corvane_office_pid();
    corvane_disconnect();
    if (started > 0) {
        ::kill(-started, SIGTERM);
        OfficeProfile::EndOffice(kShutdownGrace);
    }
    profile.Remove();
    if (result != CORVANE_OK)
        return corvane::Error(static_cast<ErrorCode>(result),
                              "cannot create the workbook " + options.workbook + ": " + why);
    console.Note("created " + options.workbook + " with the sheets " + Joined(sheets));
    return {};
}

}  // namespace corvane::feed
