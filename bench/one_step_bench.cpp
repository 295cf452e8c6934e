// What writing a block as one step with its check costs, against a headless office: a
// block written from the client's thread as before, the same block handed to the
// office's main thread, and the same again with the block's key columns read first in
// the same step. The table shows medians.
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCellRange.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "office/main_thread.hpp"
#include "support/office_session.hpp"

namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY_THROW;
using Clock = std::chrono::steady_clock;

Sequence<Sequence<Any>> Block(int rows) {
    Sequence<Sequence<Any>> values(rows);
    for (int r = 0; r < rows; ++r) {
        values.getArray()[r].realloc(42);
        Any* cells = values.getArray()[r].getArray();
        cells[0] <<= rtl::OUString("NSE");
        cells[1] <<= rtl::OUString("INSTRUMENT");
        cells[2] <<= 500000.0 + r;
        for (int k = 3; k < 42; ++k) cells[k] <<= 1000.0 + r + k;
    }
    return values;
}

double MedianMs(std::vector<double>& samples) {
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int rounds = quick ? 40 : 200;
    corvane::test::OfficeSession session;
    corvane::test::OfficeClient& client = session.Start();
    css::beans::PropertyValue hidden;
    hidden.Name = "Hidden";
    hidden.Value <<= true;
    const Reference<css::sheet::XSpreadsheetDocument> document(
        client.Desktop()->loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                               Sequence<css::beans::PropertyValue>(&hidden, 1)),
        UNO_QUERY_THROW);
    // Undo recording and row heights off, so that the rounds cost alike.
    const Reference<css::beans::XPropertySet> settings(document, UNO_QUERY_THROW);
    settings->setPropertyValue("IsUndoEnabled", Any(false));
    settings->setPropertyValue("IsAdjustHeightEnabled", Any(false));
    const Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
    const Reference<css::table::XCellRange> sheet(sheets->getByIndex(0), UNO_QUERY_THROW);
    corvane::office::MainThread main(client.Office());

    std::printf("Writing a block as one step with its check, against a headless office\n\n");
    std::printf(
        "| rows per block | as before, ms | on the main thread, ms | and its key check, ms "
        "| the hand-over alone, ms |\n|---:|---:|---:|---:|---:|\n");
    for (const int rows : {10, 100, 500, 1000}) {
        const Sequence<Sequence<Any>> values = Block(rows);
        const Reference<css::sheet::XCellRangeData> range(
            sheet->getCellRangeByPosition(0, 1, 41, rows), UNO_QUERY_THROW);
        const auto write = [&] {
            range->setDataArray(values);
            return corvane::Error();
        };
        const auto onMain = [&] {
            return main.Run(write, corvane::Timeout::After(std::chrono::seconds(10)));
        };
        const auto handOver = [&] {
            return main.Run([] { return corvane::Error(); },
                            corvane::Timeout::After(std::chrono::seconds(10)));
        };
        std::vector<std::vector<double>> samples;
        const auto measure = [&](const std::function<corvane::Error()>& call) {
            std::vector<double>& times = samples.emplace_back();
            for (int round = 0; round < rounds; ++round) {
                const Clock::time_point start = Clock::now();
                const corvane::Error result = call();
                times.push_back(
                    std::chrono::duration<double, std::milli>(Clock::now() - start).count());
                if (!result.ok()) {
                    std::fprintf(stderr, "%s\n", result.message().c_str());
                    return false;
                }
            }
            return true;
        };
        // The check that goes with each write: the block's key columns read first.
        const auto checked = [&] {
            return main.Run(
                [&] {
                    const Reference<css::sheet::XCellRangeData> now(
                        sheet->getCellRangeByPosition(0, 1, 2, rows), UNO_QUERY_THROW);
                    now->getDataArray();
                    range->setDataArray(values);
                    return corvane::Error();
                },
                corvane::Timeout::After(std::chrono::seconds(10)));
        };
        if (!measure(write) || !measure(onMain) || !measure(checked)) return 1;
        if (!measure(handOver)) return 1;
        std::printf("| %d | %.2f | %.2f | %.2f | %.2f |\n", rows, MedianMs(samples[0]),
                    MedianMs(samples[1]), MedianMs(samples[2]), MedianMs(samples[3]));
        std::fflush(stdout);
    }
    client.Terminate();
    return 0;
}
