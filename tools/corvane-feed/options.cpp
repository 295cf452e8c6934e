#include "options.hpp"

#include <charconv>
#include <cmath>
#include <optional>

namespace corvane::feed {
namespace {

constexpr int kDefaultIntervalMs = 250;

bool ParseInt(const std::string& text, int& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

bool ParseSeconds(const std::string& text, double& value) {
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end && std::isfinite(value) &&
           value > 0;
}

}  // namespace

std::string ParseOptions(const std::vector<std::string>& args, const std::string& defaultOffice,
                         FeedOptions& options) {
    options = FeedOptions{};
    options.office = defaultOffice;
    std::optional<int> firstRow;
    std::optional<int> interval;
    bool haveInput = false;
    bool haveSheet = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> inlineValue;
        if (name.rfind("--", 0) == 0) {
            if (const std::size_t eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.erase(eq);
            }
        }
        // The value of an option that takes one: "--name=value" or "--name value".
        std::string value;
        const auto takeValue = [&]() -> bool {
            if (inlineValue) {
                value = *inlineValue;
                return true;
            }
            if (i + 1 >= args.size()) return false;
            value = args[++i];
            return true;
        };
        const auto flag = [&](bool& target, bool setting) -> std::string {
            if (inlineValue) return name + " takes no value";
            target = setting;
            return {};
        };

        std::string error;
        if (name == "--help" || name == "-h") {
            error = flag(options.help, true);
        } else if (name == "--quiet" || name == "-q") {
            error = flag(options.quiet, true);
        } else if (name == "--keep-office") {
            error = flag(options.keepOffice, true);
        } else if (name == "--follow") {
            error = flag(options.feed.follow, true);
        } else if (name == "--titles") {
            error = flag(options.feed.titles, true);
        } else if (name == "--no-titles") {
            error = flag(options.feed.titles, false);
        } else if (name == "--sheet-per-exchange") {
            error = flag(options.feed.sheetPerExchange, true);
        } else if (name == "--create-workbook") {
            error = flag(options.createWorkbook, true);
        } else if (name == "--sheets") {
            if (!takeValue() || value.empty()) return "--sheets needs a value";
            options.sheets.clear();
            for (std::size_t start = 0;;) {
                const std::size_t comma = value.find(',', start);
                options.sheets.push_back(value.substr(start, comma - start));
                if (comma == std::string::npos) break;
                start = comma + 1;
            }
        } else if (name == "--office" || name == "--command-line" || name == "--workbook" ||
                   name == "--sheet" || name == "--first-row" || name == "--save-as" ||
                   name == "--wait" || name == "--interval") {
            if (!takeValue()) return name + " needs a value";
            if (value.empty() && name != "--command-line") return name + " needs a value";
            if (name == "--office") {
                options.office = value;
            } else if (name == "--command-line") {
                options.commandLine = value;
            } else if (name == "--workbook") {
                options.workbook = value;
            } else if (name == "--sheet") {
                options.feed.sheet = value;
                haveSheet = true;
            } else if (name == "--save-as") {
                options.saveAs.push_back(value);
            } else if (name == "--first-row") {
                int row = 0;
                if (!ParseInt(value, row) || row < 0)
                    return "--first-row takes a row number from 0, not \"" + value + "\"";
                firstRow = row;
            } else if (name == "--interval") {
                int milliseconds = 0;
                if (!ParseInt(value, milliseconds) || milliseconds < 0)
                    return "--interval takes a number of milliseconds from 0, not \"" + value +
                           "\"";
                interval = milliseconds;
            } else if (!ParseSeconds(value, options.waitSeconds)) {
                return "--wait takes a number of seconds above 0, not \"" + value + "\"";
            }
        } else if (name.size() > 1 && name[0] == '-') {
            return "unknown option " + name;
        } else {
            if (haveInput) return "only one input file may be given";
            options.input = name;
            haveInput = true;
        }
        if (!error.empty()) return error;
    }

    if (options.help) return {};
    if (options.workbook.empty()) return "--workbook is required";
    if (haveSheet == options.feed.sheetPerExchange)
        return "give either --sheet NAME or --sheet-per-exchange";
    if (!options.sheets.empty() && !(options.createWorkbook && options.feed.sheetPerExchange))
        return "--sheets names the sheets --create-workbook makes for --sheet-per-exchange: give "
               "it with both";
    if (interval && !options.feed.follow)
        return "--interval paces the updates of --follow: give it with --follow";
    options.feed.interval = std::chrono::milliseconds(interval.value_or(kDefaultIntervalMs));
    options.feed.firstRow = firstRow.value_or(options.feed.titles ? 1 : 0);
    if (options.feed.titles && options.feed.firstRow == 0)
        return "--first-row 0 leaves no row above for the titles: use --no-titles or a "
               "later row";
    return {};
}

std::string HelpText(const std::string& defaultOffice) {
    return "Usage: corvane-feed [OPTIONS] --workbook PATH (--sheet NAME | --sheet-per-exchange)\n"
           "                    [INPUT.csv]\n"
           "\n"
           "Mirrors a market watch from CSV into a workbook open in an office (LibreOffice\n"
           "Calc). Each input line is one instrument in the 42-column market-watch order, with\n"
           "RFC 4180 quoting; missing trailing fields are empty, and numeric columns take a\n"
           "number (decimal point) or nothing. A first line holding the column titles is\n"
           "skipped. INPUT is a file, or standard input when it is missing or \"-\".\n"
           "\n"
           "Office and workbook:\n"
           "  --workbook PATH       spreadsheet to load and write to (required)\n"
           "  --office PATH         office program (default: " +
           defaultOffice +
           ")\n"
           "  --command-line TEXT   how to start the office when none accepts on the pipe\n"
           "                        \"ooo_pipe\": the office path in double quotes, then its\n"
           "                        options (default: headless, accepting on the pipe, with a\n"
           "                        throw-away profile that is deleted at the end)\n"
           "  --wait SECONDS        how long to wait for that office to accept (default: 60)\n"
           "  --keep-office         leave the office this run started running at the end\n"
           "  --create-workbook     create the workbook when it does not exist, with the\n"
           "                        market-watch look and the sheet of --sheet, or for\n"
           "                        --sheet-per-exchange the sheets NSE and BSE\n"
           "  --sheets A,B,...      with --create-workbook and --sheet-per-exchange: the\n"
           "                        names of the sheets to create instead\n"
           "  --save-as PATH        at the end, store a copy of the workbook at PATH in the\n"
           "                        format its extension names (.ods, .xlsx, .csv, .pdf, ...);\n"
           "                        may be given several times\n"
           "\n"
           "Where rows go:\n"
           "  --sheet NAME          the sheet to write to\n"
           "  --sheet-per-exchange  write each line to the sheet named by its exchange\n"
           "                        (column A) instead\n"
           "  --first-row N         zero-based row of the first instrument, 0 being the\n"
           "                        sheet's row 1 (default: 1 with titles, else 0)\n"
           "  --titles              write the column titles in the row above it (default)\n"
           "  --no-titles           leave that row alone\n"
           "  --follow              update rows in place: each line rewrites the row of its\n"
           "                        instrument (exchange and scrip code), and a new\n"
           "                        instrument takes the next free row; without it, lines\n"
           "                        fill one row after another\n"
           "  --interval MS         with --follow: write the rows that changed at most once\n"
           "                        every MS milliseconds, each row with the newest line of\n"
           "                        its instrument, adjacent rows in one block (default: " +
           std::to_string(kDefaultIntervalMs) +
           ");\n"
           "                        0 writes every line as soon as it is read\n"
           "\n"
           "Output:\n"
           "  --quiet               no progress and no summary, only errors\n"
           "  --help                show this text\n"
           "\n"
           "An office that already accepts on the pipe \"ooo_pipe\" is used and left running.\n"
           "Otherwise one is started and shut down at the end, unless --keep-office: as what\n"
           "it holds is then lost, such a run needs --save-as or --keep-office.\n"
           "Input is read until it ends or Ctrl-C (or SIGTERM), which finishes the current\n"
           "row, writes the rows still waiting and ends the run cleanly; a second Ctrl-C\n"
           "quits at once. A line that cannot be written is reported with its line number\n"
           "and skipped; with --follow, a line that a newer line of its instrument replaces\n"
           "before it is written is not written. Progress goes to standard error when it\n"
           "is a terminal; a summary at the end.\n"
           "\n"
           "Exit status: 0 no line failed; 1 some lines failed; 2 wrong command line or\n"
           "unreadable input; 3 the office, the workbook, its sheet or a copy failed.\n";
}

}  // namespace corvane::feed
