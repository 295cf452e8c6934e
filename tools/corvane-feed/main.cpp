// corvane-feed: mirrors a market watch from CSV into a workbook open in an office.
#include <corvane/corvane.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <utility>
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
// Without bus support no run has a bus input.
class BusInput {};
#endif

OfficeSettings OfficeSettingsOf(const FeedOptions& options) {
    return OfficeSettings{options.office,      options.commandLine, options.workbook,
                          options.waitSeconds, options.keepOffice,  !options.saveAs.empty()};
}

// Clears the signal hooks as the scope ends, before what they reach goes.
struct SignalHooksCleared {
    StopSignals& signals;
    ~SignalHooksCleared() {
        signals.OnSecondSignal(nullptr);
        signals.OnFirstSignal(nullptr);
    }
};

// The live table on an office: the one accepting on the pipe, or else one this run
// starts (--keep-office, --command-line) and hands over, or one the table starts and
// owns. Returns 0, or the exit status of a run that has no table.
int OpenLiveTable(const FeedOptions& options, LiveFeed& table, std::optional<FeedOffice>& office,
                  StopSignals& signals, Console& console) {
    bool noOffice = false;
    if (const corvane::Error error = table.Attach(signals, noOffice); !error.ok()) {
        console.Error(error.message());
        return error == corvane::ErrorCode::Timeout ? GaveUpOnTheOffice(options, console)
                                                    : kExitOffice;
    }
    if (!noOffice) return 0;
    // Failing from here on, the office or the table did not come up: an office failure,
    // whatever the code (Timeout included).
    corvane::Error error;
    if (options.keepOffice || !options.commandLine.empty() || options.saveAs.empty()) {
        office.emplace(OfficeSettingsOf(options), signals, console);
        error = office->Open();
        if (error.ok()) {
            office->HandOver();
            error = table.AttachStarted();
        }
    } else {
        console.Note("starting the office and waiting for it");
        error = table.OpenOwned();
    }
    if (error.ok()) return 0;
    console.Error(error.message());
    return kExitOffice;
}

// The lines of a file or standard input (`bytes`), or the records of the bus (`bus`),
// each put into the table as soon as it is read: the table paces the writes.
FeedResult FeedLiveTable(const FeedOptions& options, ByteSource* bytes, BusInput* bus,
                         LiveFeed& table, const std::optional<FeedOffice>& office,
                         Console& console) {
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
#else
        static_cast<void>(bus);
#endif
    }
    console.EndProgress();
    return result;
}

// The exit status of an input lost for good; 0 when it was not.
int InputLostStatus(const BusInput* bus) {
#if CORVANE_FEED_BUS
    if (bus != nullptr && !bus->Failure().ok()) return BusStatus(bus->Failure());
#else
    static_cast<void>(bus);
#endif
    return 0;
}

// The end of a --follow run: the rows still on their way, the copies, the lines the
// table refused late, the summary and the table's close. Returns the run's exit status.
int EndLiveTable(const FeedOptions& options, const FeedResult& result, int inputStatus,
                 LiveFeed& table, StopSignals& signals, Console& console) {
    int status = result.failed > 0 ? kExitLinesFailed : 0;
    if (!result.fatal.ok()) {
        console.Error(result.fatal.message());
        status = inputStatus != 0 ? inputStatus : kExitOffice;
    }
    bool stuck = false;
    // Copies are stored whatever went wrong, with every row the table holds.
    for (const corvane::Error& failure : table.Finish(options.saveAs, signals, console)) {
        console.Error(failure.message());
        status = kExitOffice;
        stuck |= failure == corvane::ErrorCode::Timeout;
    }
    // Known only once every line was taken up by the table.
    if (const unsigned long long refused = table.RefusedLater(); refused > 0) {
        console.Error(std::to_string(refused) +
                      " line(s) found no row in the workbook: " + table.Stats().last_message);
        if (status == 0) status = kExitLinesFailed;
    }
    console.Summary(result);
    if (const corvane::Error failure = table.Close(); !failure.ok()) {
        console.Error(failure.message());
        status = kExitOffice;
    }
    return stuck ? GaveUpOnTheOffice(options, console) : status;
}

// --follow: the lines go into a live table, so reading them never waits for the office.
// The input is a file or standard input (`bytes`), or the bus (`bus`).
int RunLive(const FeedOptions& options, ByteSource* bytes, BusInput* bus, StopSignals& signals,
            Console& console) {
    // An office this run starts is declared first: it outlives the table.
    std::optional<FeedOffice> office;
    LiveFeed table(options);
    // A second stop ends the office this run started. One the table owns is tied to
    // this process and ends with it.
    signals.OnSecondSignal([&office] {
        if (office) office->Abandon();
    });
    const SignalHooksCleared unhook{signals};
    if (const int status = OpenLiveTable(options, table, office, signals, console); status != 0)
        return status;
    const FeedResult result = FeedLiveTable(options, bytes, bus, table, office, console);
    return EndLiveTable(options, result, InputLostStatus(bus), table, signals, console);
}

// Stores each copy of --save-as while the office answers, telling each as it goes.
// Returns the failures, told already.
std::vector<corvane::Error> SaveCopies(const FeedOptions& options, FeedOffice& office,
                                       SheetWriter& writer, Console& console) {
    std::vector<corvane::Error> failures;
    if (options.saveAs.empty()) return failures;
    if (!writer.OfficeAnswers()) {
        failures.emplace_back(corvane::ErrorCode::NotConnected,
                              "no copy saved: the office no longer answers");
        console.Error(failures.back().message());
        return failures;
    }
    for (const std::string& path : options.saveAs) {
        if (corvane::Error failure = office.SaveCopy(path); !failure.ok()) {
            console.Error(failure.message());
            failures.push_back(std::move(failure));
        } else {
            console.Note("saved " + path);
        }
    }
    return failures;
}

// Without --follow: the run's own connection writes each line into the next row.
int RunInOffice(const FeedOptions& options, InputSource& input, StopSignals& signals,
                Console& console) {
    FeedOffice office(OfficeSettingsOf(options), signals, console);
    signals.OnSecondSignal([&office] { office.Abandon(); });
    // A first Ctrl-C ends a wait for the office at once.
    signals.OnFirstSignal([] { corvane_stop_waiting(); });
    // Unhooked before `office` goes.
    const SignalHooksCleared unhook{signals};
    if (const corvane::Error error = office.Open(); !error.ok()) {
        console.Error(error.message());
        return error == corvane::ErrorCode::Timeout ? GaveUpOnTheOffice(options, console)
                                                    : kExitOffice;
    }

    CApiWriter writer;
    FeedLoop loop(options.feed, RecordCheck(LibraryColumns()));
    console.StartFeed();
    const FeedResult result = loop.Run(input, writer, console);
    console.EndProgress();

    int status = result.failed > 0 ? kExitLinesFailed : 0;
    if (!result.fatal.ok()) {
        console.Error(result.fatal.message());
        status = kExitOffice;
    }
    bool stuck = result.fatal == corvane::ErrorCode::Timeout;
    // What was written stays in the workbook: copies are stored whatever went wrong,
    // as long as the office still answers.
    for (const corvane::Error& failure : SaveCopies(options, office, writer, console)) {
        status = kExitOffice;
        stuck |= failure == corvane::ErrorCode::Timeout;
    }
    office.Close();
    console.Summary(result);
    return stuck ? GaveUpOnTheOffice(options, console) : status;
}

// The input: the bus, subscribed before any office work so that a server that cannot
// be reached or refuses ends the run at once (what arrives meanwhile waits, newest per
// instrument), or the file or standard input. Returns 0 or the exit status.
int OpenInput(const FeedOptions& options, InputSource& input, std::optional<BusInput>& bus,
              StopSignals& signals, Console& console) {
    if (options.bus.On()) {
#if CORVANE_FEED_BUS
        bus.emplace(options.bus, signals);
        if (const corvane::Error error = bus->Open(); !error.ok()) {
            console.Error(error.message());
            return BusStatus(error);
        }
        return 0;
#else
        static_cast<void>(bus);
        static_cast<void>(signals);
        console.Error("--nats: this corvane-feed was built without bus support");
        return kExitUsage;
#endif
    }
    if (const corvane::Error error = input.Open(options.input); !error.ok()) {
        console.Error(error.message());
        return kExitUsage;
    }
    return 0;
}

// --create-workbook. Every call into the office, in every mode, ends by a deadline;
// creating the workbook stores and reopens a whole document: it gets at least a minute.
// Returns 0 or the exit status.
int CreateWorkbook(const FeedOptions& options, Console& console) {
    const int timeoutMs = std::max(options.callTimeoutMs, kCreationTimeoutMs);
    corvane_set_timeout(timeoutMs);
    if (const corvane::Error error = CreateWorkbookIfMissing(options, console); !error.ok()) {
        console.Error(error.message());
        if (error != corvane::ErrorCode::Timeout) return kExitOffice;
        console.Error("the office did not answer within " + std::to_string(timeoutMs) +
                      " ms while creating the workbook: it is stopped or hanging");
        return kExitOfficeStuck;
    }
    corvane_set_timeout(options.callTimeoutMs);
    return 0;
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
    std::optional<BusInput> bus;
    if (const int status = OpenInput(options, input, bus, signals, console); status != 0)
        return status;
    if (const int status = CreateWorkbook(options, console); status != 0) return status;
    if (bus) return RunLive(options, nullptr, &*bus, signals, console);
    if (options.feed.follow) return RunLive(options, &input, nullptr, signals, console);
    return RunInOffice(options, input, signals, console);
}

}  // namespace

int main(int argc, char** argv) {
    // First of all: every thread started later has the stop signals blocked.
    StopSignals signals;
    const std::vector<std::string> args(argv + 1, argv + argc);
    return Run(args, signals);
}
