// Starting the office, with a stand-in program that records how it was started: the
// command line as the program sees it, the descriptors it got, whose child it is, and
// the warnings for a missing configuration or workbook.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <com/sun/star/lang/DisposedException.hpp>
#include <corvane/corvane.hpp>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <thread>

#include "fakes/fake_office.hpp"
#include "host/session_instance.hpp"
#include "office/launch.hpp"
#include "office/office_start.hpp"
#include "platform/command_line.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

using Args = std::vector<std::string>;

struct Started {
    Args args;
    std::vector<int> fds;
    pid_t parent = 0;
    pid_t session = 0;
};

void CollectWarning(const char* text, void* user) {
    static_cast<std::vector<std::string>*>(user)->push_back(text);
}

class Launch : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLink();
        ::setenv("CORVANE_FAKE_OFFICE_RECORD", record.c_str(), 1);
        std::ofstream(book) << "workbook";
        // A local runtime without a service factory: the connection that follows each
        // launch fails at once and quietly, and no real office is ever asked.
        runtime->serviceManager.clear();
        host::TheSession().AdoptRuntime(runtime.get());
        CorvaneSetWarningHandler(&CollectWarning, &warnings);
    }
    void TearDown() override {
        ResetLink();
        ::unsetenv("CORVANE_FAKE_OFFICE_RECORD");
    }

    short Init(const std::string& officePath, const std::string& commandLine,
               const std::string& workbook) {
        ::testing::internal::CaptureStdout();
        const short result =
            CorvaneInitFunc({officePath.c_str(), commandLine.c_str(), workbook.c_str()});
        printed += ::testing::internal::GetCapturedStdout();
        return result;
    }

    // What the stand-in recorded, once it has; nothing if it did not run within `wait`.
    std::optional<Started> WaitForStart(std::chrono::milliseconds wait = std::chrono::seconds(20)) {
        const auto deadline = std::chrono::steady_clock::now() + wait;
        while (::access(record.c_str(), F_OK) != 0) {
            if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        Started started;
        std::ifstream in(record);
        std::string key;
        while (in >> key) {
            in.get();
            std::string value;
            std::getline(in, value);
            if (key == "arg") started.args.push_back(value);
            if (key == "fd") started.fds.push_back(std::atoi(value.c_str()));
            if (key == "ppid") started.parent = std::atoi(value.c_str());
            if (key == "sid") started.session = std::atoi(value.c_str());
        }
        ::unlink(record.c_str());
        return started;
    }
    bool NothingStarted() { return !WaitForStart(std::chrono::milliseconds(300)).has_value(); }

    TempDir dir;
    const std::string record = dir / "started";
    const std::string book = dir / "Rududariz.azi";
    const std::string program = CORVANE_FAKE_OFFICE;
    rtl::Reference<FakeContext> runtime = new FakeContext(std::make_shared<CallLog>(), "local");
    std::vector<std::string> warnings;
    std::string printed;
};

TEST_F(Launch, DefaultCommandLineReachesTheProgramAsThreeArguments) {
    EXPECT_EQ(Init(program, "", book), -1);
    const auto started = WaitForStart();
    ASSERT_TRUE(started);
    EXPECT_EQ(started->args, (Args{program, "-invisible",
                                   "-accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager"}));
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(printed, "");
}

TEST_F(Launch, DefaultCommandLineKeepsAQuoteInTheOfficePath) {
    const std::string quoted = dir / "my \"office\" \"";
    ASSERT_EQ(::symlink(program.c_str(), quoted.c_str()), 0);
    EXPECT_EQ(Init(quoted, "", book), -1);
    const auto started = WaitForStart();
    ASSERT_TRUE(started);
    EXPECT_EQ(started->args, (Args{quoted, "-invisible",
                                   "-accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager"}));
}

TEST_F(Launch, HostCommandLineIsSplitByWindowsRulesWithoutAShell) {
    Init(program,
         R"("C:\Program Files\Office\soffice.exe" "b c;d" $HOME `id` a\\\"q 'e f' *.ods )"
         R"(C:\dir\file "tail\\" -accept=pipe,name=x;urp;)",
         book);
    const auto started = WaitForStart();
    ASSERT_TRUE(started);
    EXPECT_EQ(started->args, (Args{R"(C:\Program Files\Office\soffice.exe)", "b c;d", "$HOME",
                                   "`id`", R"(a\"q)", "'e", "f'", "*.ods", R"(C:\dir\file)",
                                   R"(tail\)", "-accept=pipe,name=x;urp;"}));
}

TEST_F(Launch, ProgramIsDetachedAndGetsOnlyTheStandardDescriptors) {
    const int inheritable = ::open("/dev/null", O_RDONLY);  // no O_CLOEXEC on purpose
    ASSERT_GE(inheritable, 3);
    Init(program, "", book);
    const auto started = WaitForStart();
    ::close(inheritable);
    ASSERT_TRUE(started);
    for (int fd : started->fds) EXPECT_LT(fd, 3) << "descriptor " << fd << " leaked";
    EXPECT_NE(started->parent, ::getpid());
    EXPECT_NE(started->session, ::getsid(0));
    // No child of this process is left, not even a zombie.
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(Launch, MissingConfigurationOrWorkbookWarnsAndStartsNothing) {
    EXPECT_EQ(Init("", "", dir / "missing.azi"), -1);
    EXPECT_EQ(warnings, (Args{"OpenOffice Configuration Missing!"}));
    EXPECT_EQ(Init("", "\"x\" -invisible", book), -1);
    EXPECT_EQ(warnings.size(), 2u);
    EXPECT_EQ(warnings.back(), "OpenOffice Configuration Missing!");
    EXPECT_TRUE(NothingStarted());

    warnings.clear();
    EXPECT_EQ(Init(program, "", dir / "missing.azi"), -1);
    EXPECT_EQ(warnings, (Args{"OpenOffice Calc File(\"Rududariz.azi\") missing"}));
    EXPECT_TRUE(NothingStarted());

    warnings.clear();
    EXPECT_EQ(Init(program, "", dir.Path()), -1);  // a directory counts as present
    EXPECT_TRUE(warnings.empty());
    EXPECT_TRUE(WaitForStart());
    EXPECT_EQ(printed, "");
}

TEST_F(Launch, FewerThanThreeStringsStoreNothingAndStartNothing) {
    host::ConfigureOffice(host::TheSession(), "kept", "", "");
    EXPECT_EQ(CorvaneInitFunc({}), -1);
    EXPECT_EQ(CorvaneInitFunc({program.c_str(), ""}), -1);
    EXPECT_EQ(host::TheSession().Config().officePath, "kept");
    EXPECT_TRUE(NothingStarted());
    EXPECT_TRUE(warnings.empty());
}

TEST_F(Launch, PathNamingNoExecutableStartsNothingAndShowsNothing) {
    const std::string plainFile = dir / "not-a-program";
    std::ofstream(plainFile) << "#!/bin/sh\n";
    for (const std::string& path : {dir / "no-such-office", plainFile, dir.Path()}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Init(path, "", book), -1);
        EXPECT_TRUE(NothingStarted());
    }
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(printed, "");
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
}

TEST_F(Launch, OfficeThatStillAnswersIsKeptAndOneThatDoesNotIsReplaced) {
    FakeOffice office;
    office::Session& link = host::TheSession();
    host::ConfigureOffice(link, program, "", book);
    link.UseContext(office.officeContext.get());
    link.AdoptWorkbook(static_cast<css::lang::XComponent*>(office.document.get()), {}, "");
    office::LaunchOffice(link, host::TheOffices(), office::SessionLaunch(link, false));
    EXPECT_TRUE(NothingStarted());
    EXPECT_EQ(link.Context().get(), office.officeContext.get());

    office.document->error =
        UnoError<css::lang::DisposedException>("Binary URP bridge disposed during call");
    office::LaunchOffice(link, host::TheOffices(), office::SessionLaunch(link, false));
    EXPECT_TRUE(WaitForStart());
    EXPECT_FALSE(link.Context().is());
    EXPECT_EQ(link.Workbook().get(), static_cast<css::lang::XComponent*>(office.document.get()));
}

TEST(SplitCommandLine, FollowsTheMicrosoftRuntimeRules) {
    using platform::SplitCommandLine;
    const std::pair<const char*, Args> cases[] = {
        {"", {}},
        {" \t ", {}},
        {R"("C:\Program Files\x.exe" -a	b)", {R"(C:\Program Files\x.exe)", "-a", "b"}},
        {R"(p a\\\\"b c" d)", {"p", R"(a\\b c)", "d"}},  // 2n backslashes: n, quote groups
        {R"(p a\\\"b)", {"p", R"(a\"b)"}},               // 2n+1: n and a literal quote
        {R"(p a\\b\ c\)", {"p", R"(a\\b\)", R"(c\)"}},   // no quote: all literal
        {R"(p "a""b" "")", {"p", R"(a"b)", ""}},         // doubled quote inside quotes
        {R"(p "open ended)", {"p", "open ended"}},
        {R"("a\"b c)", {R"(a\b)", "c"}},  // the program name knows no backslash rules
        {R"(pro"gram na"me x)", {"program name", "x"}},
        {R"("a""b""" c)", {R"(a"b")", "c"}},  // doubled quotes in a quoted program name
    };
    for (const auto& [line, expected] : cases) EXPECT_EQ(SplitCommandLine(line), expected) << line;
}

// An office started on a profile of its own gets back exactly its program and arguments,
// whatever the program's path or the profile folder hold.
TEST(ProfileOfficeCommandLine, SplitsBackIntoTheProgramAndItsArguments) {
    const std::string program = R"(/opt/my "office"/soffice)";
    for (const bool invisible : {false, true}) {
        const Args args = office::ProfileOfficeArguments("/tmp/a b/profile", invisible);
        Args expected{program};
        expected.insert(expected.end(), args.begin(), args.end());
        EXPECT_EQ(
            platform::SplitCommandLine(
                office::ProfileOfficeCommandLine(program, "/tmp/a b/profile", invisible).c_str()),
            expected);
        EXPECT_EQ(args.at(3), "-env:UserInstallation=file:///tmp/a%20b/profile");
        EXPECT_EQ(args.at(4), "--accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager");
    }
}

}  // namespace
}  // namespace corvane::test
