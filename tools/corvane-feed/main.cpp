// corvane-feed: mirrors a market watch from CSV into a workbook open in an office.
#include <corvane/corvane.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "c_api_writer.hpp"
#include "console.hpp"
#include "feed_loop.hpp"
#include "feed_office.hpp"
#include "input_source.hpp"
#include "live_feed.hpp"
#include "market_record.hpp"
#include "options.hpp"
#include "stop_signals.hpp"
#include "workbook_creation.hpp"
#if CORVANE_FEED_BUS
#include "bus_input.hpp"
#endif

namespace {

using namespace corvane::feed;

constexpr int kExitLinesFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitOffice = 3;
constexpr int kExitOfficeStuck = 4;
constexpr int kExitBusUnreachable = 5;
constexpr int kExitBusRefused = 6;
constexpr int kCreationTimeoutMs = 60000;

// Ends a run the office held past the call deadline: the status of its own, and why.
int GaveUpOnTheOffice(const FeedOptions& options, Console& console) {
    console.Error("the office did not answer within " + std::to_string(options.callTimeoutMs) +
                  " ms (--call-timeout): it is stopped or hanging; the run gave up on it");
    return kExitOfficeStuck;
}

#if CORVANE_FEED_BUS
// The exit status of a bus failure: refused, a wrong URL, or no server.
int BusStatus(const corvane::Error& error) {
    if (error == corvane::ErrorCode::Refused) return kExitBusRefused;
    if (error == corvane::ErrorCode::Argument) return kExitUsage;
    return kExitBusUnreachable;
}
#else
class BusInput;
#endif

// --follow: the lines go into a live table, so reading them never waits for the office.
// The input is a file or standard input (`bytes`), or the bus (`bus`).
int RunLive(const FeedOptions& options, ByteSource* bytes, BusInput* bus, StopSignals& signals,
            Console& console) {
    // An office this run starts and keeps (--keep-office), or starts its own way
    // (--command-line), is started here and the table attaches to it; otherwise the
    // table starts and owns one. Declared first: it outlives the table.
    std::optional<FeedOffice> office;
    LiveFeed table(options);
    // A second stop ends the office this run started, whoever started it.
    signals.OnSecondSignal([&office, &table] {
        if (office) office->Abandon();
        table.Abandon();
    });
    struct Unhook {
        StopSignals& signals;
        ~Unhook() { signals.OnSecondSignal(nullptr); }
    } unhook{signals};
    bool noOffice = false;
    std::string why = table.Attach(signals, noOffice);
    if (why.empty() && noOffice) {
        if (options.keepOffice || !options.commandLine.empty() || options.saveAs.empty()) {
            office.emplace(
                OfficeSettings{options.office, options.commandLine, options.workbook,
                               options.waitSeconds, options.keepOffice, !options.saveAs.empty()},
                signals, console);
            why = office->Open();
            if (why.empty()) {
                office->HandOver();
                why = table.AttachStarted();
            }
        } else {
            console.Note("starting the office and waiting for it");
            why = table.OpenOwned();
        }
    }
    if (!why.empty()) {
        console.Error(why);
        return table.TimedOut() ? GaveUpOnTheOffice(options, console) : kExitOffice;
    }
    // The table paces the writes: the loop puts each line as soon as it is read.
    FeedLoop loop(options.feed, RecordCheck(LibraryColumns()));
    if (options.printOfficePid)
        console.ShowOfficePid([&table, &office] {
            // The office the table owns, or the one this run started and handed over.
            const int owned = table.Stats().office_pid;
            return owned != 0 || !office ? owned : corvane_office_pid();
        });
    console.ShowTableStats([&table](double seconds) { return table.StatsText(seconds); });
    console.ShowTableState([&table] { return table.StateText(); });
    FeedResult result;
    int inputStatus = 0;  // the status of an input lost for good
    if (bytes != nullptr) {
        console.StartFeed();
        result = loop.Run(*bytes, table, console);
    } else {
#if CORVANE_FEED_BUS
        console.CountMessages();
        console.ShowTableStats([&table, bus](double seconds) {
            return bus->RateText(seconds) + ", " + table.StatsText(seconds);
        });
        console.ShowInputState([bus] { return bus->StateText(); });
        console.StartFeed();
        result = loop.Run(*bus, table, console);
        if (!bus->Failure().ok()) inputStatus = BusStatus(bus->Failure());
#else
        static_cast<void>(bus);
#endif
    }
    console.EndProgress();

    int status = result.failed > 0 ? kExitLinesFailed : 0;
    if (!result.fatal.empty()) {
        console.Error(result.fatal);
        status = inputStatus != 0 ? inputStatus : kExitOffice;
    }
    // Copies are stored whatever went wrong, with every row the table holds.
    for (const std::string& failure : table.Finish(options.saveAs, signals, console)) {
        console.Error(failure);
        status = kExitOffice;
    }
    // Known only once every line was taken up by the table.
    if (const unsigned long long refused = table.RefusedLater(); refused > 0) {
        console.Error(std::to_string(refused) +
                      " line(s) found no row in the workbook: " + table.Stats().last_message);
        if (status == 0) status = kExitLinesFailed;
    }
    console.Summary(result);
    if (const std::string failure = table.Close(); !failure.empty()) {
        console.Error(failure);
        status = kExitOffice;
    }
    return table.TimedOut() ? GaveUpOnTheOffice(options, console) : status;
}

int Run(const std::vector<std::string>& args, StopSignals& signals) {
    FeedOptions options;
    const corvane::Error usage = ParseOptions(args, CORVANE_FEED_DEFAULT_OFFICE, options);
    if (options.help) {
        std::fputs(HelpText(CORVANE_FEED_DEFAULT_OFFICE).c_str(), stdout);
        return 0;
    }
    Console console(options.quiet);
    if (!usage.ok()) {
        console.Error(usage.message() + " (see --help)");
        return kExitUsage;
    }
    InputSource input(signals);
#if CORVANE_FEED_BUS
    // Subscribed before any office work, so that a server that cannot be reached or
    // refuses ends the run at once; what arrives meanwhile waits, newest per instrument.
    std::optional<BusInput> bus;
    if (options.bus.On()) {
        bus.emplace(options.bus, signals);
        if (const corvane::Error error = bus->Open(); !error.ok()) {
            console.Error(error.message());
            return BusStatus(error);
        }
    }
#else
    if (options.bus.On()) {
        console.Error("--nats: this corvane-feed was built without bus support");
        return kExitUsage;
    }
#endif
    if (!options.bus.On()) {
        if (const corvane::Error error = input.Open(options.input); !error.ok()) {
            console.Error(error.message());
            return kExitUsage;
        }
    }

    // Every call into the office, in every mode, ends by a deadline. Creating the
    // workbook stores and reopens a whole document: it gets at least a minute.
    corvane_set_timeout(std::max(options.callTimeoutMs, kCreationTimeoutMs));
    if (const corvane::Error error = CreateWorkbookIfMissing(options, console); !error.ok()) {
        console.Error(error.message());
        if (error != corvane::ErrorCode::Timeout) return kExitOffice;
        console.Error("the office did not answer within " +
                      std::to_string(std::max(options.callTimeoutMs, kCreationTimeoutMs)) +
                      " ms while creating the workbook: it is stopped or hanging");
        return kExitOfficeStuck;
    }
    corvane_set_timeout(options.callTimeoutMs);

#if CORVANE_FEED_BUS
    if (bus) return RunLive(options, nullptr, &*bus, signals, console);
#endif
    if (options.feed.follow) return RunLive(options, &input, nullptr, signals, console);

    OfficeSettings officeSettings{options.office,     options.commandLine,
                                  options.workbook,   options.waitSeconds,
                                  options.keepOffice, !options.saveAs.empty()};
    FeedOffice office(officeSettings, signals, console);
    signals.OnSecondSignal([&office] { office.Abandon(); });
    // A first Ctrl-C ends a wait for the office at once.
    signals.OnFirstSignal([] { corvane_stop_waiting(); });
    // Unhooked before `office` goes.
    struct Unhook {
        StopSignals& signals;
        ~Unhook() {
            signals.OnSecondSignal(nullptr);
            signals.OnFirstSignal(nullptr);
        }
    } unhook{signals};
    if (const std::string why = office.Open(); !why.empty()) {
        console.Error(why);
        return office.TimedOut() ? GaveUpOnTheOffice(options, console) : kExitOffice;
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
    return result.officeTimedOut || office.TimedOut() ? GaveUpOnTheOffice(options, console)
                                                      : status;
}

}  // namespace

int main(int argc, char** argv) {
    // First of all: every thread started later has the stop signals blocked.
    StopSignals signals;
    const std::vector<std::string> args(argv + 1, argv + argc);
    return Run(args, signals);
}
