// corvane-feed: mirrors a market watch from CSV into a workbook open in an office.
#include <corvane/corvane.h>

#include <cstdio>
#include <string>
#include <vector>

#include "c_api_writer.hpp"
#include "console.hpp"
#include "feed_loop.hpp"
#include "feed_office.hpp"
#include "input_source.hpp"
#include "market_record.hpp"
#include "options.hpp"
#include "stop_signals.hpp"
#include "workbook_creation.hpp"

namespace {

using namespace corvane::feed;

constexpr int kExitLinesFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitOffice = 3;

int Run(const std::vector<std::string>& args, StopSignals& signals) {
    FeedOptions options;
    const std::string error = ParseOptions(args, CORVANE_FEED_DEFAULT_OFFICE, options);
    if (options.help) {
        std::fputs(HelpText(CORVANE_FEED_DEFAULT_OFFICE).c_str(), stdout);
        return 0;
    }
    Console console(options.quiet);
    if (!error.empty()) {
        console.Error(error + " (see --help)");
        return kExitUsage;
    }
    InputSource input(signals);
    if (const std::string why = input.Open(options.input); !why.empty()) {
        console.Error(why);
        return kExitUsage;
    }

    if (const std::string why = CreateWorkbookIfMissing(options, console); !why.empty()) {
        console.Error(why);
        return kExitOffice;
    }

    OfficeSettings officeSettings{options.office,     options.commandLine,
                                  options.workbook,   options.waitSeconds,
                                  options.keepOffice, !options.saveAs.empty()};
    FeedOffice office(officeSettings, signals, console);
    signals.OnSecondSignal([&office] { office.Abandon(); });
    // Unhooked before `office` goes.
    struct Unhook {
        StopSignals& signals;
        ~Unhook() { signals.OnSecondSignal(nullptr); }
    } unhook{signals};
    if (const std::string why = office.Open(); !why.empty()) {
        console.Error(why);
        return kExitOffice;
    }

    CApiWriter writer;
    FeedLoop loop(options.feed, RecordCheck(LibraryColumns()));
    console.StartFeed();
    const FeedResult result = loop.Run(input, writer, console);
    console.EndProgress();

    int status = result.failed > 0 ? kExitLinesFailed : 0;
    if (!result.fatal.empty()) {
        console.Error(result.fatal);
        status = kExitOffice;
    }
    // What was written stays in the workbook: copies are stored whatever went wrong,
    // as long as the office still answers.
    if (writer.OfficeAnswers()) {
        for (const std::string& path : options.saveAs) {
            if (const std::string why = office.SaveCopy(path); !why.empty()) {
                console.Error(why);
                status = kExitOffice;
            } else {
                console.Note("saved " + path);
            }
        }
    } else if (!options.saveAs.empty()) {
        console.Error("no copy saved: the office no longer answers");
        status = kExitOffice;
    }
    office.Close();
    console.Summary(result);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    // First of all: every thread started later has the stop signals blocked.
    StopSignals signals;
    const std::vector<std::string> args(argv + 1, argv + argc);
    return Run(args, signals);
}
