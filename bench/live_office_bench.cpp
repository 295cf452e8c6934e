// The live table against a real office (started and owned by the table, headless, on a
// throw-away profile): staleness from put to written, rows written per second, what a put
// costs the host's thread, the highest tick rate the table holds, and the memory the
// table keeps. Ticks go to random instruments, paced in batches every millisecond.
#include <corvane/corvane.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "resident_memory.hpp"
#include "support/workbook_files.hpp"

namespace {

using corvane::bench::ResidentKiB;

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Per instrument its fixed fields; per tick a new price, quantity and volume.
class Ticks {
  public:
    explicit Ticks(int instruments) : fixed_(static_cast<std::size_t>(instruments)) {
        for (int i = 0; i < instruments; ++i) {
            auto& f = fixed_[static_cast<std::size_t>(i)];
            f[0] = "NSE";
            f[1] = "INSTRUMENT " + std::to_string(i);
            f[2] = std::to_string(500000 + i);
            f[3] = "1200", f[4] = "2450.50", f[5] = "900", f[6] = "2451.00";
            f[13] = "3.6e9", f[14] = "2470.00", f[15] = "2430.00", f[16] = "2440.00";
            f[17] = "2438.50", f[18] = "54000", f[19] = "61000", f[20] = "2449.90";
            f[24] = "0.50", f[25] = "2900.00", f[26] = "2100.00";
        }
        for (int p = 0; p < 1024; ++p) {
            prices_.push_back(std::to_string(2000 + p) + "." + std::to_string(p % 100));
            quantities_.push_back(std::to_string(1 + p % 500));
            volumes_.push_back(std::to_string(1000000 + 37 * p));
        }
    }
    int Count() const { return static_cast<int>(fixed_.size()); }
    void Fill(long n, const char** out) const {
        std::uint64_t x = static_cast<std::uint64_t>(n) * 0x9E3779B97F4A7C15ull;
        x ^= x >> 29;
        const auto& f = fixed_[x % fixed_.size()];
        for (int k = 0; k < CORVANE_COLUMN_COUNT; ++k) out[k] = f[k].c_str();
        out[10] = quantities_[n % 1024].c_str();
        out[11] = prices_[(n * 7) % 1024].c_str();
        out[12] = volumes_[(n * 13) % 1024].c_str();
    }

  private:
    std::vector<std::array<std::string, CORVANE_COLUMN_COUNT>> fixed_;
    std::vector<std::string> prices_, quantities_, volumes_;
};

struct Percent {
    double p50 = 0, p99 = 0;
};

Percent PutLatency(std::vector<std::uint32_t>& nanos) {
    if (nanos.empty()) return {};
    std::sort(nanos.begin(), nanos.end());
    return {nanos[nanos.size() / 2] / 1000.0, nanos[nanos.size() * 99 / 100] / 1000.0};
}

corvane_live_stats Stats(corvane_live* table) {
    corvane_live_stats stats;
    std::memset(&stats, 0, sizeof(stats));
    stats.struct_size = sizeof(stats);
    corvane_live_get_stats(table, &stats);
    return stats;
}

struct Run {
    int instruments = 0, rate = 0, seconds = 0;
    Percent put;                                                      // us
    double stalenessP99 = 0, stalenessMax = 0, stalenessP99Late = 0;  // ms
    double rowsPerSecond = 0, ticksPerSecond = 0;
    double drainMs = 0;  // after the last put until everything is written
    unsigned long long blockCalls = 0, rows = 0;
};

// `rate` ticks a second for `seconds`, in batches every millisecond.
Run Paced(corvane_live* table, const Ticks& ticks, int rate, int seconds, long& n) {
    Run run;
    run.instruments = ticks.Count();
    run.rate = rate;
    run.seconds = seconds;
    const corvane_live_stats before = Stats(table);
    std::vector<std::uint32_t> nanos;
    nanos.reserve(static_cast<std::size_t>(rate) * seconds);
    const char* fields[CORVANE_COLUMN_COUNT];
    const Clock::time_point start = Clock::now();
    const long total = static_cast<long>(rate) * seconds;
    double lateP99 = 0;
    for (long done = 0; done < total;) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        const long due = std::min(total, static_cast<long>(elapsed * rate));
        for (; done < due; ++done, ++n) {
            ticks.Fill(n, fields);
            const Clock::time_point t0 = Clock::now();
            corvane_live_put(table, fields);
            nanos.push_back(static_cast<std::uint32_t>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count()));
        }
        // The staleness window over the last second of the run: a growing backlog shows
        // as a late p99 well above the whole run's.
        if (lateP99 == 0 && elapsed >= seconds - 0.05) lateP99 = Stats(table).staleness_p99_ms;
        std::this_thread::sleep_for(1ms);
    }
    const Clock::time_point last = Clock::now();
    const corvane_live_stats during = Stats(table);
    corvane_live_flush(table, -1);
    const corvane_live_stats after = Stats(table);
    const double span = std::chrono::duration<double>(last - start).count();
    run.put = PutLatency(nanos);
    run.stalenessP99 = during.staleness_p99_ms;
    run.stalenessMax = during.staleness_max_ms;
    run.stalenessP99Late = lateP99;
    run.rows = after.rows_written - before.rows_written;
    run.blockCalls = after.block_calls - before.block_calls;
    run.rowsPerSecond = (during.rows_written - before.rows_written) / span;
    run.ticksPerSecond = total / span;
    run.drainMs = std::chrono::duration<double, std::milli>(Clock::now() - last).count();
    return run;
}

corvane_live* Open(const std::string& book, int intervalMs) {
    corvane_live_options options;
    corvane_live_default_options(&options);
    options.workbook_path = book.c_str();
    options.sheet = "NSE";
    options.interval_ms = intervalMs;
    options.own_office = 1;
    options.open_wait_ms = 120000;
    corvane_live* table = corvane_live_open(&options, nullptr, nullptr);
    if (table == nullptr) std::fprintf(stderr, "cannot open: %s\n", corvane_last_error());
    return table;
}

void Print(const char* name, const Run& r) {
    std::printf("| %s | %d | %d | %.0f | %.1f / %.1f / %.1f | %.0f | %.0f | %.2f / %.2f |\n", name,
                r.instruments, r.rate, r.ticksPerSecond, r.stalenessP99, r.stalenessP99Late,
                r.stalenessMax, r.drainMs, r.rowsPerSecond, r.put.p50, r.put.p99);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int seconds = quick ? 4 : 10;
    corvane::test::TempDir dir;
    const std::string book = dir / "live.fods";
    corvane::test::WriteWorkbook(book, {"NSE"});

    std::printf("Live table against a headless office it owns (LibreOffice, one sheet)\n\n");
    std::printf(
        "| case | instruments | ticks/s asked | ticks/s put | staleness p99 / p99 of the last "
        "second / max ms | drain ms | rows/s written | put p50 / p99 us |\n"
        "|---|---:|---:|---:|---|---:|---:|---|\n");
    long n = 0;
    {
        const Ticks ticks(500);
        corvane_live* table = Open(book, 100);
        if (table == nullptr) return 1;
        Print("100 ms interval", Paced(table, ticks, 2000, seconds, n));
        corvane_live_close(table, -1);
    }
    const Ticks ticks(5000);
    {
        corvane_live* table = Open(book, 100);
        if (table == nullptr) return 1;
        Print("100 ms interval", Paced(table, ticks, 20000, seconds, n));
        // Higher rates until the table no longer holds them (p99 staleness above 500 ms).
        for (int rate : {50000, 100000, 200000, 400000}) {
            const Run run = Paced(table, ticks, rate, quick ? 3 : 5, n);
            Print("higher rate", run);
            if (run.stalenessP99 > 500 || run.ticksPerSecond < 0.9 * rate) break;
        }
        const corvane_live_stats stats = Stats(table);
        std::printf(
            "\nblock calls %llu, rows %llu, learnt cost %.2f ms per call + %.3f ms per "
            "row, office restarts %llu\n",
            stats.block_calls, stats.rows_written, stats.call_cost_ms, stats.row_cost_ms,
            stats.restarts);
        corvane_live_close(table, -1);
    }
    {
        // Memory: 10^6 ticks over 5,000 instruments, put as fast as possible.
        const long before = ResidentKiB();
        corvane_live* table = Open(book, 100);
        if (table == nullptr) return 1;
        const long opened = ResidentKiB();
        const char* fields[CORVANE_COLUMN_COUNT];
        const Clock::time_point start = Clock::now();
        for (long i = 0; i < 1000000; ++i, ++n) {
            ticks.Fill(n, fields);
            corvane_live_put(table, fields);
        }
        const double burst = 1e6 / std::chrono::duration<double>(Clock::now() - start).count();
        corvane_live_flush(table, -1);
        const long after = ResidentKiB();
        std::printf("\n| memory, 10^6 ticks over 5,000 instruments | value |\n|---|---:|\n");
        std::printf("| put as fast as possible, ticks/s | %.0f |\n", burst);
        std::printf(
            "| resident KiB before opening / opened / after 10^6 ticks | %ld / %ld / %ld |\n",
            before, opened, after);
        std::printf("| growth from opened to after the ticks, KiB | %ld |\n", after - opened);
        corvane_live_close(table, -1);
    }
    return 0;
}
