#include "workbook_creation.hpp"

#include <corvane/corvane.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <vector>

namespace corvane::feed {
namespace {

constexpr auto kShutdownGrace = std::chrono::milliseconds(10000);

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
    corvane_office_options start;
    corvane_office_default_options(&start);
    start.office_path = options.office.c_str();
    start.scratch_profile = 1;
    start.wait_ms = static_cast<int>(std::min(options.waitSeconds * 1000.0, 2147483647.0));
    const std::string workbook = std::filesystem::absolute(options.workbook, error).string();
    int result;
    {
        StreamsSilenced quiet(StreamsSilenced::All);
        result = corvane_open_office(&start, nullptr);
        if (result == CORVANE_OK)
            result = corvane_create_workbook(workbook.c_str(), names.data(),
                                             static_cast<int>(names.size()), nullptr);
    }
    const std::string why = result == CORVANE_OK ? "" : corvane_last_error();
    // The feed connects anew for its rows; a live table of the run must be its only
    // connection there. The office started here holds no document (the new workbook is
    // closed once stored): it is ended by a signal to its processes, not through the
    // pipe, where another office may answer (one started by whoever runs the feed may
    // have taken the pipe first, and the one started here then waits for it in vain).
    corvane_disconnect();
    corvane_end_office(static_cast<int>(kShutdownGrace.count()));
    if (result != CORVANE_OK)
        return corvane::Error(static_cast<ErrorCode>(result),
                              "cannot create the workbook " + options.workbook + ": " + why);
    console.Note("created " + options.workbook + " with the sheets " + Joined(sheets));
    return {};
}

}  // namespace corvane::feed
