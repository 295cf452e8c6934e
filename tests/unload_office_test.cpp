// Unloading the library and ending the host process while a connection is alive.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <com/sun/star/util/XCloseable.hpp>
#include <corvane/corvane.hpp>

#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

extern char** environ;

namespace corvane::test {
namespace {

using InitFunc = short (*)(std::vector<CString>);
using IsRunningFunc = int (*)();

bool Loaded() {
    void* handle = ::dlopen(CORVANE_LIBRARY, RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr) ::dlclose(handle);
    return handle != nullptr;
}

// Runs the host program; its wait status.
int RunHost(const std::vector<std::string>& arguments) {
    std::vector<std::string> args = {CORVANE_EXIT_HOST};
    args.insert(args.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;  // the failing runs' diagnostics are expected
    ::posix_spawn_file_actions_init(&quiet);
    ::posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    ::posix_spawn_file_actions_destroy(&quiet);
    if (spawned != 0) return -1;
    int status = -1;
    ::waitpid(pid, &status, 0);
    return status;
}

void CloseAllDocuments(OfficeClient& client) {
    for (const auto& document : client.Documents())
        css::uno::Reference<css::util::XCloseable>(document, css::uno::UNO_QUERY_THROW)
            ->close(true);
}

TEST(Unload, WithoutAnyCallReleasesNothingAndUnloadsCleanly) {
    for (int round = 0; round < 3; ++round) {
        void* library = ::dlopen(CORVANE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << ::dlerror();
        ASSERT_EQ(::dlclose(library), 0);
        EXPECT_FALSE(Loaded());
    }
}

TEST(Unload, AfterInitLeavesTheOfficeRunningWithTheWorkbookOpen) {
    OfficeSession session;
    session.Start();
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE", "BSE"});

    void* library = ::dlopen(CORVANE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    const auto init = reinterpret_cast<InitFunc>(::dlsym(library, "CorvaneInitFunc"));
    const auto isRunning = reinterpret_cast<IsRunningFunc>(::dlsym(library, "CorvaneIsRunning"));
    ASSERT_TRUE(init != nullptr && isRunning != nullptr);
    // The office is already there; the configured program only has to start.
    EXPECT_EQ(init({"/bin/true", "true", book.c_str()}), 2);
    EXPECT_EQ(isRunning(), 1);
    ASSERT_EQ(::dlclose(library), 0);
    EXPECT_FALSE(Loaded());

    const auto document = session.Client().Document(FileUrl(book));
    ASSERT_TRUE(document.is());
    EXPECT_EQ(document->getSheets()->getElementNames().getLength(), 2);
}

TEST(HostExit, NeverCrashesWithALiveConnectionOrWithout) {
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    {
        OfficeSession session;  // holds the pipe: nothing answers on it
        for (int run = 0; run < 20; ++run) {
            const int status = RunHost({"/bin/true", "true", book});
            ASSERT_TRUE(WIFEXITED(status)) << "run " << run << " status " << status;
            EXPECT_EQ(WEXITSTATUS(status), 3);
        }
    }
    OfficeSession session;
    OfficeClient& client = session.Start();
    for (int run = 0; run < 300; ++run) {
        const int status = RunHost({"/bin/true", "true", book});
        ASSERT_TRUE(WIFEXITED(status)) << "run " << run << " status " << status;
        ASSERT_EQ(WEXITSTATUS(status), 0) << "run " << run;
        if (run % 20 == 19) CloseAllDocuments(client);
    }
}

}  // namespace
}  // namespace corvane::test
