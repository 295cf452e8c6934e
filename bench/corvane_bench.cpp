// Side-by-side throughput of the library's exports, the bare UNO floor beneath them and
// the Python UNO client a Linux user would otherwise write, all against one headless
// office started for the run. Cases run interleaved, round after round, so that drift
// in the office affects all of them alike; the table shows medians and ratios.
#include <corvane/corvane.h>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XSpreadsheets2.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <corvane/corvane.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "resident_memory.hpp"
#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

namespace {

using corvane::bench::ResidentKiB;

using corvane::test::FileUrl;
using corvane::test::OfficeClient;
using corvane::test::OfficeSession;
using corvane::test::TempDir;
using corvane::test::U;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY_THROW;
using Clock = std::chrono::steady_clock;

struct Options {
    int rounds = 5;
    int rows = 200;             // rows per case and round
    int titleRows = 5;          // title rows per round
    int memoryWrites = 100000;  // record writes for the memory comparison
};

// One market-watch line as a host would fill it: texts, integers, reals, empty fields.
const std::array<const char*, corvane::kColumnCount> kSampleFields = {
    "NSE",     "RELIANCE", "2885",    "1200",    "2450.50", "900",     "2451.00",
    "",        "",         "",        "10",      "2450.75", "1500000", "3.6e9",
    "2470.00", "2430.00",  "2440.00", "2438.50", "54000",   "61000",   "2449.90",
    "0",       "",         "0",       "0.50",    "2900.00", "2100.00", "3100.00",
    "900.00",  "1.6e12",   "",        "2438.50", "",        "",        "",
    "",        "",         "",        "",        "",        "",        ""};

corvane::MarketWatchRecord SampleRecord() {
    corvane::MarketWatchRecord record{};
    for (int k = 0; k < corvane::kColumnCount; ++k) record.fields[k].SetString(kSampleFields[k]);
    return record;
}

// The same line as the values the library stores for it.
Sequence<Any> SampleValues() {
    Sequence<Any> values(corvane::kColumnCount);
    Any* out = values.getArray();
    for (int k = 0; k < corvane::kColumnCount; ++k) {
        const std::string text = kSampleFields[k];
        const bool isText = corvane_column_kind(k) == CORVANE_KIND_TEXT;
        if (isText || text.empty())
            out[k] <<= U(text);
        else
            out[k] <<= std::atof(text.c_str());
    }
    return values;
}

std::string RangeName(int firstRow, int rows) {
    return "A" + std::to_string(firstRow + 1) + ":AP" + std::to_string(firstRow + rows);
}

double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    return n == 0 ? 0.0 : n % 2 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
}

// Microseconds per row of `rows` calls of `body(row)`.
double PerRow(int rows, const std::function<void(int)>& body) {
    const auto start = Clock::now();
    for (int r = 0; r < rows; ++r) body(r);
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rows;
}

// Runs the Python peer and returns its microseconds per row.
double RunPython(const std::string& url, const std::string& sheet, const char* mode, int rows) {
    const std::string command = "/usr/bin/python3 " CORVANE_BENCH_DIR "/peers/uno_peer.py --url '" +
                                url + "' --sheet '" + sheet + "' --mode " + mode + " --rows " +
                                std::to_string(rows);
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return 0;
    double perRow = 0;
    if (std::fscanf(pipe, "%lf", &perRow) != 1) perRow = 0;
    ::pclose(pipe);
    return perRow;
}

struct Case {
    std::string name;
    std::string what;
    std::function<double()> run;  // microseconds per row
    std::vector<double> samples;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick") {
            options = {3, 100, 2, 10000};
        } else if (arg.rfind("--rounds=", 0) == 0) {
            options.rounds = std::atoi(arg.c_str() + 9);
        } else if (arg.rfind("--rows=", 0) == 0) {
            options.rows = std::atoi(arg.c_str() + 7);
        } else if (arg.rfind("--memory-writes=", 0) == 0) {
            options.memoryWrites = std::atoi(arg.c_str() + 16);
        } else {
            std::fprintf(stderr,
                         "usage: corvane-bench [--quick] [--rounds=N] [--rows=N] "
                         "[--memory-writes=N]\n");
            return 2;
        }
    }

    OfficeSession session;
    TempDir dir;
    const std::string book = dir / "bench.fods";
    corvane::test::WriteWorkbook(
        book, {"Floor", "Block", "Export", "Reset", "Titles", "Python", "PythonBlock", "Memory",
               "Batch1", "Batch10", "Batch100", "Batch1000", "ExportFast", "Batch100Fast"});
    OfficeClient& client = session.Start();
    const std::vector<corvane::CString> config = {corvane::test::OfficeExecutable().c_str(),
                                                  session.HeadlessCommandLine().c_str(),
                                                  book.c_str()};
    if (CorvaneInitFunc(config) < 0) {
        std::fprintf(stderr, "the library did not connect to the office\n");
        return 1;
    }
    const std::string url = FileUrl(book);
    const Reference<css::sheet::XSpreadsheets> sheets = client.Document(url)->getSheets();

    // A sheet of a workbook made by corvane_create_workbook, with all its formats, copied
    // into the bench workbook beside the plain ones.
    const std::string created = dir / "created.ods";
    const char* createdSheets[] = {"Batch100Formatted"};
    if (corvane_create_workbook(created.c_str(), createdSheets, 1, nullptr) != CORVANE_OK) {
        std::fprintf(stderr, "cannot create a workbook: %s\n", corvane_last_error());
        return 1;
    }
    {
        css::beans::PropertyValue hidden;
        hidden.Name = "Hidden";
        hidden.Value <<= true;
        const Reference<css::sheet::XSpreadsheetDocument> source(
            client.Desktop()->loadComponentFromURL(U(FileUrl(created)), "_blank", 0,
                                                   Sequence<css::beans::PropertyValue>(&hidden, 1)),
            UNO_QUERY_THROW);
        Reference<css::sheet::XSpreadsheets2>(sheets, UNO_QUERY_THROW)
            ->importSheet(source, "Batch100Formatted", 0);
        Reference<css::util::XCloseable>(source, UNO_QUERY_THROW)->close(true);
    }

    const corvane::MarketWatchRecord record = SampleRecord();
    const Sequence<Any> values = SampleValues();
    const int rows = options.rows;
    constexpr int kBlock = 100;
    // Block cases write at least 1000 rows per sample: a single block is too short to
    // time steadily.
    const int blockCaseRows = std::max(rows, 1000);
    Sequence<Sequence<Any>> block(kBlock);
    std::fill_n(block.getArray(), kBlock, values);

    std::vector<Case> cases;
    const auto add = [&cases](const char* name, const char* what, std::function<double()> run) {
        cases.push_back(Case{name, what, std::move(run), {}});
    };
    const Reference<css::sheet::XSpreadsheetDocument> document = client.Document(url);
    add("floor: trivial remote call", "getSheets",
        [&] { return PerRow(rows, [&](int) { document->getSheets(); }); });
    add("floor: bare C++ row sequence", "6 calls per row", [&] {
        return PerRow(rows, [&](int r) {
            const Reference<css::table::XCellRange> sheet(sheets->getByName("Floor"),
                                                          UNO_QUERY_THROW);
            const Reference<css::sheet::XCellRangeData> data(
                sheet->getCellRangeByName(U(RangeName(r + 1, 1))), UNO_QUERY_THROW);
            Sequence<Sequence<Any>> array = data->getDataArray();
            array.getArray()[0] = values;
            data->setDataArray(array);
        });
    });
    add("floor: bare C++ block of 100", "1 setDataArray per 100 rows", [&] {
        const Reference<css::table::XCellRange> sheet(sheets->getByName("Block"), UNO_QUERY_THROW);
        return PerRow(blockCaseRows / kBlock,
                      [&](int b) {
                          const Reference<css::sheet::XCellRangeData> data(
                              sheet->getCellRangeByName(U(RangeName(1 + b * kBlock, kBlock))),
                              UNO_QUERY_THROW);
                          data->setDataArray(block);
                      }) /
               kBlock;
    });
    add("CorvaneInsertUpdate", "per row", [&] {
        return PerRow(rows, [&](int r) {
            CorvaneInsertUpdate("Export", r + 1, const_cast<corvane::MarketWatchRecord*>(&record));
        });
    });
    add("CorvaneResetRecord", "per row",
        [&] { return PerRow(rows, [&](int r) { CorvaneResetRecord("Reset", r + 1); }); });
    add("CorvaneSetHeaderString", "per title row", [&] {
        return PerRow(options.titleRows, [&](int r) { CorvaneSetHeaderString("Titles", r); });
    });
    // The batched export at several block sizes, each over at least one whole block.
    const std::vector<const corvane::MarketWatchRecord*> recordPointers(1000, &record);
    const auto batched = [&](const char* sheet, int blockRows, int caseRows) {
        const int blocks = std::max(1, caseRows / blockRows);
        return PerRow(blocks,
                      [&](int b) {
                          CorvaneInsertUpdateRows(sheet, 1 + b * blockRows, recordPointers.data(),
                                                  blockRows);
                      }) /
               blockRows;
    };
    add("CorvaneInsertUpdateRows: 1 per block", "per row",
        [&] { return batched("Batch1", 1, rows); });
    add("CorvaneInsertUpdateRows: 10 per block", "per row",
        [&] { return batched("Batch10", 10, blockCaseRows); });
    add("CorvaneInsertUpdateRows: 100 per block", "per row",
        [&] { return batched("Batch100", 100, blockCaseRows); });
    add("CorvaneInsertUpdateRows: 1000 per block", "per row",
        [&] { return batched("Batch1000", 1000, blockCaseRows); });
    add("CorvaneInsertUpdateRows: 100 per block, created workbook", "per row",
        [&] { return batched("Batch100Formatted", 100, blockCaseRows); });
    // Fast writes, turned on only for these cases and off again outside the timing.
    add("CorvaneInsertUpdate, fast writes", "per row", [&] {
        CorvaneSetFastWrites(1);
        const double us = PerRow(rows, [&](int r) {
            CorvaneInsertUpdate("ExportFast", r + 1,
                                const_cast<corvane::MarketWatchRecord*>(&record));
        });
        CorvaneSetFastWrites(0);
        return us;
    });
    add("CorvaneInsertUpdateRows: 100 per block, fast writes", "per row", [&] {
        CorvaneSetFastWrites(1);
        const double us = batched("Batch100Fast", 100, blockCaseRows);
        CorvaneSetFastWrites(0);
        return us;
    });
    add("Python UNO: row sequence", "per row",
        [&] { return RunPython(url, "Python", "rows", rows); });
    add("Python UNO: block of 100", "per row",
        [&] { return RunPython(url, "PythonBlock", "block", rows); });

    for (int round = 0; round < options.rounds; ++round) {
        for (Case& c : cases) c.samples.push_back(c.run());
        std::fprintf(stderr, "round %d of %d done\n", round + 1, options.rounds);
    }

    std::map<std::string, double> median;
    std::printf("\n| case | measured as | median us/row | rows/s |\n|---|---|---:|---:|\n");
    for (const Case& c : cases) {
        median[c.name] = Median(c.samples);
        const double us = median[c.name];
        if (c.name == "CorvaneSetHeaderString")
            std::printf("| %s | %s | %.0f (%.1f ms/row) | %.1f |\n", c.name.c_str(), c.what.c_str(),
                        us, us / 1000, 1e6 / us);
        else
            std::printf("| %s | %s | %.1f | %.0f |\n", c.name.c_str(), c.what.c_str(), us,
                        1e6 / us);
    }

    const auto ratio = [&](const char* a, const char* b) { return median[a] / median[b]; };
    std::printf("\n| ratio | value | target |\n|---|---:|---|\n");
    std::printf("| CorvaneInsertUpdate cost / bare C++ row sequence | %.2f | <= 1.1 |\n",
                ratio("CorvaneInsertUpdate", "floor: bare C++ row sequence"));
    std::printf("| Python row sequence cost / CorvaneInsertUpdate | %.2f | >= 2.5 |\n",
                ratio("Python UNO: row sequence", "CorvaneInsertUpdate"));
    std::printf("| 100-row batches, speed / bare block of 100 | %.2f | >= 0.9 |\n",
                ratio("floor: bare C++ block of 100", "CorvaneInsertUpdateRows: 100 per block"));
    std::printf("| 100-row batches, speed / CorvaneInsertUpdate | %.1f | >= 20 |\n",
                ratio("CorvaneInsertUpdate", "CorvaneInsertUpdateRows: 100 per block"));
    std::printf("| 100-row batches, created workbook cost / plain sheet | %.2f | <= 1.2 |\n",
                ratio("CorvaneInsertUpdateRows: 100 per block, created workbook",
                      "CorvaneInsertUpdateRows: 100 per block"));
    std::printf("| CorvaneInsertUpdate, fast writes speed / without | %.2f | >= 1.3 |\n",
                ratio("CorvaneInsertUpdate", "CorvaneInsertUpdate, fast writes"));
    std::printf("| 100-row batches, fast writes speed / without | %.2f | |\n",
                ratio("CorvaneInsertUpdateRows: 100 per block",
                      "CorvaneInsertUpdateRows: 100 per block, fast writes"));

    // Memory: the process's resident size after 10^3 record writes and after all.
    const int early = std::min(1000, options.memoryWrites);
    for (int r = 0; r < early; ++r)
        CorvaneInsertUpdate("Memory", r % 1000, const_cast<corvane::MarketWatchRecord*>(&record));
    const long afterEarly = ResidentKiB();
    for (int r = early; r < options.memoryWrites; ++r)
        CorvaneInsertUpdate("Memory", r % 1000, const_cast<corvane::MarketWatchRecord*>(&record));
    const long afterAll = ResidentKiB();
    std::printf(
        "\n| resident memory | KiB |\n|---|---:|\n| after %d record writes | %ld |\n"
        "| after %d record writes | %ld |\n| growth | %ld |\n",
        early, afterEarly, options.memoryWrites, afterAll, afterAll - afterEarly);
    return 0;
}
