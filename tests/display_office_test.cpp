// The default command line against the office with a display: the workbook the library
// loads must open in a window the user sees. The test runs its own X server.
#include <corvane/corvane.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <com/sun/star/awt/XWindow2.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <corvane/corvane.hpp>
#include <corvane/live_table.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "support/library_init.hpp"
#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

extern char** environ;

namespace corvane::test {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// An X server of the test's own on a free display, stopped with the object.
class XServer {
  public:
    XServer() {
        for (display_ = 90; display_ < 200; ++display_) {
            if (!Exists("/tmp/.X" + std::to_string(display_) + "-lock") && !Exists(Socket())) break;
        }
        std::vector<std::string> args = {
            "Xvfb", ":" + std::to_string(display_), "-screen", "0", "1280x1024x24", "-nolisten",
            "tcp"};
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (::posix_spawnp(&pid_, "Xvfb", nullptr, nullptr, argv.data(), environ) != 0) pid_ = -1;
        for (int i = 0; i < 200 && pid_ > 0 && !Exists(Socket()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~XServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
    bool Running() const { return pid_ > 0 && Exists(Socket()); }
    std::string Name() const { return ":" + std::to_string(display_); }

  private:
    std::string Socket() const { return "/tmp/.X11-unix/X" + std::to_string(display_); }
    int display_ = 0;
    pid_t pid_ = -1;
};

// Sets an environment variable for a scope, and puts the old value back at its end.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string Output(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        out.append(buffer, n);
    return out;
}

TEST(DisplayOffice, DefaultCommandLineShowsTheWorkbookInAWindow) {
    XServer display;
    ASSERT_TRUE(display.Running()) << "Xvfb did not start";
    TempDir home;
    SeedProfile(home.Path() + "/.config/libreoffice/4");  // the profile under $HOME
    // Until the office has ended: later tests must not write into the removed $HOME.
    const ScopedEnv onDisplay("DISPLAY", display.Name());
    const ScopedEnv inHome("HOME", home.Path());
    OfficeSession session;
    TempDir dir;
    const std::string book = dir / "visible watch.fods";
    WriteWorkbook(book, {"NSE", "BSE"});

    const std::vector<CString> config = {OfficeExecutable().c_str(), "", book.c_str()};
    const short sheets = InitUntilConnected(config);
    // The office the library started keeps its profile under $HOME, out of the
    // session's sight: the session ends it by its process group.
    session.Adopt(corvane_office_pid());
    ASSERT_EQ(sheets, 2);

    const Reference<css::frame::XModel> model(session.Client().Document(FileUrl(book)),
                                              UNO_QUERY_THROW);
    const Reference<css::awt::XWindow2> window(
        model->getCurrentController()->getFrame()->getContainerWindow(), UNO_QUERY_THROW);
    EXPECT_TRUE(window->isVisible());
    // And the X server really shows a window with the workbook's name.
    const std::string tree = Output("xwininfo -display " + display.Name() + " -root -tree");
    bool viewable = false;
    std::istringstream lines(tree);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t id = line.find("0x");
        if (line.find("visible watch.fods") == std::string::npos || id == std::string::npos)
            continue;
        const std::string window = line.substr(id, line.find(' ', id) - id);
        viewable = viewable || Output("xwininfo -display " + display.Name() + " -id " + window)
                                       .find("Map State: IsViewable") != std::string::npos;
    }
    EXPECT_TRUE(viewable) << tree;
}

char ProcessState(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const auto end = line.rfind(')');
    return end == std::string::npos || end + 2 >= line.size() ? '?' : line[end + 2];
}

// An office on a display may be showing a person a dialog, or recalculating: a live table
// that owns it waits for it past its call deadline instead of killing it.
TEST(DisplayOffice, LiveTableWaitsForItsStalledVisibleOffice) {
    XServer display;
    ASSERT_TRUE(display.Running()) << "Xvfb did not start";
    OfficeSession session;
    const ScopedEnv onDisplay("DISPLAY", display.Name());
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    LiveTableOptions options;
    options.workbook = book;
    options.sheet = "NSE";
    options.ownOffice = true;
    options.showOffice = true;
    options.profileDir = session.ProfileDirectory();
    options.callTimeoutMs = 1000;
    LiveTable table(options);
    const auto put = [&table](int tick) {
        const std::string price = std::to_string(100 + tick);
        const char* fields[CORVANE_COLUMN_COUNT] = {};
        fields[0] = "NSE";
        fields[1] = "Reliance";
        fields[2] = "2885";
        fields[11] = price.c_str();
        ASSERT_EQ(table.Put(fields), CORVANE_OK);
    };
    put(1);
    table.Flush(120000);
    const int office = table.Stats().office_pid;
    ASSERT_GT(office, 0);
    const pid_t group = ::getpgid(office);
    session.Adopt(group);

    ASSERT_EQ(::kill(-group, SIGSTOP), 0);
    put(2);
    std::this_thread::sleep_for(std::chrono::seconds(6));  // several deadlines
    EXPECT_EQ(ProcessState(office), 'T') << "the stalled office was ended";
    ASSERT_EQ(::kill(-group, SIGCONT), 0);

    put(3);
    table.Flush(120000);
    const corvane_live_stats stats = table.Stats();
    EXPECT_EQ(stats.state, CORVANE_LIVE_LIVE) << stats.last_message;
    EXPECT_EQ(stats.restarts, 0u);
    EXPECT_GE(stats.reconnects, 1u);
    EXPECT_EQ(stats.office_pid, office);
    // Closed with no other document in it, the office ends.
    table.Close(120000);
    for (int i = 0; i < 300 && ProcessState(office) != 'Z' && ProcessState(office) != '?'; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_NE(ProcessState(office), 'S');
}

}  // namespace
}  // namespace corvane::test
