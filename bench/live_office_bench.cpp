// The live table against a real headless office on a throw-away profile: staleness from
// put to written, rows written per second, what a put costs the host's thread, the
// highest tick rate the table holds, the memory the table keeps, and what keeping rows in
// place costs; beside it, on the same office and load, the paced path the feed took
// before live tables. Ticks go to random instruments, paced in batches every millisecond.
#include <corvane/corvane.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "cpu_time.hpp"
#include "reading_client.hpp"
#include "resident_memory.hpp"
#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

namespace {

using corvane::bench::CpuSeconds;
using corvane::bench::ReadingClient;
using corvane::bench::Readings;
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

    // One tick as a host holds it just before the put: its texts in the host's own
    // buffer, freshly received.
    struct Tick {
        std::array<std::string, CORVANE_COLUMN_COUNT> texts;
        const char* fields[CORVANE_COLUMN_COUNT] = {};
    };
    void Fill(long n, Tick& tick) const {
        std::uint64_t x = static_cast<std::uint64_t>(n) * 0x9E3779B97F4A7C15ull;
        x ^= x >> 29;
        FillOf(static_cast<int>(x % fixed_.size()), n, tick);
    }
    // Tick `n` of instrument `instrument`.
    void FillOf(int instrument, long n, Tick& tick) const {
        const auto& f = fixed_[static_cast<std::size_t>(instrument)];
        for (int k = 0; k < CORVANE_COLUMN_COUNT; ++k) tick.texts[k] = f[k];
        tick.texts[10] = quantities_[n % 1024];
        tick.texts[11] = prices_[(n * 7) % 1024];
        tick.texts[12] = volumes_[(n * 13) % 1024];
        for (int k = 0; k < CORVANE_COLUMN_COUNT; ++k) tick.fields[k] = tick.texts[k].c_str();
    }

  private:
    std::vector<std::array<std::string, CORVANE_COLUMN_COUNT>> fixed_;
    std::vector<std::string> prices_, quantities_, volumes_;
};

struct Percent {
    double p50 = 0, p99 = 0, max = 0;
};

Percent PutLatency(std::vector<std::uint32_t>& nanos) {
    if (nanos.empty()) return {};
    std::sort(nanos.begin(), nanos.end());
    return {nanos[nanos.size() / 2] / 1000.0, nanos[nanos.size() * 99 / 100] / 1000.0,
            nanos.back() / 1000.0};
}

// What a run reads from the path under test as it goes.
struct Figures {
    double stalenessP99 = 0, stalenessMax = 0;  // ms, over the recent rows written
    unsigned long long rows = 0, blockCalls = 0;
    double officeMs = 0;  // the writer's time in office calls so far; 0: not measured
};

// A way of getting ticks into the sheet: the live table, or the path the feed took
// before live tables.
class WritePath {
  public:
    virtual ~WritePath() = default;
    virtual void Put(const char* const* fields) = 0;
    virtual Figures Now() = 0;
    // Returns once every tick put is in the sheet.
    virtual void Drain() = 0;
};

corvane_live_stats Stats(corvane_live* table) {
    corvane_live_stats stats;
    std::memset(&stats, 0, sizeof(stats));
    stats.struct_size = sizeof(stats);
    corvane_live_get_stats(table, &stats);
    return stats;
}

class LivePath : public WritePath {
  public:
    explicit LivePath(corvane_live* table) : table_(table) {}
    void Put(const char* const* fields) override { corvane_live_put(table_, fields); }
    Figures Now() override {
        const corvane_live_stats stats = Stats(table_);
        return {stats.staleness_p99_ms, stats.staleness_max_ms, stats.rows_written,
                stats.block_calls, stats.office_ms};
    }
    void Drain() override { corvane_live_flush(table_, -1); }

  private:
    corvane_live* table_;
};

// The paced path of the feed before live tables, on the library's synchronous calls: the
// putting thread keeps the newest tick of each row and, once an interval has passed
// since its last write, writes every changed row itself, one block per run of adjacent
// rows, before the put returns.
class PacedPath : public WritePath {
  public:
    PacedPath(std::string sheet, std::chrono::milliseconds interval)
        : sheet_(std::move(sheet)), interval_(interval) {}

    void Put(const char* const* fields) override {
        const auto [at, added] = rows_.try_emplace(fields[2], static_cast<int>(rows_.size()) + 1);
        Waiting& waiting = waiting_[at->second];
        if (waiting.fields.empty()) waiting.firstPut = Clock::now();
        waiting.fields.assign(fields, fields + CORVANE_COLUMN_COUNT);
        if (Clock::now() >= nextWrite_) Write();
    }
    Figures Now() override {
        Figures figures;
        std::vector<float> recent(
            staleness_.size() > kWindow ? staleness_.end() - kWindow : staleness_.begin(),
            staleness_.end());
        if (!recent.empty()) {
            std::sort(recent.begin(), recent.end());
            figures.stalenessP99 = recent[(recent.size() - 1) * 99 / 100];
            figures.stalenessMax = recent.back();
        }
        figures.rows = rows_written_;
        figures.blockCalls = blockCalls_;
        return figures;
    }
    void Drain() override { Write(); }

  private:
    struct Waiting {
        std::vector<std::string> fields;  // empty once written
        Clock::time_point firstPut;
    };
    static constexpr std::size_t kWindow = 4096;  // rows, as the table's window

    void Write() {
        std::vector<std::array<const char*, CORVANE_COLUMN_COUNT>> texts;
        std::vector<const char* const*> records;
        std::vector<Clock::time_point> puts;
        for (auto row = waiting_.begin(); row != waiting_.end();) {
            const int first = row->first;
            texts.clear(), puts.clear();
            for (; row != waiting_.end() && row->first == first + static_cast<int>(texts.size());
                 ++row) {
                auto& text = texts.emplace_back();
                for (int k = 0; k < CORVANE_COLUMN_COUNT; ++k)
                    text[k] = row->second.fields[k].c_str();
                puts.push_back(row->second.firstPut);
            }
            records.clear();
            for (const auto& text : texts) records.push_back(text.data());
            corvane_write_records(sheet_.c_str(), first, records.data(),
                                  static_cast<int>(records.size()));
            const Clock::time_point written = Clock::now();
            for (const Clock::time_point put : puts)
                staleness_.push_back(
                    std::chrono::duration<float, std::milli>(written - put).count());
            rows_written_ += records.size();
            ++blockCalls_;
        }
        waiting_.clear();
        nextWrite_ = Clock::now() + interval_;
    }

    std::string sheet_;
    std::chrono::milliseconds interval_;
    std::unordered_map<std::string, int> rows_;  // scrip code to row
    std::map<int, Waiting> waiting_;
    Clock::time_point nextWrite_;
    std::vector<float> staleness_;
    unsigned long long rows_written_ = 0, blockCalls_ = 0;
};

struct Run {
    int instruments = 0, rate = 0, seconds = 0;
    Percent put;                                                      // us
    double stalenessP99 = 0, stalenessMax = 0, stalenessP99Late = 0;  // ms
    double rowsPerSecond = 0, ticksPerSecond = 0;
    double drainMs = 0;  // after the last put until everything is written
    unsigned long long blockCalls = 0, rows = 0;
    double officeMsPerSecond = 0;  // the writer's time in the office per second of the run
    double officeCpuShare = -1;    // the office's CPU time per second of the run; -1: unknown
    Readings readings;             // another client's, while the run went on
};

// Where a run's office load is watched: the office's process (0: not) and the workbook
// another client reads ("": none).
struct Watch {
    pid_t office = 0;
    std::string url;
};

// `rate` ticks a second for `seconds`, in batches every millisecond; a path that cannot
// keep up puts fewer.
Run Paced(WritePath& path, const Ticks& ticks, int rate, int seconds, long& n,
          const Watch& watch = {}) {
    Run run;
    std::unique_ptr<ReadingClient> reader;
    if (!watch.url.empty()) reader = std::make_unique<ReadingClient>(watch.url, "NSE", seconds);
    const double cpuBefore = watch.office > 0 ? CpuSeconds(watch.office) : 0;
    run.instruments = ticks.Count();
    run.rate = rate;
    run.seconds = seconds;
    const Figures before = path.Now();
    std::vector<std::uint32_t> nanos;
    nanos.reserve(static_cast<std::size_t>(rate) * seconds);
    Ticks::Tick tick;
    const Clock::time_point start = Clock::now();
    long done = 0;
    double lateP99 = 0;
    for (double elapsed = 0; elapsed < seconds;
         elapsed = std::chrono::duration<double>(Clock::now() - start).count()) {
        const long due = static_cast<long>(elapsed * rate);
        for (; done < due; ++done, ++n) {
            ticks.Fill(n, tick);
            const Clock::time_point t0 = Clock::now();
            path.Put(tick.fields);
            nanos.push_back(static_cast<std::uint32_t>(
                std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - t0).count()));
        }
        // The staleness window over the last second of the run: a growing backlog shows
        // as a late p99 well above the whole run's.
        if (lateP99 == 0 && elapsed >= seconds - 0.05) lateP99 = path.Now().stalenessP99;
        std::this_thread::sleep_for(1ms);
    }
    const Clock::time_point last = Clock::now();
    const double cpuDuring = watch.office > 0 ? CpuSeconds(watch.office) : 0;
    const Figures during = path.Now();
    // A path whose puts block may not have come back within the run's last moments.
    if (lateP99 == 0) lateP99 = during.stalenessP99;
    path.Drain();
    const Figures after = path.Now();
    const double span = std::chrono::duration<double>(last - start).count();
    run.put = PutLatency(nanos);
    run.stalenessP99 = during.stalenessP99;
    run.stalenessMax = during.stalenessMax;
    run.stalenessP99Late = lateP99;
    run.rows = after.rows - before.rows;
    run.blockCalls = after.blockCalls - before.blockCalls;
    run.rowsPerSecond = (during.rows - before.rows) / span;
    run.officeMsPerSecond = (during.officeMs - before.officeMs) / span;
    run.ticksPerSecond = done / span;
    run.drainMs = std::chrono::duration<double, std::milli>(Clock::now() - last).count();
    if (watch.office > 0) run.officeCpuShare = (cpuDuring - cpuBefore) / span;
    if (reader) run.readings = reader->Take();
    return run;
}

corvane_live* Open(const std::string& book, int intervalMs, bool owned = true) {
    corvane_live_options options;
    corvane_live_default_options(&options);
    options.workbook_path = book.c_str();
    options.sheet = "NSE";
    options.interval_ms = intervalMs;
    options.own_office = owned ? 1 : 0;
    options.open_wait_ms = 120000;
    corvane_live* table = corvane_live_open(&options, nullptr, nullptr);
    if (table == nullptr) std::fprintf(stderr, "cannot open: %s\n", corvane_last_error());
    return table;
}

// A figure, or "-" when it was not measured.
std::string Figure(bool measured, double value, int decimals) {
    if (!measured) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void Print(const char* name, const Run& r) {
    const bool office = r.officeMsPerSecond > 0;
    const std::string read = r.readings.count == 0 ? "-"
                                                   : Figure(true, r.readings.p50, 1) + " / " +
                                                         Figure(true, r.readings.p99, 1) + " / " +
                                                         Figure(true, r.readings.max, 1);
    std::printf(
        "| %s | %d | %d | %.0f | %.1f / %.1f / %.1f | %.0f | %.0f | %s | %s | %s | %s | "
        "%.2f / %.2f / %.0f |\n",
        name, r.instruments, r.rate, r.ticksPerSecond, r.stalenessP99, r.stalenessP99Late,
        r.stalenessMax, r.drainMs, r.rowsPerSecond, Figure(office, r.officeMsPerSecond, 0).c_str(),
        Figure(office && r.ticksPerSecond > 0, 1000.0 * r.officeMsPerSecond / r.ticksPerSecond, 1)
            .c_str(),
        Figure(r.officeCpuShare >= 0, 100.0 * r.officeCpuShare, 0).c_str(), read.c_str(), r.put.p50,
        r.put.p99, r.put.max);
    std::fflush(stdout);
}

// The paced path before live tables, then the live table, on one office of the session:
// the same load on the same office. The paced path connects through the library, writes,
// and hands the office over; the table attaches to it.
bool SideBySide(corvane::test::OfficeSession& session, const std::string& book,
                const std::string& pacedBook, const Ticks& ticks, int rate, int seconds, long& n,
                corvane_live*& table, Watch& watch) {
    const pid_t office = corvane::test::StartInOwnGroup(
        {corvane::test::OfficeExecutable(), "--headless", "--norestore",
         "-env:UserInstallation=" + corvane::test::FileUrl(session.ProfileDirectory()),
         "--accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager"});
    session.Adopt(office);
    int connected = CORVANE_E_CONNECT;
    for (int i = 0; i < 600 && connected == CORVANE_E_CONNECT; ++i) {
        connected = corvane_connect(pacedBook.c_str());
        if (connected == CORVANE_E_CONNECT) std::this_thread::sleep_for(100ms);
    }
    if (connected < 0 || corvane_write_titles("NSE", 0) != CORVANE_OK) {
        std::fprintf(stderr, "paced path: %s\n", corvane_last_error());
        return false;
    }
    PacedPath paced("NSE", 100ms);
    Print("paced path before live tables, 100 ms interval",
          Paced(paced, ticks, rate, seconds, n, {office, corvane::test::FileUrl(pacedBook)}));
    corvane_disconnect();
    table = Open(book, 100, false);
    if (table == nullptr) return false;
    LivePath live(table);
    Print("live table, 100 ms interval",
          Paced(live, ticks, rate, seconds, n, {office, corvane::test::FileUrl(book)}));
    watch = {office, ""};
    return true;
}

// What keeping rows in place costs when the sheet holds `rows` instruments already: a
// first table writes them and saves the workbook; a second one opens the saved copy and
// reads its key columns before its first write.
bool Adoption(const corvane::test::TempDir& dir, int rows) {
    const std::string book = dir / ("adopt-" + std::to_string(rows) + ".fods");
    const std::string saved = dir / ("adopt-" + std::to_string(rows) + ".ods");
    corvane::test::WriteWorkbook(book, {"NSE"});
    const Ticks ticks(rows);
    Ticks::Tick tick;
    corvane_live* table = Open(book, 100);
    if (table == nullptr) return false;
    for (int i = 0; i < rows; ++i) {
        ticks.FillOf(i, i, tick);
        corvane_live_put(table, tick.fields);
    }
    const bool stored = corvane_live_save_copy(table, saved.c_str(), -1) == CORVANE_OK;
    corvane_live_close(table, -1);
    if (!stored || (table = Open(saved, 100)) == nullptr) return false;
    const Clock::time_point start = Clock::now();
    ticks.FillOf(rows / 2, rows, tick);
    corvane_live_put(table, tick.fields);
    corvane_live_flush(table, -1);
    const double first = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    const corvane_live_stats stats = Stats(table);
    std::printf("| %d | %.1f | %.1f | %llu |\n", rows, stats.key_read_ms, first,
                stats.rows_adopted);
    std::fflush(stdout);
    corvane_live_close(table, -1);
    return true;
}

// The share of the writer's office time that the key-column readings took.
void KeyReadShare(corvane_live* table) {
    const corvane_live_stats stats = Stats(table);
    std::printf(
        "\nkey-column readings while streaming: %llu, %.1f ms of %.0f ms in the office "
        "(%.2f%%)\n",
        stats.key_reads, stats.key_read_ms, stats.office_ms,
        stats.office_ms > 0 ? 100.0 * stats.key_read_ms / stats.office_ms : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int seconds = quick ? 4 : 10;
    corvane::test::TempDir dir;
    const std::string book = dir / "live.fods";
    corvane::test::WriteWorkbook(book, {"NSE"});
    const std::string pacedBook = dir / "paced.fods";
    corvane::test::WriteWorkbook(pacedBook, {"NSE"});

    std::printf(
        "Live table against a headless office (LibreOffice, one sheet), beside the "
        "paced path before live tables on the same office\n\n");
    std::printf(
        "| case | instruments | ticks/s asked | ticks/s put | staleness p99 / p99 of the last "
        "second / max ms | drain ms | rows/s written | writer's office ms per s | writer's office "
        "us per tick | office CPU %% of a core | another client's read p50 / p99 / max ms | put "
        "p50 / p99 / max us |\n"
        "|---|---:|---:|---:|---|---:|---:|---:|---:|---:|---|---|\n");
    long n = 0;
    corvane_live* table = nullptr;
    Watch watch;
    {
        corvane::test::OfficeSession session;
        if (!SideBySide(session, book, pacedBook, Ticks(500), 2000, seconds, n, table, watch))
            return 1;
        corvane_live_close(table, -1);
    }
    const Ticks ticks(5000);
    {
        corvane::test::OfficeSession session;
        if (!SideBySide(session, book, pacedBook, ticks, 20000, seconds, n, table, watch)) return 1;
        KeyReadShare(table);
        // Higher rates until the table no longer holds them (p99 staleness above 500 ms).
        LivePath live(table);
        for (int rate : {50000, 100000, 200000, 400000}) {
            const Run run = Paced(live, ticks, rate, quick ? 3 : 5, n, watch);
            Print("live table, higher rate", run);
            if (run.stalenessP99 > 500 || run.ticksPerSecond < 0.9 * rate) break;
        }
        const corvane_live_stats stats = Stats(table);
        std::printf(
            "\nblock calls %llu, rows %llu, cells %llu, learnt cost %.2f ms per call + %.3f ms "
            "per row, office restarts %llu\n",
            stats.block_calls, stats.rows_written, stats.cells_written, stats.call_cost_ms,
            stats.row_cost_ms, stats.restarts);
        corvane_live_close(table, -1);
    }
    {
        // Memory: 10^6 ticks over 5,000 instruments, put as fast as possible.
        const long before = ResidentKiB();
        corvane_live* table = Open(book, 100);
        if (table == nullptr) return 1;
        const long opened = ResidentKiB();
        Ticks::Tick tick;
        const Clock::time_point start = Clock::now();
        for (long i = 0; i < 1000000; ++i, ++n) {
            ticks.Fill(n, tick);
            corvane_live_put(table, tick.fields);
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
    std::printf(
        "\n| instruments in the sheet | reading the key columns and placing, ms | first "
        "flush of one tick, ms | found and kept |\n|---:|---:|---:|---:|\n");
    for (const int rows : {5000, 50000})
        if (!Adoption(dir, rows)) return 1;
    return 0;
}
