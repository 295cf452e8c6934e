// The live formulas against a real headless office, the extension corvane-live.oxt
// installed in a throw-away profile, fed by a real nats-server on loopback: how long a
// published tick takes to show in a cell as another UNO client reads the sheet, how long
// another client's small call into the office takes while the cells update, what one
// LIVE call costs a hard recalculation beside a plain formula, and the office's resident
// memory with the formulas beside an empty sheet. Ticks go to random instruments, paced
// in batches every millisecond; each carries its publish time (steady-clock
// microseconds) in its Description field, and a new Last Traded Price. --quick runs
// shorter.
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeFormula.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bus/bus_publisher.hpp"
#include "bus/csv_line.hpp"
#include "office/office_pipe.hpp"
#include "support/nats_server.hpp"
#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

extern char** environ;

namespace {

using corvane::test::OfficeClient;
using corvane::test::OfficeSession;
using corvane::test::S;
using corvane::test::U;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// The add-in's own default; the office is started with it set explicitly.
constexpr int kIntervalMs = 250;
// How often the reading client reads the formulas, and the other client calls.
constexpr auto kReadEvery = 25ms;
constexpr auto kProbeEvery = 20ms;
constexpr int kFirstCode = 500000;

long long NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch())
        .count();
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Spread {
    double p50 = 0, p99 = 0, max = 0;
    std::size_t count = 0;
};

Spread SpreadOf(std::vector<double> samples) {
    Spread spread;
    spread.count = samples.size();
    if (samples.empty()) return spread;
    std::sort(samples.begin(), samples.end());
    spread.p50 = samples[samples.size() / 2];
    spread.p99 = samples[(samples.size() - 1) * 99 / 100];
    spread.max = samples.back();
    return spread;
}

double Median(std::vector<double> samples) { return SpreadOf(std::move(samples)).p50; }

// ---- processes of the office's group ----------------------------------------------

struct Member {
    pid_t pid;
    std::string name;
};

// The processes whose process group is `group` (one this program started), with their
// names as the kernel keeps them.
std::vector<Member> GroupMembers(pid_t group) {
    std::vector<Member> members;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return members;
    while (const dirent* entry = ::readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        std::ifstream in(std::string("/proc/") + entry->d_name + "/stat");
        std::string line;
        std::getline(in, line);
        const std::string::size_type open = line.find('('), close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        // After the name: state, parent, process group.
        std::istringstream rest(line.substr(close + 1));
        std::string state;
        long parent = 0, pgrp = 0;
        if (!(rest >> state >> parent >> pgrp) || pgrp != group || state == "Z") continue;
        members.push_back({static_cast<pid_t>(std::atol(entry->d_name)),
                           line.substr(open + 1, close - open - 1)});
    }
    ::closedir(proc);
    return members;
}

// A "Vm..." line of /proc/<pid>/status in KiB; 0 when there is none.
long StatusKiB(pid_t pid, const char* key) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
    return 0;
}

// Resident KiB of the office process (soffice.bin) of the group `leader` started.
long OfficeResidentKiB(pid_t leader) {
    for (const Member& member : GroupMembers(leader))
        if (member.name == "soffice.bin") return StatusKiB(member.pid, "VmRSS:");
    return 0;
}

// Runs `args` in a process group of its own with its output into `log` and waits for
// it; its exit status, -1 when it did not exit. Whatever it left running in its group is
// killed.
int RunToEnd(std::vector<std::string> args, const std::string& log) {
    pid_t pid = -1;
    try {
        pid = corvane::test::StartInOwnGroup(std::move(args), log);
    } catch (const std::runtime_error&) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!GroupMembers(pid).empty()) ::kill(-pid, SIGKILL);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// ---- a hang guard ----------------------------------------------------------------

// Kills the session's office when a phase takes far longer than it may: an office that
// hangs would otherwise hold this program's UNO calls for ever. The calls then fail,
// and the program reports the phase.
class Watchdog {
  public:
    explicit Watchdog(const OfficeSession& session)
        : session_(session), thread_([this] { Run(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mu_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    void Arm(const std::string& phase, std::chrono::seconds limit) {
        std::lock_guard<std::mutex> lock(mu_);
        phase_ = phase;
        deadline_ = Clock::now() + limit;
        armed_ = true;
        wake_.notify_all();
    }
    void Disarm() {
        std::lock_guard<std::mutex> lock(mu_);
        armed_ = false;
    }
    bool Fired() const { return fired_; }

  private:
    void Run() {
        std::unique_lock<std::mutex> lock(mu_);
        while (!stop_) {
            if (armed_ && Clock::now() >= deadline_) {
                std::fprintf(stderr, "the office did not finish \"%s\" in time: killing it\n",
                             phase_.c_str());
                fired_ = true;
                armed_ = false;
                session_.Signal(SIGKILL);
            }
            wake_.wait_for(lock, 500ms);
        }
    }

    const OfficeSession& session_;
    std::mutex mu_;
    std::condition_variable wake_;
    std::string phase_;
    Clock::time_point deadline_;
    bool armed_ = false, stop_ = false;
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

// ---- the office ------------------------------------------------------------------

// Installs the extension into the session's profile and starts a headless office on
// it that reads the bus at `url`; the session kills it at its end.
OfficeClient& StartWithExtension(OfficeSession& session, const std::string& url, pid_t& leader) {
    const std::string profile = corvane::test::FileUrl(session.ProfileDirectory());
    const std::string user = "-env:UserInstallation=" + profile;
    const std::string shared = "-env:UNO_SHARED_PACKAGES_CACHE=" + profile + "/shared";
    const std::string log = session.ProfileDirectory() + "/unopkg.log";
    if (RunToEnd({CORVANE_OFFICE_PROGRAM_DIR "/unopkg", "add", "--shared", "--suppress-license",
                  user, shared, CORVANE_EXTENSION},
                 log) != 0)
        throw std::runtime_error("unopkg could not add " CORVANE_EXTENSION ":\n" + FileText(log));
    // The add-in reads its settings from the environment it starts in; a settings file
    // of the user's is kept out by a configuration folder of the profile's own.
    ::setenv("CORVANE_LIVE_URL", url.c_str(), 1);
    ::setenv("CORVANE_LIVE_BUCKET", "marketwatch", 1);
    ::setenv("CORVANE_LIVE_INTERVAL_MS", std::to_string(kIntervalMs).c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (session.ProfileDirectory() + "/config").c_str(), 1);
    leader = corvane::test::StartInOwnGroup({corvane::test::OfficeExecutable(), "--headless",
                                             "--norestore", "--nologo", user, shared,
                                             "--accept=" + corvane::office::AcceptArgument()});
    session.Adopt(leader);
    return session.Client(std::chrono::seconds(120));
}

Reference<css::sheet::XSpreadsheetDocument> NewHiddenSheet(const OfficeClient& client) {
    css::beans::PropertyValue hidden;
    hidden.Name = "Hidden";
    hidden.Value <<= true;
    const Reference<css::sheet::XSpreadsheetDocument> document(
        client.Desktop()->loadComponentFromURL("private:factory/scalc", "_blank", 0,
                                               Sequence<css::beans::PropertyValue>(&hidden, 1)),
        UNO_QUERY_THROW);
    // No undo records: the memory figures are the formulas', not the history's.
    const Reference<css::beans::XPropertySet> settings(document, UNO_QUERY_THROW);
    settings->setPropertyValue("IsUndoEnabled", Any(false));
    settings->setPropertyValue("IsAdjustHeightEnabled", Any(false));
    return document;
}

Reference<css::table::XCellRange> FirstSheet(
    const Reference<css::sheet::XSpreadsheetDocument>& document) {
    const Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
    return Reference<css::table::XCellRange>(sheets->getByIndex(0), UNO_QUERY_THROW);
}

void Close(const Reference<css::sheet::XSpreadsheetDocument>& document) {
    const Reference<css::util::XCloseable> closeable(document, UNO_QUERY);
    if (closeable.is()) closeable->close(true);
}

// A LIVE formula as the API takes it: the add-in's programmatic name.
rtl::OUString LiveFormula(int code, const char* field) {
    return U("=ORG.CORVANE.LIVE.LIVEFUNCTIONS.LIVE(\"NSE\";" + std::to_string(code) + ";\"" +
             field + "\")");
}

// ---- the ticks -------------------------------------------------------------------

// Per instrument the fixed parts of its record; per tick its publish time as the
// Description and a new Last Traded Price.
class Feed {
  public:
    Feed(corvane::bus::Publisher& publisher, int instruments)
        : publisher_(publisher),
          codes_(static_cast<std::size_t>(instruments)),
          middles_(static_cast<std::size_t>(instruments)),
          lastStamp_(static_cast<std::size_t>(instruments)),
          lastPrice_(static_cast<std::size_t>(instruments)) {
        for (int i = 0; i < instruments; ++i) {
            codes_[static_cast<std::size_t>(i)] = std::to_string(kFirstCode + i);
            // Fields 2 (scrip code) to 10 (Last Traded Qty), up to the price's comma.
            middles_[static_cast<std::size_t>(i)] =
                "," + codes_[static_cast<std::size_t>(i)] + ",1200,2450.50,900,2451.00,,,,25,";
        }
        // Fields 12 to 41.
        for (int k = 12; k < 42; ++k) tail_ += "," + std::to_string(1000 + k) + ".25";
        for (int p = 0; p < 1024; ++p) {
            prices_.push_back(std::to_string(2000 + p) + "." + std::to_string(10 + p % 90));
            priceValues_.push_back(std::stod(prices_.back()));
        }
    }
    int Count() const { return static_cast<int>(codes_.size()); }

    // Tick `n` of instrument `instrument`, stamped now.
    void Publish(int instrument, long n) {
        const auto i = static_cast<std::size_t>(instrument);
        const long long stamp = NowUs();
        const std::size_t price = static_cast<std::size_t>(n * 7 + instrument) % prices_.size();
        line_.assign("NSE,t");
        line_ += std::to_string(stamp);
        line_ += middles_[i];
        line_ += prices_[price];
        line_ += tail_;
        (void)publisher_.Publish("NSE", codes_[i], line_);
        lastStamp_[i] = stamp;
        lastPrice_[i] = priceValues_[price];
    }
    // A random instrument's tick `n`.
    void PublishAny(long n) {
        std::uint64_t x = static_cast<std::uint64_t>(n) * 0x9E3779B97F4A7C15ull;
        x ^= x >> 29;
        Publish(static_cast<int>(x % codes_.size()), n);
    }
    // Whether a record has the 42 fields, its stamp and its price where they belong.
    bool Check() {
        Publish(0, 0);
        std::vector<std::string> fields;
        return corvane::bus::ParseCsvLine(line_, fields) && fields.size() == 42 &&
               fields[0] == "NSE" && fields[1] == "t" + std::to_string(lastStamp_[0]) &&
               fields[2] == codes_[0] && std::stod(fields[11]) == lastPrice_[0];
    }
    long long LastStamp(int i) const { return lastStamp_[static_cast<std::size_t>(i)]; }
    double LastPrice(int i) const { return lastPrice_[static_cast<std::size_t>(i)]; }

  private:
    corvane::bus::Publisher& publisher_;
    std::vector<std::string> codes_, middles_;
    std::string tail_, line_;
    std::vector<std::string> prices_;
    std::vector<double> priceValues_;
    std::vector<long long> lastStamp_;
    std::vector<double> lastPrice_;
};

// The stamp a Description cell shows, or -1 for anything else (#N/A: no value yet).
long long StampOf(const Any& cell) {
    rtl::OUString text;
    if (!(cell >>= text) || text.getLength() < 2 || text[0] != 't') return -1;
    return text.copy(1).toInt64();
}

// ---- the sheet's two clients -----------------------------------------------------

// The client that reads the sheet: every kReadEvery a block of formulas in one call
// (the Description column, or it and the Last Traded Price column); for each
// Description that changed since its last read, the time from the stamp it shows to the
// end of that read. Once told that the ticks have stopped, it also notes when every
// instrument shows the stamp of its last tick.
class Reader {
  public:
    Reader(Reference<css::sheet::XCellRangeData> block, const Feed& feed)
        : block_(std::move(block)),
          feed_(feed),
          shown_(static_cast<std::size_t>(feed.Count()), -1) {}
    ~Reader() { Stop(); }

    // Reads until Stop; counts the stamps from `fromUs` to `untilUs`.
    void Start(long long fromUs, long long untilUs) {
        fromUs_ = fromUs;
        untilUs_ = untilUs;
        thread_ = std::thread([this] { Run(); });
    }
    // The feed publishes no more: from now on the reader compares with its last ticks.
    void TicksStopped() { stopped_.store(true, std::memory_order_release); }
    // When every instrument showed its last stamp (steady-clock us), 0 until then.
    long long AllLastShownUs() const { return allLastShownUs_.load(); }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::string Failure() const { return failure_; }
    const std::vector<double>& LatencyMs() const { return latencyMs_; }
    const std::vector<double>& ReadMs() const { return readMs_; }
    // The same for the stamps after `untilUs`: the ticks of the last second before the
    // feed stopped.
    const std::vector<double>& TailMs() const { return tailMs_; }

  private:
    void Run() {
        Clock::time_point next = Clock::now();
        try {
            while (!stop_) {
                next += kReadEvery;
                if (next < Clock::now()) next = Clock::now();
                std::this_thread::sleep_until(next);
                const Clock::time_point start = Clock::now();
                const Sequence<Sequence<Any>> data = block_->getDataArray();
                const long long readUs = NowUs();
                readMs_.push_back(MsSince(start));
                const bool stopped = stopped_.load(std::memory_order_acquire);
                int last = 0;
                for (sal_Int32 r = 0;
                     r < data.getLength() && r < static_cast<sal_Int32>(shown_.size()); ++r) {
                    const long long stamp = StampOf(data[r][0]);
                    long long& shown = shown_[static_cast<std::size_t>(r)];
                    if (stopped && stamp == feed_.LastStamp(r)) ++last;
                    if (stamp == shown) continue;
                    shown = stamp;
                    if (stamp >= untilUs_)
                        tailMs_.push_back((readUs - stamp) / 1000.0);
                    else if (stamp >= fromUs_)
                        latencyMs_.push_back((readUs - stamp) / 1000.0);
                }
                if (stopped && last == feed_.Count() && allLastShownUs_ == 0)
                    allLastShownUs_ = readUs;
            }
        } catch (const css::uno::Exception& e) {
            failure_ = "reading the sheet: " + S(e.Message);
        }
    }

    Reference<css::sheet::XCellRangeData> block_;
    const Feed& feed_;
    std::vector<long long> shown_;
    long long fromUs_ = 0, untilUs_ = 0;
    std::atomic<bool> stop_{false}, stopped_{false};
    std::atomic<long long> allLastShownUs_{0};
    std::vector<double> latencyMs_, readMs_, tailMs_;
    std::string failure_;
    std::thread thread_;
};

// Another client, on a connection of its own: every kProbeEvery one small call, the
// document's getSheets and one LIVE cell's value in turn.
class Prober {
  public:
    explicit Prober(std::unique_ptr<OfficeClient> client) : client_(std::move(client)) {
        if (!client_) throw std::runtime_error("the other client cannot connect");
        for (const auto& component : client_->Documents()) {
            document_.set(component, UNO_QUERY);
            if (document_.is()) break;
        }
        if (!document_.is()) throw std::runtime_error("the other client sees no spreadsheet");
        cell_ = FirstSheet(document_)->getCellByPosition(1, 0);  // a Last Traded Price
    }
    ~Prober() { Stop(); }

    void Start() {
        sheetsMs_.clear(), cellMs_.clear();
        stop_ = false;
        thread_ = std::thread([this] { Run(); });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
    }
    std::string Failure() const { return failure_; }
    const std::vector<double>& SheetsMs() const { return sheetsMs_; }
    const std::vector<double>& CellMs() const { return cellMs_; }

  private:
    void Run() {
        Clock::time_point next = Clock::now();
        try {
            for (bool sheets = true; !stop_; sheets = !sheets) {
                next += kProbeEvery;
                if (next < Clock::now()) next = Clock::now();
                std::this_thread::sleep_until(next);
                const Clock::time_point start = Clock::now();
                if (sheets) {
                    (void)document_->getSheets();
                    sheetsMs_.push_back(MsSince(start));
                } else {
                    (void)cell_->getValue();
                    cellMs_.push_back(MsSince(start));
                }
            }
        } catch (const css::uno::Exception& e) {
            failure_ = "the other client's call: " + S(e.Message);
        }
    }

    std::unique_ptr<OfficeClient> client_;
    Reference<css::sheet::XSpreadsheetDocument> document_;
    Reference<css::table::XCell> cell_;
    std::atomic<bool> stop_{false};
    std::vector<double> sheetsMs_, cellMs_;
    std::string failure_;
    std::thread thread_;
};

// ---- one load --------------------------------------------------------------------

// Who reads the sheet while the ticks come.
enum class Reading { DescriptionColumn, AllFormulas, Nobody };

const char* ReadingName(Reading reading) {
    switch (reading) {
        case Reading::DescriptionColumn:
            return "the Description column";
        case Reading::AllFormulas:
            return "all formulas";
        case Reading::Nobody:
            return "nobody";
    }
    return "";
}

struct ProbeRow {
    std::string load;
    Spread sheets, cell;
};

struct StreamResult {
    Reading reading = Reading::Nobody;
    double ticksPerSecond = 0;
    unsigned long long sent = 0, replaced = 0;  // by the publisher, in the run
    Spread latency, read, tail;
    double allLastShownMs = -1;  // from the last tick until every instrument shows it
    int lastCorrect = 0;         // instruments showing their last stamp and price
};

struct CaseResult {
    int instruments = 0, formulas = 0, rate = 0;
    double targetP99Ms = 0;
    double setMs = 0, shownMs = 0;  // setting the formulas; from then until all show values
    std::vector<StreamResult> streams;
    std::vector<ProbeRow> probes;
    long residentEmpty = 0, residentShown = 0, residentAfter = 0;  // KiB
    double liveCalcMs = 0, plainCalcMs = 0;                        // a hard recalculation, median
};

// Reads the block until every instrument shows a stamp in its Description and a number
// as its price (with `last`: its last tick's), at most `limit`; how many do.
int WaitShown(const Reference<css::sheet::XCellRangeData>& block, const Feed& feed, bool last,
              std::chrono::milliseconds limit) {
    const Clock::time_point deadline = Clock::now() + limit;
    for (;;) {
        const Sequence<Sequence<Any>> data = block->getDataArray();
        int shown = 0;
        for (int i = 0; i < feed.Count() && i < data.getLength(); ++i) {
            double price = 0;
            const long long stamp = StampOf(data[i][0]);
            if (!(data[i][1] >>= price)) continue;
            if (last ? stamp == feed.LastStamp(i) && price == feed.LastPrice(i) : stamp > 0)
                ++shown;
        }
        if (shown == feed.Count() || Clock::now() >= deadline) return shown;
        std::this_thread::sleep_for(50ms);
    }
}

std::string StatusText(const Reference<css::table::XCellRange>& sheet) {
    const Reference<css::sheet::XCellRangeData> cell(sheet->getCellRangeByPosition(3, 0, 3, 0),
                                                     UNO_QUERY_THROW);
    rtl::OUString text;
    cell->getDataArray()[0][0] >>= text;
    return S(text);
}

double CalculateAllMs(const Reference<css::sheet::XSpreadsheetDocument>& document, int rounds) {
    const Reference<css::sheet::XCalculatable> calculatable(document, UNO_QUERY_THROW);
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round) {
        const Clock::time_point start = Clock::now();
        calculatable->calculateAll();
        times.push_back(MsSince(start));
    }
    return Median(times);
}

// `rate` ticks a second to random instruments, in batches every millisecond, for
// `seconds` and then one more second that is not counted (so that every tick counted is
// told while the load goes on); the sheet read as `reading` says and the other client
// calling meanwhile. Then every instrument's last tick is waited for.
bool Stream(Feed& feed, corvane::bus::Publisher& publisher,
            const Reference<css::table::XCellRange>& sheet, Prober& prober, Reading reading,
            int rate, int seconds, long& n, StreamResult& result, ProbeRow& probe) {
    result.reading = reading;
    const int instruments = feed.Count();
    const Reference<css::sheet::XCellRangeData> all(
        sheet->getCellRangeByPosition(0, 0, 1, instruments - 1), UNO_QUERY_THROW);
    std::unique_ptr<Reader> reader;
    if (reading != Reading::Nobody)
        reader = std::make_unique<Reader>(
            reading == Reading::AllFormulas
                ? all
                : Reference<css::sheet::XCellRangeData>(
                      sheet->getCellRangeByPosition(0, 0, 0, instruments - 1), UNO_QUERY_THROW),
            feed);
    const corvane::bus::Publisher::Stats before = publisher.GetStats();
    const long long fromUs = NowUs();
    const long long untilUs = fromUs + 1000000LL * seconds;
    if (reader) reader->Start(fromUs, untilUs);
    prober.Start();
    const Clock::time_point start = Clock::now();
    long done = 0;
    for (double elapsed = 0; elapsed < seconds + 1;
         elapsed = std::chrono::duration<double>(Clock::now() - start).count()) {
        const long due = static_cast<long>(elapsed * rate);
        for (; done < due; ++done, ++n) feed.PublishAny(n);
        std::this_thread::sleep_for(1ms);
    }
    const long long lastUs = NowUs();
    result.ticksPerSecond = done / std::chrono::duration<double>(Clock::now() - start).count();
    prober.Stop();
    if (reader) reader->TicksStopped();
    const bool flushed = publisher.Flush(corvane::Timeout::After(30s)).ok();
    const corvane::bus::Publisher::Stats after = publisher.GetStats();
    result.sent = after.published - before.published;
    result.replaced = after.replaced - before.replaced;
    if (reader) {
        for (const Clock::time_point limit = Clock::now() + 20s;
             reader->AllLastShownUs() == 0 && Clock::now() < limit;)
            std::this_thread::sleep_for(10ms);
        reader->Stop();
        if (reader->AllLastShownUs() != 0)
            result.allLastShownMs = (reader->AllLastShownUs() - lastUs) / 1000.0;
        result.latency = SpreadOf(reader->LatencyMs());
        result.read = SpreadOf(reader->ReadMs());
        result.tail = SpreadOf(reader->TailMs());
    }
    if ((reader && !reader->Failure().empty()) || !prober.Failure().empty()) {
        std::fprintf(stderr, "%s%s\n", reader ? reader->Failure().c_str() : "",
                     prober.Failure().c_str());
        return false;
    }
    if (!flushed) std::fprintf(stderr, "the publisher did not flush within 30 s\n");
    probe.load = std::to_string(2 * instruments) + " formulas, " + std::to_string(rate) +
                 " ticks/s, reading " + ReadingName(reading);
    probe.sheets = SpreadOf(prober.SheetsMs());
    probe.cell = SpreadOf(prober.CellMs());
    result.lastCorrect = WaitShown(all, feed, true, 10s);
    if (result.lastCorrect != instruments)
        std::fprintf(stderr, "%d of %d instruments show their last stamp and price; status: %s\n",
                     result.lastCorrect, instruments, StatusText(sheet).c_str());
    std::fprintf(stderr, "  reading %s: p99 %.1f ms over %zu values\n", ReadingName(reading),
                 result.latency.p99, result.latency.count);
    return true;
}

// One office, one hidden sheet of 2 LIVE formulas per instrument (Description and Last
// Traded Price) and LIVE.STATUS, `rate` ticks a second for `seconds`, once per way of
// reading the sheet.
bool RunCase(const corvane::test::NatsServer& server, int instruments, int rate, int seconds,
             double targetP99Ms, int calcRounds, CaseResult& result) {
    result.instruments = instruments;
    result.formulas = 2 * instruments;
    result.rate = rate;
    result.targetP99Ms = targetP99Ms;

    corvane::bus::BusSettings settings;
    settings.url = server.Url();
    std::unique_ptr<corvane::bus::Publisher> publisher;
    const corvane::Error opened =
        corvane::bus::Publisher::Open(settings, "md", "marketwatch", publisher);
    if (!opened.ok()) {
        std::fprintf(stderr, "publisher: %s\n", opened.message().c_str());
        return false;
    }
    Feed feed(*publisher, instruments);
    if (!feed.Check()) {
        std::fprintf(stderr, "a tick's record is not the 42 fields it should be\n");
        return false;
    }
    // Every instrument's first value in the bucket before any cell asks.
    for (int i = 0; i < instruments; ++i) feed.Publish(i, i);
    if (!publisher->Flush(corvane::Timeout::After(30s)).ok()) {
        std::fprintf(stderr, "the first values were not stored\n");
        return false;
    }

    OfficeSession session;
    Watchdog watchdog(session);
    pid_t leader = -1;
    watchdog.Arm("starting the office", 240s);
    OfficeClient& client = StartWithExtension(session, server.Url(), leader);
    const Reference<css::sheet::XSpreadsheetDocument> document = NewHiddenSheet(client);
    const Reference<css::table::XCellRange> sheet = FirstSheet(document);
    watchdog.Disarm();
    std::this_thread::sleep_for(2s);
    result.residentEmpty = OfficeResidentKiB(leader);

    // The formulas: per instrument a row, Description in A and Last Traded Price in B;
    // the status in D1.
    watchdog.Arm("setting the formulas and showing their first values", 300s);
    Sequence<Sequence<rtl::OUString>> formulas(instruments);
    for (int i = 0; i < instruments; ++i) {
        const rtl::OUString row[] = {LiveFormula(kFirstCode + i, "Description"),
                                     LiveFormula(kFirstCode + i, "Last Traded Price")};
        formulas.getArray()[i] = Sequence<rtl::OUString>(row, 2);
    }
    const Reference<css::table::XCellRange> range =
        sheet->getCellRangeByPosition(0, 0, 1, instruments - 1);
    const Clock::time_point setStart = Clock::now();
    Reference<css::sheet::XCellRangeFormula>(range, UNO_QUERY_THROW)->setFormulaArray(formulas);
    sheet->getCellByPosition(3, 0)->setFormula("=ORG.CORVANE.LIVE.LIVEFUNCTIONS.LIVESTATUS()");
    result.setMs = MsSince(setStart);
    const Reference<css::sheet::XCellRangeData> block(range, UNO_QUERY_THROW);
    const Clock::time_point shownStart = Clock::now();
    const int shown = WaitShown(block, feed, false, 120s);
    result.shownMs = MsSince(shownStart);
    watchdog.Disarm();
    if (shown != instruments) {
        std::fprintf(stderr, "only %d of %d instruments show values after %.0f ms; status: %s\n",
                     shown, instruments, result.shownMs, StatusText(sheet).c_str());
        return false;
    }
    std::fprintf(stderr,
                 "  %d formulas set in %.0f ms, all showing values %.0f ms later; status: %s\n",
                 result.formulas, result.setMs, result.shownMs, StatusText(sheet).c_str());
    std::this_thread::sleep_for(2s);
    result.residentShown = OfficeResidentKiB(leader);

    // The other client, the office idle first.
    watchdog.Arm("another client's calls, no ticks", 120s);
    Prober prober(OfficeClient::Connect(60s));
    prober.Start();
    std::this_thread::sleep_for(3s);
    prober.Stop();
    watchdog.Disarm();
    if (!prober.Failure().empty()) {
        std::fprintf(stderr, "%s\n", prober.Failure().c_str());
        return false;
    }
    result.probes.push_back({std::to_string(result.formulas) + " formulas, no ticks",
                             SpreadOf(prober.SheetsMs()), SpreadOf(prober.CellMs())});

    long n = 0;
    for (const Reading reading :
         {Reading::DescriptionColumn, Reading::AllFormulas, Reading::Nobody}) {
        watchdog.Arm(std::string("ticks, reading ") + ReadingName(reading),
                     std::chrono::seconds(seconds + 120));
        if (!Stream(feed, *publisher, sheet, prober, reading, rate, seconds, n,
                    result.streams.emplace_back(), result.probes.emplace_back()))
            return false;
        watchdog.Disarm();
    }
    result.residentAfter = OfficeResidentKiB(leader);

    // A hard recalculation of the LIVE cells (values known, no ticks) beside the same
    // count of plain formulas in a document of their own.
    watchdog.Arm("hard recalculations", 600s);
    result.liveCalcMs = CalculateAllMs(document, calcRounds);
    const Reference<css::sheet::XSpreadsheetDocument> plain = NewHiddenSheet(client);
    const Reference<css::table::XCellRange> plainSheet = FirstSheet(plain);
    Sequence<Sequence<Any>> numbers(result.formulas);
    Sequence<Sequence<rtl::OUString>> sums(result.formulas);
    for (int r = 0; r < result.formulas; ++r) {
        const Any number(1.0 + r);
        const rtl::OUString sum = U("=A" + std::to_string(r + 1) + "+0");
        numbers.getArray()[r] = Sequence<Any>(&number, 1);
        sums.getArray()[r] = Sequence<rtl::OUString>(&sum, 1);
    }
    Reference<css::sheet::XCellRangeData>(
        plainSheet->getCellRangeByPosition(0, 0, 0, result.formulas - 1), UNO_QUERY_THROW)
        ->setDataArray(numbers);
    Reference<css::sheet::XCellRangeFormula>(
        plainSheet->getCellRangeByPosition(1, 0, 1, result.formulas - 1), UNO_QUERY_THROW)
        ->setFormulaArray(sums);
    result.plainCalcMs = CalculateAllMs(plain, calcRounds);
    Close(plain);
    watchdog.Disarm();
    if (!session.Running()) {
        std::fprintf(stderr, "the office ended during the case\n");
        return false;
    }
    return !watchdog.Fired();
}

std::string LoadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string one, five;
    in >> one >> five;
    return one + " / " + five;
}

void PrintSpread(const Spread& s) {
    std::printf("%zu, %.2f / %.2f / %.2f", s.count, s.p50, s.p99, s.max);
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int seconds = quick ? 3 : 10;
    const int calcRounds = quick ? 3 : 7;
    struct Load {
        int instruments, rate;
        double targetP99Ms;
    };
    const Load loads[] = {{500, 2000, 300}, {5000, 20000, 1000}};
    const std::string loadBefore = LoadAverage();
    std::vector<CaseResult> results;
    try {
        corvane::test::NatsServer server;
        server.Start();
        for (const Load& load : loads) {
            std::fprintf(stderr, "== %d formulas over %d instruments at %d ticks/s\n",
                         2 * load.instruments, load.instruments, load.rate);
            if (!RunCase(server, load.instruments, load.rate, seconds, load.targetP99Ms, calcRounds,
                         results.emplace_back()))
                return 1;
        }
    } catch (const css::uno::Exception& e) {
        std::fprintf(stderr, "office: %s\n", S(e.Message).c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }

    std::printf(
        "Live formulas in a headless office (LibreOffice, the extension installed, cells told "
        "at most every %d ms) fed by a local nats-server; %d s counted per load, the reader "
        "reading every %d ms; machine load average (1 / 5 min) %s before, %s after\n\n",
        kIntervalMs, seconds, static_cast<int>(kReadEvery.count()), loadBefore.c_str(),
        LoadAverage().c_str());
    std::printf(
        "| formulas | instruments | reading | ticks/s asked | ticks/s published | ticks replaced "
        "before sending | values seen | publish to cell p50 / p99 / max ms | target p99 ms | "
        "one read p50 / p99 ms | the last second's ticks, max ms | ticks stopped: all last "
        "values shown after, ms | last values right |\n"
        "|---:|---:|---|---:|---:|---:|---:|---|---:|---|---:|---:|---|\n");
    for (const CaseResult& r : results)
        for (const StreamResult& s : r.streams) {
            if (s.reading == Reading::Nobody) continue;
            std::printf(
                "| %d | %d | %s | %d | %.0f | %llu | %zu | %.1f / %.1f / %.1f | %.0f | %.1f / "
                "%.1f | %.0f | %.0f | %d of %d |\n",
                r.formulas, r.instruments, ReadingName(s.reading), r.rate, s.ticksPerSecond,
                s.replaced, s.latency.count, s.latency.p50, s.latency.p99, s.latency.max,
                r.targetP99Ms, s.read.p50, s.read.p99, s.tail.max, s.allLastShownMs, s.lastCorrect,
                r.instruments);
        }
    std::printf(
        "\n| another client's calls, every %d ms | getSheets: calls, p50 / p99 / max ms | one "
        "LIVE cell's getValue: calls, p50 / p99 / max ms |\n|---|---|---|\n",
        static_cast<int>(kProbeEvery.count()));
    for (const CaseResult& r : results)
        for (const ProbeRow& p : r.probes) {
            std::printf("| %s | ", p.load.c_str());
            PrintSpread(p.sheets);
            std::printf(" | ");
            PrintSpread(p.cell);
            std::printf(" |\n");
        }
    std::printf(
        "\n| cells | hard recalculation of LIVE cells, ms | per LIVE call, us | of as many =An+0 "
        "cells, ms | per plain formula, us |\n|---:|---:|---:|---:|---:|\n");
    for (const CaseResult& r : results)
        std::printf("| %d | %.1f | %.2f | %.1f | %.2f |\n", r.formulas, r.liveCalcMs,
                    1000.0 * r.liveCalcMs / r.formulas, r.plainCalcMs,
                    1000.0 * r.plainCalcMs / r.formulas);
    std::printf(
        "\n| formulas | office resident KiB, empty sheet | formulas set, values shown | after "
        "the loads | the formulas' share, KiB | per formula, bytes |\n"
        "|---:|---:|---:|---:|---:|---:|\n");
    for (const CaseResult& r : results)
        std::printf("| %d | %ld | %ld | %ld | %ld | %.0f |\n", r.formulas, r.residentEmpty,
                    r.residentShown, r.residentAfter, r.residentShown - r.residentEmpty,
                    1024.0 * (r.residentShown - r.residentEmpty) / r.formulas);
    std::printf("\n");
    for (const CaseResult& r : results)
        std::printf("%d formulas set in %.0f ms, all showing their first values %.0f ms later\n",
                    r.formulas, r.setMs, r.shownMs);
    return 0;
}
