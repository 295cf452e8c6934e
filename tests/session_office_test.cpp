// The library's session against a real office: call deadlines on a stopped office, the
// bounded probe, taking up its own workbook again, stale and live lock files, and
// failures told apart by their codes. The library's state lives as long as this process,
// so the tests run in the order they are written.
#include <gtest/gtest.h>

#include <corvane/corvane.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <corvane/corvane.hpp>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "support/library_init.hpp"
#include "support/office_session.hpp"
#include "support/records.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

using namespace std::chrono_literals;

std::string LockFile(const std::string& book) {
    const std::filesystem::path path(book);
    return (path.parent_path() / (".~lock." + path.filename().string() + "#")).string();
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds longest = 60s) {
    const auto deadline = std::chrono::steady_clock::now() + longest;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

// Runs `call` on its own thread and tells whether it came back within `longest`: a call
// blocked on a stopped office would otherwise hold the whole test run.
template <typename Call>
bool ReturnsWithin(std::chrono::seconds longest, Call call) {
    std::packaged_task<void()> task(call);
    std::future<void> done = task.get_future();
    std::thread(std::move(task)).detach();
    return done.wait_for(longest) == std::future_status::ready;
}

MarketWatchRecord Record(const char* description, const char* price) {
    return RecordOf({"NSE", description, "2885", "", "", "", "", "", "", "", "", price});
}

std::vector<std::string> Warnings;
void CollectWarning(const char* text, void*) { Warnings.emplace_back(text); }

// An office on a profile of its own that opens `book` from its command line (and so
// holds its lock file) without accepting on the library's pipe; killed at the end.
class LockHolder {
  public:
    explicit LockHolder(const std::string& book) {
        SeedProfile(profile_.Path());
        pid_ = StartInOwnGroup({OfficeExecutable(), "--headless", "--norestore",
                                "-env:UserInstallation=" + FileUrl(profile_.Path()), book});
    }
    ~LockHolder() {
        if (pid_ <= 0) return;
        ::kill(-pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        WaitFor([&] { return ::kill(-pid_, 0) != 0; }, 10s);
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

  private:
    TempDir profile_;
    pid_t pid_ = -1;
};

class SessionOffice : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = new TempDir;
        book = *dir / "book.fods";
        WriteWorkbook(book, {"NSE"});
        corvane_set_warning_handler(&CollectWarning, nullptr);
    }
    static void TearDownTestSuite() {
        corvane_set_warning_handler(nullptr, nullptr);
        delete dir;
    }
    static TempDir* dir;
    static std::string book;
};
TempDir* SessionOffice::dir = nullptr;
std::string SessionOffice::book;

TEST_F(SessionOffice, FailuresAreToldApartByTheirCodes) {
    OfficeSession session;
    EXPECT_EQ(corvane_connect(book.c_str()), CORVANE_E_CONNECT);  // nobody on the pipe
    session.Start();
    const std::string text = *dir / "notes.ods";
    std::ofstream(text) << "not a spreadsheet\n";
    EXPECT_EQ(corvane_connect(text.c_str()), CORVANE_E_LOAD);
    EXPECT_EQ(corvane_connect((*dir / "missing.ods").c_str()), CORVANE_E_LOAD);
    EXPECT_EQ(corvane_connect(book.c_str()), 1);
}

// The library starts the office and owns the only connection to it: the test's own
// client connects at the end, as a host with no connection of its own would be.
TEST_F(SessionOffice, StoppedOfficeEndsEveryCallAtTheDeadlineAndIsTakenUpAgain) {
    OfficeSession session;
    const std::string url = FileUrl(book);
    const std::vector<CString> config = {OfficeExecutable().c_str(),
                                         session.HeadlessCommandLine().c_str(), book.c_str()};
    // Every call has a deadline, the first connection's included, unless a step says
    // otherwise.
    CorvaneSetCallTimeout(2000);
    const short sheets = InitUntilConnected(config);
    session.Adopt(corvane_office_pid());
    ASSERT_EQ(sheets, 1);

    // Each operation meets a stopped office on a live connection, and ends at the
    // deadline as the exports' UNO exception; the connection is dropped.
    MarketWatchRecord record = Record("RELIANCE", "2450.5");
    const std::vector<std::function<void()>> operations = {
        [&] { CorvaneInsertUpdate("NSE", 1, &record); },
        [&] { CorvaneResetRecord("NSE", 1); },
        [&] { CorvaneSetHeaderString("NSE", 0); },
    };
    for (const auto& operation : operations) {
        session.Signal(SIGSTOP);
        bool threw = false;
        EXPECT_TRUE(ReturnsWithin(10s, [&] {
            try {
                operation();
            } catch (const css::lang::DisposedException&) {
                threw = true;
            } catch (const css::uno::Exception& e) {
                ADD_FAILURE() << S(e.Message);
            }
        }));
        EXPECT_TRUE(threw);
        EXPECT_EQ(CorvaneIsRunning(), 0);
        session.Signal(SIGCONT);
        ASSERT_EQ(InitUntilConnected(config), 1);
    }
    // The C API reports the same as a code.
    session.Signal(SIGSTOP);
    const char* fields[CORVANE_COLUMN_COUNT] = {"NSE", "TCS", "11536"};
    int code = 0;
    EXPECT_TRUE(ReturnsWithin(10s, [&] { code = corvane_write_record("NSE", 2, fields); }));
    EXPECT_EQ(code, CORVANE_E_TIMEOUT) << corvane_last_error();
    // A connection attempt to the stopped office ends at the deadline too.
    short result = 0;
    ::testing::internal::CaptureStdout();
    const bool returned = ReturnsWithin(10s, [&] { result = CorvaneInitFunc(config); });
    ::testing::internal::GetCapturedStdout();
    EXPECT_TRUE(returned);
    EXPECT_EQ(result, -1);
    EXPECT_TRUE(ReturnsWithin(10s, [&] { code = corvane_connect(book.c_str()); }));
    EXPECT_EQ(code, CORVANE_E_TIMEOUT) << corvane_last_error();
    session.Signal(SIGCONT);

    // Creating a workbook ends at the deadline too, in the office the library is
    // connected to and in the one it finds on the pipe.
    ASSERT_EQ(InitUntilConnected(config), 1);
    session.Signal(SIGSTOP);
    const std::string created = *dir / "created.ods";
    const char* names[] = {"NSE"};
    for (const char* where : {"connected", "on the pipe"}) {
        EXPECT_TRUE(ReturnsWithin(10s, [&] {
            code = corvane_create_workbook(created.c_str(), names, 1, nullptr);
        })) << where;
        EXPECT_EQ(code, CORVANE_E_TIMEOUT) << where << ": " << corvane_last_error();
    }
    session.Signal(SIGCONT);

    // With no deadline the probe still gives up on a stopped office.
    ASSERT_EQ(InitUntilConnected(config), 1);
    CorvaneSetCallTimeout(0);
    session.Signal(SIGSTOP);
    int alive = -1;
    EXPECT_TRUE(ReturnsWithin(15s, [&] { alive = CorvaneIsRunning(); }));
    EXPECT_EQ(alive, 0);
    session.Signal(SIGCONT);
    CorvaneSetCallTimeout(2000);

    // Continued, the office still holds the one workbook the library loaded: it is taken
    // up again, not loaded a second time, and writes land in it.
    ASSERT_EQ(InitUntilConnected(config), 1);
    OfficeClient& client = session.Client();
    int copies = 0;
    for (const auto& document : client.Documents()) {
        const css::uno::Reference<css::frame::XModel> model(document, css::uno::UNO_QUERY);
        copies += model.is() && S(model->getURL()) == url ? 1 : 0;
    }
    EXPECT_EQ(copies, 1);
    record = Record("INFY", "1499.25");
    EXPECT_EQ(CorvaneInsertUpdate("NSE", 3, &record), 1);
    EXPECT_EQ(client.Sheet(url, "NSE")->getCellByPosition(11, 3)->getValue(), 1499.25);
    EXPECT_EQ(CorvaneIsRunning(), 1);
}

TEST_F(SessionOffice, StaleLockIsRemovedOnceAndALiveOneIsKept) {
    const std::string stale = *dir / "stale.fods";
    WriteWorkbook(stale, {"NSE"});
    {
        // An office with a throw-away profile dies with the workbook open; the profile
        // goes with the session, the lock file stays.
        OfficeSession dead;
        OfficeClient& client = dead.Start();
        css::beans::PropertyValue hidden;
        hidden.Name = "Hidden";
        hidden.Value <<= true;
        ASSERT_TRUE(
            client.Desktop()
                ->loadComponentFromURL(U(FileUrl(stale)), "_blank", 0,
                                       css::uno::Sequence<css::beans::PropertyValue>(&hidden, 1))
                .is());
        dead.Kill();
    }
    ASSERT_TRUE(std::filesystem::exists(LockFile(stale)));

    OfficeSession session;
    session.Start();
    Warnings.clear();
    EXPECT_EQ(corvane_connect(stale.c_str()), 1);
    EXPECT_EQ(Warnings.size(), 1u);
    EXPECT_NE(Warnings.empty() ? std::string::npos : Warnings[0].find(LockFile(stale)),
              std::string::npos);

    // A workbook that a running office on another profile holds is not touched.
    const std::string held = *dir / "held.fods";
    WriteWorkbook(held, {"NSE"});
    const LockHolder holder(held);
    ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(LockFile(held)); }));
    Warnings.clear();
    EXPECT_EQ(corvane_connect(held.c_str()), CORVANE_E_LOAD);
    EXPECT_TRUE(std::filesystem::exists(LockFile(held)));
    EXPECT_TRUE(Warnings.empty());
}

}  // namespace
}  // namespace corvane::test
