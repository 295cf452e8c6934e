// Live tables against a real office: nothing lost, and a table that heals itself when
// its office is killed, stopped, loses the workbook or goes away and comes back. The
// test holds no connection of its own to the office while the table works: it reads
// what the table wrote from a copy the table saves.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <corvane/live_table.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

constexpr int kLong = 120000;  // ms: an office restart on a busy machine, many times over

// Ticks of `instruments` instruments on the NSE: field B tells instrument and tick.
class Ticks {
  public:
    explicit Ticks(int instruments) : last_(instruments, -1) {}
    int Put(LiveTable& table, int instrument) {
        const int tick = ++count_;
        const std::string description =
            "I" + std::to_string(instrument) + "-T" + std::to_string(tick);
        const std::string scrip = std::to_string(100000 + instrument);
        const std::string price = std::to_string(100 + tick % 997) + ".25";
        const char* fields[CORVANE_COLUMN_COUNT] = {};
        fields[0] = "NSE";
        fields[1] = description.c_str();
        fields[2] = scrip.c_str();
        fields[11] = price.c_str();
        const int result = table.Put(fields);
        if (result != CORVANE_OK) return result;
        if (last_[instrument] < 0) rows_.push_back(instrument);  // the next free row
        last_[instrument] = tick;
        return result;
    }
    // Puts `count` ticks over the instruments, round the clock from `next_`.
    void PutMany(LiveTable& table, int count) {
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(Put(table, next_), CORVANE_OK);
            next_ = (next_ + 7919) % static_cast<int>(last_.size());
        }
    }
    const std::vector<int>& Last() const { return last_; }
    // Instruments in the order of their rows.
    const std::vector<int>& Rows() const { return rows_; }

  private:
    std::vector<int> last_;
    std::vector<int> rows_;
    int count_ = 0;
    int next_ = 0;
};

// Column B of every row of a CSV copy, by row (0-based); quoted fields may span lines.
std::vector<std::string> ColumnB(const std::string& csv) {
    std::ifstream in(csv, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> cells(1);
    std::string field;
    int column = 0;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',' || c == '\n') {
            if (column == 1) cells.back() = field;
            field.clear();
            ++column;
            if (c == '\n') {
                cells.emplace_back();
                column = 0;
            }
        } else if (c != '\r') {
            field += c;
        }
    }
    return cells;
}

// The instruments whose row does not show their newest tick.
int Stale(const std::vector<std::string>& cells, const Ticks& ticks) {
    int stale = 0;
    for (std::size_t row = 1; row <= ticks.Rows().size(); ++row) {
        const int instrument = ticks.Rows()[row - 1];
        const std::string want =
            "I" + std::to_string(instrument) + "-T" + std::to_string(ticks.Last()[instrument]);
        stale += row >= cells.size() || cells[row] != want;
    }
    return stale;
}

// The state the callback saw last, and whether it saw recovery.
struct States {
    std::atomic<int> now{CORVANE_LIVE_CONNECTING};
    std::atomic<int> recoveries{0};
    static void Seen(void* user, int state, int, const char*) {
        auto* self = static_cast<States*>(user);
        self->now = state;
        if (state == CORVANE_LIVE_RECOVERING) ++self->recoveries;
    }
};

// Process state letter of `pid` from /proc ('T' stopped).
char ProcessState(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const auto end = line.rfind(')');
    return end == std::string::npos || end + 2 >= line.size() ? '?' : line[end + 2];
}

// The kernel's command name of `pid`.
std::string CommandName(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(in, name);
    return name;
}

// Starts an office on the session's profile without a test connection to it.
void StartOffice(OfficeSession& session) {
    session.Adopt(StartInOwnGroup({OfficeExecutable(), "--headless", "--norestore",
                                   "-env:UserInstallation=" + FileUrl(session.ProfileDirectory()),
                                   "--accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager"}));
}

class LiveOffice : public ::testing::Test {
  protected:
    void SetUp() override {
        book_ = dir_ / "book.fods";
        WriteWorkbook(book_, {"NSE"});
    }
    LiveTableOptions Options(bool owned) const {
        LiveTableOptions options;
        options.workbook = book_;
        options.sheet = "NSE";
        options.ownOffice = owned;
        options.profileDir = session_.ProfileDirectory();
        options.callTimeoutMs = 2000;
        return options;
    }
    // The table's copy of its sheet, column B by row.
    std::vector<std::string> Saved(LiveTable& table) {
        const std::string csv = dir_ / ("copy" + std::to_string(++copies_) + ".csv");
        table.SaveCopy(csv, kLong);
        return ColumnB(csv);
    }

    OfficeSession session_;
    TempDir dir_;
    std::string book_;
    int copies_ = 0;
};

TEST_F(LiveOffice, EveryInstrumentShowsItsNewestTickAfterClose) {
    LiveTableOptions options = Options(true);
    options.fastWrites = true;
    LiveTable table(options);
    Ticks ticks(1000);
    ticks.PutMany(table, 100000);
    const std::vector<std::string> cells = Saved(table);
    EXPECT_EQ(cells.at(0), "Description");  // the titles
    EXPECT_EQ(Stale(cells, ticks), 0);
    const corvane_live_stats stats = table.Stats();
    EXPECT_EQ(stats.ticks_put, 100000u);
    EXPECT_EQ(stats.instruments, 1000u);
    EXPECT_EQ(stats.restarts + stats.reconnects, 0u);
    table.Close(kLong);
}

// Puts keep completing while the table recovers: each counted put was made and had
// returned while the callback's last word was still "recovering".
TEST_F(LiveOffice, KilledOwnedOfficeIsStartedAnewAndTheTableCompleteAgain) {
    States states;
    LiveTable table(Options(true), &States::Seen, &states);
    Ticks ticks(1000);
    ticks.PutMany(table, 20000);
    table.Flush(kLong);
    const int first = table.Stats().office_pid;
    ASSERT_GT(first, 0);
    EXPECT_EQ(CommandName(first), "soffice.bin");  // the office, not its launcher
    const pid_t group = ::getpgid(first);
    session_.Adopt(group);
    ASSERT_EQ(::kill(-group, SIGKILL), 0);

    int duringRecovery = 0;
    for (int i = 0; states.recoveries == 0 || states.now == CORVANE_LIVE_RECOVERING; ++i) {
        const bool recovering = states.now == CORVANE_LIVE_RECOVERING;
        ASSERT_NO_FATAL_FAILURE(ticks.PutMany(table, 1));
        duringRecovery += recovering && states.now == CORVANE_LIVE_RECOVERING;
        if (i % 100 == 0) std::this_thread::sleep_for(1ms);
    }
    ASSERT_EQ(states.now, CORVANE_LIVE_LIVE) << table.Stats().last_message;
    EXPECT_GT(duringRecovery, 0);
    ticks.PutMany(table, 5000);
    table.Flush(15000);  // complete again within 15 s
    const corvane_live_stats stats = table.Stats();
    EXPECT_EQ(stats.restarts, 1u);
    EXPECT_NE(stats.office_pid, first);
    EXPECT_EQ(Stale(Saved(table), ticks), 0);
    table.Close(kLong);
}

TEST_F(LiveOffice, StoppedOwnedOfficeIsReplacedWhilePutsGoOn) {
    LiveTable table(Options(true));
    Ticks ticks(500);
    ticks.PutMany(table, 5000);
    table.Flush(kLong);
    const int first = table.Stats().office_pid;
    ASSERT_GT(first, 0);
    const pid_t group = ::getpgid(first);
    session_.Adopt(group);
    ASSERT_EQ(::kill(-group, SIGSTOP), 0);
    // A stop is delivered when the office is next scheduled: on a busy machine, a moment
    // after the signal.
    for (int i = 0; i < 500 && ProcessState(first) != 'T'; ++i)
        std::this_thread::sleep_for(10ms);
    ASSERT_EQ(ProcessState(first), 'T');
    // Every put returns while the office is provably stopped.
    ticks.PutMany(table, 20000);
    EXPECT_EQ(ProcessState(first), 'T');
    table.Flush(kLong);
    const corvane_live_stats stats = table.Stats();
    EXPECT_EQ(stats.restarts, 1u);
    EXPECT_NE(stats.office_pid, first);
    EXPECT_EQ(Stale(Saved(table), ticks), 0);
    table.Close(kLong);
}

// An office on the pipe before the table's own starts is someone else's: the table does
// not start, and loads nothing into it.
TEST_F(LiveOffice, OwnedTableLoadsNothingIntoAnOfficeItFindsOnThePipe) {
    ASSERT_NO_FATAL_FAILURE(StartOffice(session_));
    const std::string none = std::string("/usr/bin/python3 ") + CORVANE_TEST_SOURCE_DIR +
                             "/live/person_document.py none 2>/dev/null";
    for (int i = 0; i < 600 && std::system(none.c_str()) != 0; ++i)
        std::this_thread::sleep_for(100ms);
    LiveTableOptions options = Options(true);
    options.profileDir.clear();  // a throw-away one, which the office on the pipe is not on
    options.openWaitMs = kLong;
    EXPECT_THROW(LiveTable table(options), LiveTableError);
    EXPECT_EQ(std::system(none.c_str()), 0);
}

// A document someone else opened in the table's office keeps the office running.
TEST_F(LiveOffice, ClosingLeavesTheOwnedOfficeRunningWithAnotherDocumentInIt) {
    LiveTable table(Options(true));
    Ticks ticks(10);
    ticks.PutMany(table, 10);
    table.Flush(kLong);
    const int office = table.Stats().office_pid;
    session_.Adopt(::getpgid(office));
    const std::string person =
        std::string("/usr/bin/python3 ") + CORVANE_TEST_SOURCE_DIR + "/live/person_document.py ";
    ASSERT_EQ(std::system((person + "open").c_str()), 0);

    table.Close(kLong);
    std::this_thread::sleep_for(1s);  // an office told to end is gone by then
    EXPECT_EQ(ProcessState(office), 'S');
    EXPECT_EQ(std::system((person + "check").c_str()), 0);
}

TEST_F(LiveOffice, WorkbookClosedByTheUserIsLoadedAgainAndRewritten) {
    LiveTable table(Options(true));
    Ticks ticks(300);
    ticks.PutMany(table, 3000);
    table.Flush(kLong);
    const std::string closer = std::string("/usr/bin/python3 ") + CORVANE_TEST_SOURCE_DIR +
                               "/live/close_workbook.py '" + FileUrl(book_) + "'";
    ASSERT_EQ(std::system(closer.c_str()), 0);
    ticks.PutMany(table, 10);
    table.Flush(kLong);
    const corvane_live_stats stats = table.Stats();
    EXPECT_EQ(stats.reconnects, 1u);
    EXPECT_EQ(stats.restarts, 0u);
    EXPECT_EQ(Stale(Saved(table), ticks), 0);
    table.Close(kLong);
}

TEST_F(LiveOffice, AttachedOfficeThatComesBackIsWrittenAgain) {
    ASSERT_NO_FATAL_FAILURE(StartOffice(session_));
    States states;
    LiveTableOptions options = Options(false);
    options.rowTimes = true;
    LiveTable table(options, &States::Seen, &states);
    Ticks ticks(200);
    ticks.PutMany(table, 2000);
    table.Flush(kLong);
    EXPECT_EQ(table.Stats().office_pid, 0);  // not the table's own

    session_.Kill();
    ticks.PutMany(table, 2000);
    while (states.now != CORVANE_LIVE_RECOVERING) std::this_thread::sleep_for(10ms);
    ASSERT_NO_FATAL_FAILURE(StartOffice(session_));
    ticks.PutMany(table, 100);
    table.Flush(kLong);
    const corvane_live_stats stats = table.Stats();
    EXPECT_EQ(stats.reconnects, 1u);
    EXPECT_EQ(stats.state, CORVANE_LIVE_LIVE);
    EXPECT_EQ(Stale(Saved(table), ticks), 0);
    table.Close(kLong);
}

// What a person does beside the table, run as a process of its own (see the scripts):
// what the script printed.
std::string AsUser(const std::string& arguments, const char* script = "workbook_user.py") {
    const std::string command = std::string("/usr/bin/python3 ") + CORVANE_TEST_SOURCE_DIR +
                                "/live/" + script + " " + arguments;
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0;)
            out.append(buffer, got);
        EXPECT_EQ(::pclose(pipe), 0) << command;
    }
    return out;
}

// A person sorts the market watch by price ten times, a second apart, and turns rows into
// notes and types rows of their own between them, while 500 instruments stream in at
// 2,000 ticks a second: no row ever holds another instrument's fields, no instrument
// stands in two rows, the person's rows all stay, and every instrument ends with its
// newest tick.
TEST_F(LiveOffice, SortsAndRowsOfThePersonsOwnAreNeverWrittenOver) {
    ASSERT_NO_FATAL_FAILURE(StartOffice(session_));
    LiveTableOptions options = Options(false);
    options.openWaitMs = kLong;
    LiveTable table(options);
    Ticks ticks(500);
    for (int instrument = 0; instrument < 500; ++instrument) ticks.Put(table, instrument);
    table.Flush(kLong);

    std::atomic<bool> streaming{true};
    std::thread ticker([&] {
        unsigned next = 1;
        for (auto at = std::chrono::steady_clock::now(); streaming; at += 10ms) {
            for (int i = 0; i < 20; ++i) {
                next = next * 1103515245u + 12345u;
                ticks.Put(table, static_cast<int>((next >> 8) % 500));
            }
            std::this_thread::sleep_until(at);
        }
    });
    const std::string found = AsUser("work '" + FileUrl(book_) + "' NSE 10", "person_sorts.py");
    streaming = false;
    ticker.join();
    table.Flush(kLong);
    EXPECT_EQ(found, "mixed 0 twice 0 notes-missing 0 own-missing 0\n");

    std::map<int, std::string> shown;  // instrument: its row's B
    int notes = 0, own = 0;
    std::istringstream rows(AsUser("rows '" + FileUrl(book_) + "' NSE", "person_sorts.py"));
    for (std::string line; std::getline(rows, line);) {
        std::istringstream cells(line);
        std::string a, b, c;
        std::getline(cells, a, '\t');
        std::getline(cells, b, '\t');
        std::getline(cells, c, '\t');
        notes += a.empty() && c.empty() && b.rfind("MINE ", 0) == 0;
        own += a.empty() && c.empty() && b.rfind("OWN ", 0) == 0;
        if (c.empty()) continue;
        EXPECT_TRUE(shown.emplace(std::stoi(c) - 100000, b).second) << "twice: " << line;
    }
    EXPECT_EQ(notes, 5);
    EXPECT_EQ(own, 3);
    int stale = 0;
    for (int instrument = 0; instrument < 500; ++instrument)
        stale += shown[instrument] !=
                 "I" + std::to_string(instrument) + "-T" + std::to_string(ticks.Last()[instrument]);
    EXPECT_EQ(stale, 0);
    EXPECT_GT(table.Stats().reorders, 0u);
    table.Close(kLong);
}

void PutPrice(LiveTable& table, int scrip, const std::string& price) {
    const std::string code = std::to_string(scrip);
    const char* fields[CORVANE_COLUMN_COUNT] = {};
    fields[0] = "NSE";
    fields[1] = "Instrument";
    fields[2] = code.c_str();
    fields[11] = price.c_str();
    ASSERT_EQ(table.Put(fields), CORVANE_OK);
}

// Run 1 writes A B C D into an empty sheet; the user's formula reads C's price from
// row 4; run 2 streams D C E A into the saved workbook: every instrument keeps its row,
// E goes after the last one used, B's row is left as it is, and the formula still reads
// C. The copies keep the title row frozen on the table's sheet, and only there.
TEST_F(LiveOffice, InstrumentsKeepTheirRowsAcrossRunsUnderTheUsersFormula) {
    ASSERT_NO_FATAL_FAILURE(StartOffice(session_));
    WriteWorkbook(book_, {"NSE", "Mine"});
    const std::string first = dir_ / "run1.ods", second = dir_ / "run2.ods";
    LiveTableOptions options = Options(false);
    {
        LiveTable table(options);
        for (const int scrip : {1, 2, 3, 4}) PutPrice(table, scrip, std::to_string(scrip) + "0");
        table.SaveCopy(first, kLong);
        table.Close(kLong);
    }
    AsUser("formula '" + FileUrl(first) + "' Mine A1 '=$NSE.L4'");
    options.workbook = first;
    {
        LiveTable table(options);
        for (const int scrip : {4, 3, 5, 1}) PutPrice(table, scrip, std::to_string(scrip) + "1");
        table.SaveCopy(second, kLong);
        table.SaveCopy(dir_ / "run2.xlsx", kLong);
        EXPECT_EQ(table.Stats().rows_adopted, 3u);
        table.Close(kLong);
    }
    EXPECT_EQ(AsUser("cells '" + FileUrl(second) + "' Mine A1:A1"), "31\n");
    EXPECT_EQ(AsUser("cells '" + FileUrl(second) + "' NSE C2:C6"), "1\n2\n3\n4\n5\n");
    EXPECT_EQ(AsUser("cells '" + FileUrl(second) + "' NSE L2:L6"), "11\n20\n31\n41\n51\n");
    for (const std::string& copy : {second, dir_ / "run2.xlsx"}) {
        EXPECT_EQ(AsUser("frozen '" + FileUrl(copy) + "' NSE"), "2 1\n") << copy;
        EXPECT_EQ(AsUser("frozen '" + FileUrl(copy) + "' Mine"), "0 0\n") << copy;
    }
}

// Ticks that change a few fields each, over every column: the table sends only the cells
// that changed, and every cell of every row ends with its instrument's newest tick.
TEST_F(LiveOffice, PartialUpdatesLeaveEveryCellWithTheNewestTick) {
    ASSERT_NO_FATAL_FAILURE(StartOffice(session_));
    constexpr int kInstruments = 200;
    const auto text = [](int k) { return k == 0 || k == 1 || k == 7 || k == 9; };
    std::vector<std::vector<std::string>> newest(kInstruments);
    for (int i = 0; i < kInstruments; ++i)
        for (int k = 0; k < CORVANE_COLUMN_COUNT; ++k)
            newest[i].push_back(k == 0    ? "NSE"
                                : k == 2  ? std::to_string(100000 + i)
                                : text(k) ? "T" + std::to_string(i) + "-" + std::to_string(k)
                                          : std::to_string(i * 100 + k));
    LiveTableOptions options = Options(false);
    options.intervalMs = 5;
    LiveTable table(options);
    const auto put = [&](int i) {
        const char* fields[CORVANE_COLUMN_COUNT];
        for (int k = 0; k < CORVANE_COLUMN_COUNT; ++k) fields[k] = newest[i][k].c_str();
        ASSERT_EQ(table.Put(fields), CORVANE_OK);
    };
    for (int i = 0; i < kInstruments; ++i) put(i);
    unsigned next = 1;
    for (int tick = 1; tick <= 20000; ++tick) {
        next = next * 1103515245u + 12345u;
        const int i = static_cast<int>((next >> 8) % kInstruments);
        for (int change = 0; change < 3; ++change) {
            const int k = 3 + static_cast<int>((next >> (4 + 5 * change)) % 39);
            newest[i][k] = text(k) ? "U" + std::to_string(tick) : std::to_string(tick);
        }
        put(i);
        if (tick % 500 == 0) std::this_thread::sleep_for(2ms);  // writes between the ticks
    }
    const std::string copy = dir_ / "partial.ods";
    table.SaveCopy(copy, kLong);
    table.Close(kLong);
    std::string want;
    for (const auto& fields : newest) {
        for (int k = 0; k < CORVANE_COLUMN_COUNT; ++k) want += (k ? "\t" : "") + fields[k];
        want += "\n";
    }
    EXPECT_EQ(AsUser("cells '" + FileUrl(copy) + "' NSE A2:AP" + std::to_string(kInstruments + 1)),
              want);
}

// The state callback runs on the table's writer thread, which cannot end itself: a close
// from there is refused, and the table goes on and closes from the host's thread.
TEST_F(LiveOffice, CloseFromTheStateCallbackIsRefusedAndTheTableStaysUsable) {
    struct Probe {
        std::atomic<LiveTable*> table{nullptr};
        std::atomic<int> code{1};  // 1: not tried yet; 2: the table was not there in time
        static void Seen(void* user, int state, int, const char*) {
            auto* self = static_cast<Probe*>(user);
            if (state != CORVANE_LIVE_LIVE || self->code != 1) return;
            for (int i = 0; i < 5000 && self->table == nullptr; ++i)
                std::this_thread::sleep_for(1ms);
            if (self->table == nullptr) {
                self->code = 2;
                return;
            }
            try {
                self->table.load()->Close(1000);
                self->code = CORVANE_OK;
            } catch (const LiveTableError& e) {
                self->code = e.code();
            }
        }
    } probe;
    LiveTable table(Options(true), &Probe::Seen, &probe);
    probe.table = &table;
    for (int i = 0; i < 1200 && probe.code == 1; ++i) std::this_thread::sleep_for(100ms);
    EXPECT_EQ(probe.code, CORVANE_E_ARGUMENT);
    const char* fields[CORVANE_COLUMN_COUNT] = {"NSE", "after the callback", "500"};
    EXPECT_EQ(table.Put(fields), CORVANE_OK);
    table.Flush(kLong);
    EXPECT_EQ(Saved(table).at(1), "after the callback");
    table.Close(kLong);
}

// Calls on other threads that race the close get "not connected" once it began, never a
// freed table; the closed handle stays safe to pass, and never reaches a later table.
TEST_F(LiveOffice, CallsRacingCloseGetNotConnected) {
    corvane_live_options options;
    corvane_live_default_options(&options);
    options.workbook_path = book_.c_str();
    options.sheet = "NSE";
    options.own_office = 1;
    options.profile_dir = session_.ProfileDirectory().c_str();
    options.open_wait_ms = kLong;
    corvane_live* table = corvane_live_open(&options, nullptr, nullptr);
    ASSERT_NE(table, nullptr) << corvane_last_error();
    const std::string copy = dir_ / "race.csv";
    const char* fields[CORVANE_COLUMN_COUNT] = {"NSE", "racer", "500"};
    const std::vector<std::function<int()>> calls = {
        [&] { return corvane_live_put(table, fields); },
        [&] { return corvane_live_flush(table, 0); },
        [&] {
            corvane_live_stats stats{};
            stats.struct_size = sizeof stats;
            return corvane_live_get_stats(table, &stats);
        },
        [&] { return corvane_live_save_copy(table, copy.c_str(), -1); },
    };
    std::vector<std::thread> racers;
    std::vector<std::string> wrong(calls.size());
    for (std::size_t i = 0; i < calls.size(); ++i) {
        racers.emplace_back([&, i] {
            // Until closed, anything the call may answer; from then on only "not connected".
            int closedAnswers = 0;
            while (closedAnswers < 100) {
                const int code = calls[i]();
                if (code == CORVANE_E_NOT_CONNECTED)
                    ++closedAnswers;
                else if (closedAnswers > 0 || (code != CORVANE_OK && code != CORVANE_E_TIMEOUT))
                    wrong[i] += std::to_string(code) + " ";
            }
        });
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(corvane_live_close(table, kLong), CORVANE_OK) << corvane_last_error();
    for (std::thread& racer : racers) racer.join();
    for (std::size_t i = 0; i < calls.size(); ++i) EXPECT_EQ(wrong[i], "") << "call " << i;

    options.own_office = 0;
    options.open_wait_ms = 0;
    corvane_live* later = corvane_live_open(&options, nullptr, nullptr);
    ASSERT_NE(later, nullptr) << corvane_last_error();
    for (const auto& call : calls) EXPECT_EQ(call(), CORVANE_E_NOT_CONNECTED);
    EXPECT_EQ(corvane_live_close(table, 0), CORVANE_E_NOT_CONNECTED);
    EXPECT_NE(corvane_live_close(later, 0), CORVANE_E_NOT_CONNECTED);
}

// Options that cannot work are refused before anything starts, the option named; an open
// that fails later reports its own code through the wrapper.
TEST_F(LiveOffice, OpenFailuresCarryTheirOwnCodeAndNameTheOption) {
    struct Case {
        std::function<void(LiveTableOptions&)> spoil;
        int code;
        const char* named;
    };
    const Case cases[] = {
        {[](LiveTableOptions& o) { o.sheet = ""; }, CORVANE_E_ARGUMENT, "sheet"},
        {[](LiveTableOptions& o) { o.sheet = "N:SE"; }, CORVANE_E_ARGUMENT, "sheet"},
        {[](LiveTableOptions& o) { o.firstRow = -1; }, CORVANE_E_ARGUMENT, "first_row"},
        {[](LiveTableOptions& o) { o.firstRow = 1048576; }, CORVANE_E_ARGUMENT, "first_row"},
        {[](LiveTableOptions& o) { o.firstRow = 0; }, CORVANE_E_ARGUMENT, "titles"},
        {[](LiveTableOptions& o) { o.intervalMs = -1; }, CORVANE_E_ARGUMENT, "interval_ms"},
        {[](LiveTableOptions& o) { o.callTimeoutMs = -1; }, CORVANE_E_ARGUMENT, "call_timeout_ms"},
        {[](LiveTableOptions& o) { o.openWaitMs = -1; }, CORVANE_E_ARGUMENT, "open_wait_ms"},
        {[&](LiveTableOptions& o) { o.workbook = dir_ / "missing.ods"; }, CORVANE_E_LOAD,
         "missing.ods"},
        // Attached, and nobody accepts on the pipe.
        {[](LiveTableOptions& o) { o.openWaitMs = 300; }, CORVANE_E_TIMEOUT, ""},
        // An office of its own, which finds no spreadsheet in the file.
        {[&](LiveTableOptions& o) {
             o.workbook = dir_ / "text.ods";
             std::ofstream(o.workbook) << "not a spreadsheet\n";
             o.ownOffice = true;
             o.openWaitMs = kLong;
         },
         CORVANE_E_LOAD, "did not load"},
    };
    for (const Case& c : cases) {
        LiveTableOptions options = Options(false);
        c.spoil(options);
        try {
            LiveTable table(options);
            ADD_FAILURE() << "opened; expected " << c.code << " naming " << c.named;
        } catch (const LiveTableError& e) {
            EXPECT_EQ(e.code(), c.code) << e.what();
            EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace corvane::test
