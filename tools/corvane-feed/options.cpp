#include "options.hpp"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <memory>
#include <optional>
#include <utility>

namespace corvane::feed {
namespace {

// A sheet's rows: 0 to 1,048,575.
constexpr int kLastSheetRow = defaults::kSheetRows - 1;
// The longest wait for an office, and the longest interval between writes: a day.
constexpr double kMaxWaitSeconds = 86400;
constexpr int kMaxIntervalMs = 86400 * 1000;
constexpr int kDefaultCallTimeoutMs = defaults::kCallTimeoutMs;
constexpr int kMaxCallTimeoutMs = 86400 * 1000;

constexpr char kDescription[] =
    "Mirrors a market watch from CSV into a workbook open in an office (LibreOffice\n"
    "Calc). Each input line is one instrument in the 42-column market-watch order, with\n"
    "RFC 4180 quoting; missing trailing fields are empty, and numeric columns take a\n"
    "number (decimal point) or nothing. A first line holding the column titles is\n"
    "skipped. INPUT is a file, or standard input when it is missing or \"-\"; with\n"
    "--nats the records come from a NATS server instead, one per message.\n";

constexpr char kFooter[] =
    "An office that already accepts on the pipe \"ooo_pipe\" is used and left running.\n"
    "Otherwise one is started and shut down at the end, unless --keep-office: as what\n"
    "it holds is then lost, such a run needs --save-as or --keep-office.\n"
    "With --follow the lines go into a live table of the library: reading them never\n"
    "waits for the office, and the table rewrites the sheet when the office dies or\n"
    "stops answering. An office it starts runs headless on a throw-away profile and\n"
    "is ended at the end (the table cannot keep it); with --keep-office or\n"
    "--command-line the run starts the office itself, as without --follow, and the\n"
    "table attaches to it.\n"
    "Input is read until it ends or Ctrl-C (or SIGTERM), which finishes the current\n"
    "row, writes the rows still waiting and ends the run cleanly; a second Ctrl-C\n"
    "quits at once. A line that cannot be written is reported with its line number\n"
    "and skipped; with --follow, a line that a newer line of its instrument replaces\n"
    "before it is written is not written. Progress goes to standard error when it\n"
    "is a terminal; a summary at the end.\n"
    "With --nats the feed subscribes until Ctrl-C (or SIGTERM), then writes the rows\n"
    "still waiting and stores its copies. A message that cannot be written is reported\n"
    "with its subject or key and skipped. A --bucket feed first takes every value the\n"
    "bucket holds (a note tells when that snapshot is complete), then each update.\n"
    "While the connection to the server is lost a note says so (the rows on the sheet\n"
    "may be stale) and the feed reconnects by itself.\n"
    "\n"
    "Exit status: 0 no line failed; 1 some lines failed; 2 wrong command line or\n"
    "unreadable input; 3 the office, the workbook, its sheet or a copy failed; 4 the\n"
    "office did not answer within --call-timeout (stopped or hanging): the run gave up\n"
    "on it, and copies it could not store are missing; 5 the NATS server cannot be\n"
    "reached (or the connection was lost for good); 6 the server refused the\n"
    "credentials, the subject or the bucket (a missing bucket included).";

// What the command line gives as text, checked after parsing.
struct RawValues {
    std::string firstRow;
    std::string interval;
    std::string wait;
    std::string callTimeout;
};

constexpr char kOutputGroup[] = "Output";

CLI::Option* Flag(CLI::App& app, const char* names, bool& target, const char* text) {
    return app.add_flag(names, target, text)->disable_flag_override();
}

// --workbook, the office, its deadlines, the workbook's creation and copies.
void DeclareOffice(CLI::App& app, const std::string& defaultOffice, FeedOptions& options,
                   RawValues& raw) {
    const char* office = "Office and workbook";
    app.add_option("--workbook", options.workbook, "spreadsheet to load and write to (required)")
        ->type_name("PATH")
        ->group(office);
    app.add_option("--office", options.office, "office program (default: " + defaultOffice + ")")
        ->type_name("PATH")
        ->group(office);
    app.add_option("--command-line", options.commandLine,
                   "how to start the office when none accepts on the pipe\n"
                   "\"ooo_pipe\": the office path in double quotes, then its\n"
                   "options (default: headless, accepting on the pipe, with a\n"
                   "throw-away profile that is deleted at the end)")
        ->type_name("TEXT")
        ->group(office);
    app.add_option("--wait", raw.wait,
                   "how long to wait for that office to accept, above 0\n"
                   "and at most 86400 (default: 60)")
        ->type_name("SECONDS")
        ->group(office);
    app.add_option("--call-timeout", raw.callTimeout,
                   "the longest one call into the office may take, 1 to\n"
                   "86400000 (default: " +
                       std::to_string(kDefaultCallTimeoutMs) +
                       "); an office that does not answer in\n"
                       "time ends the run with exit status 4, or with --follow\n"
                       "is replaced or waited for by the live table;\n"
                       "--create-workbook gets at least 60000")
        ->type_name("MS")
        ->group(office);
    Flag(app, "--keep-office", options.keepOffice,
         "leave the office this run started running at the end")
        ->group(office);
    Flag(app, "--create-workbook", options.createWorkbook,
         "create the workbook when it does not exist, with the\n"
         "market-watch look and the sheet of --sheet, or for\n"
         "--sheet-per-exchange the sheets NSE and BSE")
        ->group(office);
    app.add_option("--sheets", options.sheets,
                   "with --create-workbook and --sheet-per-exchange: the\n"
                   "names of the sheets to create instead")
        ->type_name("A,B,...")
        ->delimiter(',')
        ->group(office);
    app.add_option("--save-as", options.saveAs,
                   "at the end, store a copy of the workbook at PATH in the\n"
                   "format its extension names (.ods, .xlsx, .csv, .pdf, ...);\n"
                   "may be given several times")
        ->type_name("PATH")
        ->allow_extra_args(false)
        ->group(office);
}

// The sheet, the rows and titles, and with --follow how rows are kept and paced.
void DeclareRows(CLI::App& app, FeedOptions& options, RawValues& raw) {
    const char* rows = "Where rows go";
    app.add_option("--sheet", options.feed.sheet, "the sheet to write to")
        ->type_name("NAME")
        ->group(rows);
    Flag(app, "--sheet-per-exchange", options.feed.sheetPerExchange,
         "write each line to the sheet named by its exchange\n"
         "(column A) instead; names that differ only in letter\n"
         "case are one sheet, as in the office")
        ->group(rows);
    app.add_option("--first-row", raw.firstRow,
                   "zero-based row of the first instrument, 0 being the\n"
                   "sheet's row 1, at most " +
                       std::to_string(kLastSheetRow) +
                       " (default: 1 with titles,\n"
                       "else 0)")
        ->type_name("N")
        ->group(rows);
    Flag(app, "--titles", options.feed.titles,
         "write the column titles in the row above it (default)")
        ->group(rows);
    bool& titles = options.feed.titles;
    app.add_flag_callback(
           "--no-titles", [&titles] { titles = false; }, "leave that row alone")
        ->disable_flag_override()
        ->group(rows);
    Flag(app, "--follow", options.feed.follow,
         "update rows in place: each line rewrites the row of its\n"
         "instrument (exchange and scrip code); an instrument the\n"
         "sheet holds already keeps its row, a new one takes the\n"
         "row after the last one used; without it, lines fill one\n"
         "row after another")
        ->group(rows);
    Flag(app, "--clean-sheet", options.cleanSheet,
         "with --follow: empty the rows the sheet holds from the\n"
         "first row down, instead of keeping the instruments found\n"
         "there in their rows")
        ->group(rows);
    app.add_option("--interval", raw.interval,
                   "with --follow: write the rows that changed at most once\n"
                   "every MS milliseconds, each row with the newest line of\n"
                   "its instrument, nearby rows in one block (default: " +
                       std::to_string(defaults::kFeedIntervalMs) +
                       ");\n0 writes as soon as anything changed, the least\n"
                       "pacing the table allows")
        ->type_name("MS")
        ->group(rows);
}

// What the run tells besides errors (--help is declared first, in the same group).
void DeclareOutput(CLI::App& app, FeedOptions& options) {
    Flag(app, "-q,--quiet", options.quiet, "no progress and no summary, only errors")
        ->group(kOutputGroup);
    Flag(app, "--print-office-pid", options.printOfficePid,
         "with --follow: note the process id of each office the\n"
         "run or its table starts (to test how a run survives its loss)")
        ->group(kOutputGroup);
}

// --nats: the server, the subject or bucket, and the credentials.
void DeclareBus(CLI::App& app, BusOptions& options) {
    const char* bus = "Bus input (NATS)";
    app.add_option("--nats", options.url,
                   "take the records from the NATS server at URL\n"
                   "(nats://host:port; several, comma-separated, for a\n"
                   "cluster) instead of INPUT; implies --follow")
        ->type_name("URL")
        ->group(bus);
    app.add_option("--subject", options.subject,
                   "with --nats: each message of SUBJECT is one record\n"
                   "(wildcards * and > allowed)")
        ->type_name("SUBJECT")
        ->group(bus);
    app.add_option("--bucket", options.bucket,
                   "with --nats: watch the key-value bucket NAME, one key\n"
                   "per instrument (EXCHANGE.SCRIP), its value one record:\n"
                   "every current value first, then each update")
        ->type_name("NAME")
        ->group(bus);
    app.add_option("--nats-user", options.user, "user name, with --nats-password")
        ->type_name("NAME")
        ->group(bus);
    app.add_option("--nats-password", options.password, "password, with --nats-user")
        ->type_name("TEXT")
        ->group(bus);
    app.add_option("--nats-token", options.token, "token credential")
        ->type_name("TEXT")
        ->group(bus);
    app.add_option("--nats-creds", options.credsFile, "credentials file (user JWT and seed)")
        ->type_name("PATH")
        ->group(bus);
    app.add_option("--nats-ca", options.caFile,
                   "connect over TLS, trusting the certificate\n"
                   "authority in PATH")
        ->type_name("PATH")
        ->group(bus);
}

// The one declaration of every option: parsing and --help both come from it, in this
// order.
std::unique_ptr<CLI::App> Declare(const std::string& defaultOffice, FeedOptions& options,
                                  RawValues& raw) {
    auto app = std::make_unique<CLI::App>(kDescription, "corvane-feed");
    app->footer(kFooter);
    app->get_formatter()->column_width(24);
    app->set_help_flag("-h,--help", "show this text")->group(kOutputGroup);
    DeclareOffice(*app, defaultOffice, options, raw);
    DeclareRows(*app, options, raw);
    DeclareOutput(*app, options);
    DeclareBus(*app, options.bus);
    app->add_option("INPUT", options.input, "the CSV input (default: standard input)")
        ->type_name("");
    return app;
}

bool ParseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

bool ParseSeconds(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end && std::isfinite(value) &&
           value > 0 && value <= kMaxWaitSeconds;
}

Error Wrong(std::string why) { return Error(ErrorCode::Argument, std::move(why)); }

// The options given with an empty value, which none of them takes.
Error CheckValuesGiven(const CLI::App& app) {
    for (const char* name :
         {"--workbook", "--office", "--sheet", "--save-as", "--first-row", "--interval", "--wait",
          "--sheets", "--call-timeout", "--nats", "--subject", "--bucket", "--nats-user",
          "--nats-password", "--nats-token", "--nats-creds", "--nats-ca"}) {
        const CLI::Option* option = app.get_option(name);
        for (const std::string& value : option->results())
            if (value.empty()) return Wrong(std::string(name) + " needs a value");
    }
    return {};
}

// The bus options that do not go together, or not without --nats.
Error CheckBusCombination(const CLI::App& app, const FeedOptions& options) {
    const BusOptions& bus = options.bus;
    if (!bus.On()) {
        for (const char* name : {"--subject", "--bucket", "--nats-user", "--nats-password",
                                 "--nats-token", "--nats-creds", "--nats-ca"})
            if (app.count(name) > 0)
                return Wrong(std::string(name) + " goes with --nats URL: give both or neither");
        return {};
    }
    if (app.count("INPUT") > 0)
        return Wrong("--nats takes the records from the bus: give no INPUT file with it");
    if (bus.subject.empty() == bus.bucket.empty())
        return Wrong("with --nats, give either --subject SUBJECT or --bucket NAME");
    if (bus.user.empty() != bus.password.empty())
        return Wrong("give --nats-user and --nats-password together");
    const int kinds = !bus.user.empty() + !bus.token.empty() + !bus.credsFile.empty();
    if (kinds > 1)
        return Wrong(
            "give one kind of credentials: --nats-user with --nats-password, --nats-token "
            "or --nats-creds");
    return {};
}

}  // namespace

Error ParseOptions(const std::vector<std::string>& args, const std::string& defaultOffice,
                   FeedOptions& options) {
    options = FeedOptions{};
    options.office = defaultOffice;
    RawValues raw;
    const std::unique_ptr<CLI::App> app = Declare(defaultOffice, options, raw);
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return {};
    } catch (const CLI::ParseError& error) {
        return Wrong(error.what());
    }

    if (Error error = CheckValuesGiven(*app); !error.ok()) return error;
    if (options.workbook.empty()) return Wrong("--workbook is required");
    const bool haveSheet = app->count("--sheet") > 0;
    if (haveSheet == options.feed.sheetPerExchange)
        return Wrong("give either --sheet NAME or --sheet-per-exchange");
    if (app->count("--sheets") > 0 && !(options.createWorkbook && options.feed.sheetPerExchange))
        return Wrong(
            "--sheets names the sheets --create-workbook makes for --sheet-per-exchange: give "
            "it with both");
    if (!raw.wait.empty() && !ParseSeconds(raw.wait, options.waitSeconds))
        return Wrong("--wait takes a number of seconds above 0 and at most 86400, not \"" +
                     raw.wait + "\"");
    if (!raw.callTimeout.empty() &&
        (!ParseInt(raw.callTimeout, options.callTimeoutMs) || options.callTimeoutMs < 1 ||
         options.callTimeoutMs > kMaxCallTimeoutMs))
        return Wrong("--call-timeout takes a number of milliseconds from 1 to 86400000, not \"" +
                     raw.callTimeout + "\"");
    if (Error error = CheckBusCombination(*app, options); !error.ok()) return error;
    // Records from a bus update instruments again and again: a live table places them.
    if (options.bus.On()) options.feed.follow = true;
    std::optional<int> firstRow;
    if (!raw.firstRow.empty()) {
        int row = 0;
        if (!ParseInt(raw.firstRow, row) || row < 0 || row > kLastSheetRow)
            return Wrong("--first-row takes a row number from 0 to " +
                         std::to_string(kLastSheetRow) + ", not \"" + raw.firstRow + "\"");
        firstRow = row;
    }
    int interval = defaults::kFeedIntervalMs;
    if (!raw.interval.empty()) {
        if (!options.feed.follow)
            return Wrong("--interval paces the updates of --follow: give it with --follow");
        if (!ParseInt(raw.interval, interval) || interval < 0 || interval > kMaxIntervalMs)
            return Wrong("--interval takes a number of milliseconds from 0 to 86400000, not \"" +
                         raw.interval + "\"");
    }
    options.interval = std::chrono::milliseconds(interval);
    if (options.cleanSheet && !options.feed.follow)
        return Wrong("--clean-sheet empties the rows --follow would keep: give it with --follow");
    options.feed.firstRow = firstRow.value_or(options.feed.titles ? 1 : 0);
    if (options.feed.titles && options.feed.firstRow == 0)
        return Wrong(
            "--first-row 0 leaves no row above for the titles: use --no-titles or a "
            "later row");
    return {};
}

std::string HelpText(const std::string& defaultOffice) {
    FeedOptions options;
    RawValues raw;
    return Declare(defaultOffice, options, raw)->help();
}

}  // namespace corvane::feed
