// The live table without an office: what a put costs the host's thread, what the table
// holds in memory, and how stale rows get when the writer thread meets a simulated office
// whose block calls take a fixed time plus a time per row (by default the figures
// measured for LibreOffice 7.4 on a 2-core machine; see README's Performance).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "live/live_table.hpp"
#include "resident_memory.hpp"

namespace {

using corvane::bench::ResidentKiB;

using corvane::Error;
using corvane::kColumnCount;
using corvane::live::LiveRow;
using corvane::live::LiveSink;
using corvane::live::LiveTable;
using corvane::live::RowKey;
using corvane::live::TableOptions;
using corvane::live::TableStats;
using Clock = std::chrono::steady_clock;

struct Options {
    long ticks = 1000000;
    int instruments = 5000;
    double callUs = 900;  // the simulated office: microseconds per block call
    double rowUs = 33;    // and per row of a block
    int rate = 20000;     // ticks per second of the paced run
    int seconds = 5;      // length of the paced run
};

class SimulatedOffice : public LiveSink {
  public:
    SimulatedOffice(double callUs, double rowUs) : callUs_(callUs), rowUs_(rowUs) {}
    Error Open() override { return {}; }
    Error Recover(const Error&, bool&) override { return {}; }
    Error WriteTitles(const std::string&, int) override {
        Spend(1);
        return {};
    }
    Error WriteBlock(const std::string&, int, const std::vector<corvane::live::ColumnSpan>& columns,
                     const std::vector<const LiveRow*>& rows, bool&) override {
        // A row's cost is its share of a whole row's.
        int width = 0;
        for (const corvane::live::ColumnSpan& span : columns) width += span.Width();
        Spend(static_cast<double>(rows.size()) * width / kColumnCount);
        return {};
    }
    Error ReadKeys(const std::string&, int, bool, std::vector<RowKey>& keys) override {
        keys.clear();  // an empty sheet
        Spend(1);
        return {};
    }
    Error ClearRows(const std::string&, int, int) override { return {}; }

  private:
    void Spend(double rows) const {
        std::this_thread::sleep_for(
            std::chrono::duration<double, std::micro>(callUs_ + rowUs_ * rows));
    }
    double callUs_, rowUs_;
};

// The ticks of a market watch: per instrument its fixed fields, per tick a new price,
// quantity and volume from small pools, so that formatting costs nothing while timing.
class TickSource {
  public:
    explicit TickSource(int instruments) {
        for (int i = 0; i < instruments; ++i) {
            std::vector<std::string> fields = {i % 2 ? "BSE" : "NSE",
                                               "INSTRUMENT " + std::to_string(i),
                                               std::to_string(500000 + i),
                                               "1200",
                                               "2450.50",
                                               "900",
                                               "2451.00",
                                               "",
                                               "",
                                               "",
                                               "10",
                                               "2450.75",
                                               "1500000",
                                               "3.6e9",
                                               "2470.00",
                                               "2430.00",
                                               "2440.00",
                                               "2438.50",
                                               "54000",
                                               "61000",
                                               "2449.90",
                                               "0",
                                               "",
                                               "0",
                                               "0.50",
                                               "2900.00",
                                               "2100.00",
                                               "3100.00",
                                               "900.00",
                                               "1.6e12",
                                               "",
                                               "2438.50",
                                               "",
                                               "",
                                               "",
                                               "",
                                               "",
                                               "",
                                               "",
                                               "",
                                               "",
                                               ""};
            fields_.push_back(std::move(fields));
        }
        for (int p = 0; p < 1024; ++p) {
            prices_.push_back(std::to_string(2000 + p) + "." + std::to_string(p % 100));
            quantities_.push_back(std::to_string(1 + p % 500));
            volumes_.push_back(std::to_string(1000000 + 37 * p));
        }
    }
    // The fields of tick n of instrument i.
    void Fill(long n, int i, std::string_view* out) const {
        const std::vector<std::string>& fixed = fields_[i];
        for (int k = 0; k < kColumnCount; ++k) out[k] = fixed[k];
        out[10] = quantities_[n % 1024];
        out[11] = prices_[(n * 7) % 1024];
        out[12] = volumes_[(n * 13) % 1024];
    }

  private:
    std::vector<std::vector<std::string>> fields_;
    std::vector<std::string> prices_, quantities_, volumes_;
};

// A random instrument for each tick, always the same sequence.
int Instrument(long n, int instruments) {
    std::uint64_t x = static_cast<std::uint64_t>(n) * 0x9E3779B97F4A7C15ull;
    x ^= x >> 29;
    return static_cast<int>(x % static_cast<std::uint64_t>(instruments));
}

struct Latency {
    double p50 = 0, p99 = 0, max = 0;  // microseconds
};

Latency Summarize(std::vector<std::uint32_t>& nanos) {
    if (nanos.empty()) return {};
    std::sort(nanos.begin(), nanos.end());
    const auto at = [&](double share) {
        return nanos[static_cast<std::size_t>(share * static_cast<double>(nanos.size() - 1))] /
               1000.0;
    };
    return {at(0.5), at(0.99), nanos.back() / 1000.0};
}

// Runs `body(n, instrument)` for options.rate ticks a second during options.seconds and
// summarizes the durations it returns. The thread waits for each tick busily, as a feed
// thread busy with its input would: sleeping would measure the caches of a thread just
// woken rather than the put.
template <typename Body>
Latency Paced(const Options& options, std::vector<std::uint32_t>& nanos, Body body) {
    const long ticks = static_cast<long>(options.rate) * options.seconds;
    nanos.assign(static_cast<std::size_t>(ticks), 0);
    const Clock::time_point start = Clock::now();
    const auto spacing = std::chrono::duration<double>(1.0 / options.rate);
    for (long n = 0; n < ticks; ++n) {
        const Clock::time_point due =
            start + std::chrono::duration_cast<Clock::duration>(spacing * n);
        while (Clock::now() < due) {
        }
        nanos[n] = static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                  body(n, Instrument(n, options.instruments)))
                                                  .count());
    }
    return Summarize(nanos);
}

std::unique_ptr<LiveTable> NewTable(const Options& options) {
    TableOptions table;
    table.sheetPerExchange = true;
    table.interval = std::chrono::milliseconds(100);
    return std::make_unique<LiveTable>(
        table, std::make_unique<SimulatedOffice>(options.callUs, options.rowUs));
}

bool ParseArguments(int argc, char** argv, Options& options) {
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        const char* value = a + 1 < argc ? argv[a + 1] : nullptr;
        if (arg == "--quick") {
            options.ticks = 200000;
            options.seconds = 2;
        } else if (value != nullptr && arg == "--call-us") {
            options.callUs = std::atof(value), ++a;
        } else if (value != nullptr && arg == "--row-us") {
            options.rowUs = std::atof(value), ++a;
        } else if (value != nullptr && arg == "--instruments") {
            options.instruments = std::atoi(value), ++a;
        } else if (value != nullptr && arg == "--rate") {
            options.rate = std::atoi(value), ++a;
        } else {
            std::fprintf(stderr,
                         "usage: corvane-live-bench [--quick] [--instruments N] [--rate N] "
                         "[--call-us N] [--row-us N]\n");
            return false;
        }
    }
    return options.rate > 0 && options.instruments > 0 && options.callUs >= 0 && options.rowUs >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseArguments(argc, argv, options)) return 2;
    const TickSource source(options.instruments);
    std::vector<std::uint32_t> nanos(static_cast<std::size_t>(options.ticks));  // touched now
    std::string_view fields[kColumnCount];

    // Memory: the table after a tenth of the ticks and after all of them.
    const long before = ResidentKiB();
    long afterTenth = 0, afterAll = 0;
    {
        auto table = NewTable(options);
        for (long n = 0; n < options.ticks; ++n) {
            source.Fill(n, Instrument(n, options.instruments), fields);
            table->Put(fields);
            if (n + 1 == options.ticks / 10) {
                table->Flush(corvane::Timeout::After(std::chrono::seconds(60)));
                afterTenth = ResidentKiB();
            }
        }
        table->Flush(corvane::Timeout::After(std::chrono::seconds(60)));
        afterAll = ResidentKiB();
    }

    // Put latency with the host putting as fast as it can.
    Latency burst;
    double burstRate = 0;
    {
        auto table = NewTable(options);
        const Clock::time_point start = Clock::now();
        for (long n = 0; n < options.ticks; ++n) {
            source.Fill(n, Instrument(n, options.instruments), fields);
            const Clock::time_point t0 = Clock::now();
            table->Put(fields);
            nanos[n] = static_cast<std::uint32_t>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count());
        }
        burstRate = options.ticks / std::chrono::duration<double>(Clock::now() - start).count();
        burst = Summarize(nanos);
    }

    // A paced feed against the simulated office: put latency and staleness.
    TableStats stats;
    double rowsPerSecond = 0;
    auto table = NewTable(options);
    const Clock::time_point pacedStart = Clock::now();
    const Latency paced = Paced(options, nanos, [&](long n, int instrument) {
        source.Fill(n, instrument, fields);
        const Clock::time_point t0 = Clock::now();
        table->Put(fields);
        return Clock::now() - t0;
    });
    table->Flush(corvane::Timeout::After(std::chrono::seconds(60)));
    stats = table->Stats();
    rowsPerSecond =
        stats.rowsWritten / std::chrono::duration<double>(Clock::now() - pacedStart).count();
    table.reset();

    // The floor beneath a put at the same pace: copying the tick into a buffer of its
    // instrument, which has gone cold in the caches since that instrument's last tick.
    std::vector<LiveRow> buffers(static_cast<std::size_t>(options.instruments));
    for (LiveRow& buffer : buffers) {
        source.Fill(0, 0, fields);
        buffer.Assign(fields);
    }
    const Latency floor = Paced(options, nanos, [&](long n, int instrument) {
        source.Fill(n, instrument, fields);
        const Clock::time_point t0 = Clock::now();
        buffers[instrument].Assign(fields);
        return Clock::now() - t0;
    });

    std::printf(
        "Live table, %d instruments, simulated office %.0f us per call + %.0f us per row\n\n",
        options.instruments, options.callUs, options.rowUs);
    std::printf("| case | p50 us | p99 us | max us |\n|---|---:|---:|---:|\n");
    std::printf("| put, %ld ticks as fast as possible (%.0f ticks/s) | %.2f | %.2f | %.1f |\n",
                options.ticks, burstRate, burst.p50, burst.p99, burst.max);
    std::printf("| put, %d ticks/s for %d s | %.2f | %.2f | %.1f |\n", options.rate,
                options.seconds, paced.p50, paced.p99, paced.max);
    std::printf(
        "| floor at that pace: the tick copied into its instrument's buffer | %.2f | "
        "%.2f | %.1f |\n\n",
        floor.p50, floor.p99, floor.max);
    std::printf("| paced run, simulated office | value |\n|---|---:|\n");
    std::printf("| staleness p50 / p99 / max ms | %.1f / %.1f / %.1f |\n", stats.staleness.p50,
                stats.staleness.p99, stats.staleness.max);
    std::printf("| flush time p50 / p99 / max ms | %.1f / %.1f / %.1f |\n", stats.flushTime.p50,
                stats.flushTime.p99, stats.flushTime.max);
    std::printf("| rows written per second | %.0f |\n", rowsPerSecond);
    std::printf("| block calls | %llu |\n", static_cast<unsigned long long>(stats.blockCalls));
    std::printf("| ticks replaced before written | %llu of %llu |\n",
                static_cast<unsigned long long>(stats.ticksReplaced),
                static_cast<unsigned long long>(stats.ticksPut));
    std::printf("| learnt cost: us per call / per row | %.0f / %.1f |\n\n",
                stats.cost.perCall * 1e6, stats.cost.perRow * 1e6);
    std::printf("| resident memory | KiB |\n|---|---:|\n");
    std::printf(
        "| before the table | %ld |\n| after %ld ticks | %ld |\n| after %ld ticks | %ld |\n",
        before, options.ticks / 10, afterTenth, options.ticks, afterAll);
    std::printf("| growth from a tenth to all ticks | %ld |\n", afterAll - afterTenth);
    return 0;
}
