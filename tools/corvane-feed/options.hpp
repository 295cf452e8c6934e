// The command line of corvane-feed.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "core/defaults.hpp"
#include "core/error.hpp"
#include "feed_loop.hpp"

namespace corvane::feed {

// --nats: the input comes from a message bus (NATS) instead of a file.
struct BusOptions {
    std::string url;      // "" for no bus
    std::string subject;  // one record per message of this subject (wildcards allowed)
    std::string bucket;   // or one record per value of this key-value bucket
    std::string user, password, token, credsFile, caFile;
    bool On() const { return !url.empty(); }
};

struct FeedOptions {
    std::string input;        // "" or "-": standard input
    std::string office;       // office program
    std::string commandLine;  // "" for the headless default with a throw-away profile
    std::string workbook;
    double waitSeconds = 60;  // for an office this run starts
    // The longest one call into the office may take, the run's own calls and the live
    // table's alike: a stopped or hanging office ends the run (or, with --follow, is
    // replaced or waited for by the table) instead of holding it forever.
    int callTimeoutMs = defaults::kCallTimeoutMs;
    bool keepOffice = false;
    std::vector<std::string> saveAs;
    bool createWorkbook = false;      // --create-workbook
    std::vector<std::string> sheets;  // --sheets A,B,...: with --sheet-per-exchange
    FeedSettings feed;
    BusOptions bus;
    // With --follow: the least time from one write of the changed rows to the next;
    // zero writes as soon as anything changed.
    std::chrono::milliseconds interval{defaults::kFeedIntervalMs};
    // With --follow: empty the rows the sheet holds instead of keeping the instruments
    // found there in their rows.
    bool cleanSheet = false;
    bool quiet = false;
    bool printOfficePid = false;  // --print-office-pid
    bool help = false;
};

// Reads the arguments after the program name and fills `options`. Argument, saying what
// is wrong, for a command line that cannot be run.
corvane::Error ParseOptions(const std::vector<std::string>& args, const std::string& defaultOffice,
                            FeedOptions& options);

// The text of --help.
std::string HelpText(const std::string& defaultOffice);

}  // namespace corvane::feed
