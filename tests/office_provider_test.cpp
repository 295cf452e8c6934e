// The office provider against stand-in programs: when it starts an office, how long it
// waits, and what it ends and removes. No office is involved: a program that sleeps
// stands in for one that is still starting.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "office/office_provider.hpp"
#include "platform/process.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

using office::OfficeLaunch;
using office::OfficeProvider;
using office::OfficeSource;
using office::ProviderOptions;
using Clock = std::chrono::steady_clock;

ProviderOptions Source(OfficeSource source) {
    ProviderOptions options;
    options.source = source;
    return options;
}

// An "office" that runs until it is ended and never accepts.
OfficeLaunch Sleeper() {
    OfficeLaunch launch;
    launch.program = "/bin/sleep";
    launch.commandLine = "sleep 600";
    return launch;
}

TEST(OfficeProvider, StartsOneOfficeWhileNobodyAnswersWaitsForItAndKillsItOnRelease) {
    OfficeProvider offices(Source(OfficeSource::StartIfNone));
    const OfficeLaunch launch = Sleeper();
    int attempts = 0;
    const Error result = offices.Acquire(
        Clock::now() + std::chrono::seconds(1),
        [&] {
            ++attempts;
            return Error(ErrorCode::Connect, "nobody answers");
        },
        &launch);
    EXPECT_EQ(result, ErrorCode::Connect);
    EXPECT_GT(attempts, 2);  // tried again while the office it started ran
    const pid_t started = offices.Pid();
    ASSERT_GT(started, 0);
    // A second wait takes up the office that runs: nothing more is started.
    EXPECT_EQ(offices.StartUnlessRunning(launch), ErrorCode::Ok);
    EXPECT_EQ(offices.Pid(), started);

    EXPECT_FALSE(offices.Release(std::chrono::milliseconds(0)));  // killed, not ended
    EXPECT_EQ(offices.Pid(), 0);
    EXPECT_FALSE(platform::ProcessRunning(started));
}

TEST(OfficeProvider, OfficeThatAnswersOrCannotBeStartedEndsTheWaitAtOnce) {
    OfficeProvider offices(Source(OfficeSource::StartIfNone));
    OfficeLaunch missing;
    missing.program = "/nonexistent/soffice";
    missing.commandLine = "soffice";
    const Clock::time_point later = Clock::now() + std::chrono::hours(1);
    const auto nobody = [] { return Error(ErrorCode::Connect, "nobody answers"); };
    EXPECT_EQ(offices.Acquire(later, nobody, &missing), ErrorCode::Office);
    EXPECT_EQ(offices.Pid(), 0);
    EXPECT_EQ(offices.Acquire(
                  later, [] { return Error(); }, &missing),
              ErrorCode::Ok);
    // Anything but "nobody answers yet" is the caller's to handle.
    EXPECT_EQ(offices.Acquire(
                  later, [] { return Error(ErrorCode::Load, "no workbook"); }, &missing),
              ErrorCode::Load);
    // Attached: one attempt, nothing started.
    OfficeProvider attached(Source(OfficeSource::Attach));
    int attempts = 0;
    const OfficeLaunch launch = Sleeper();
    EXPECT_EQ(attached.Acquire(
                  later,
                  [&] {
                      ++attempts;
                      return Error(ErrorCode::Connect, "nobody answers");
                  },
                  &launch),
              ErrorCode::Connect);
    EXPECT_EQ(attempts, 1);
    EXPECT_EQ(attached.Pid(), 0);
}

TEST(OfficeProvider, InterruptEndsTheWaitRunningNowAndNotTheNext) {
    OfficeProvider offices(Source(OfficeSource::StartIfNone));
    const OfficeLaunch launch = Sleeper();
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        offices.Interrupt();
    });
    // Without the interrupt this would wait for an hour.
    EXPECT_EQ(offices.Acquire(
                  Clock::now() + std::chrono::hours(1),
                  [] { return Error(ErrorCode::Connect, "nobody answers"); }, &launch),
              ErrorCode::Connect);
    stopper.join();
    int attempts = 0;
    offices.Acquire(
        Clock::now() + std::chrono::milliseconds(600),
        [&] {
            ++attempts;
            return Error(ErrorCode::Connect, "nobody answers");
        },
        &launch);
    EXPECT_GT(attempts, 1);
    offices.KillNow();
    EXPECT_EQ(offices.Pid(), 0);
}

TEST(OfficeProvider, ThrowAwayProfileIsSeededForTheOfficeAndRemovedWithIt) {
    TempDir tmp;
    const char* saved = std::getenv("TMPDIR");
    const std::string before = saved != nullptr ? saved : "";
    ::setenv("TMPDIR", tmp.Path().c_str(), 1);
    {
        OfficeProvider offices(Source(OfficeSource::StartIfNone));
        OfficeLaunch launch;
        launch.program = "/bin/sleep";  // refuses the office's arguments and ends
        ASSERT_EQ(offices.StartUnlessRunning(launch), ErrorCode::Ok);
        const std::string profile = offices.Profile();
        ASSERT_FALSE(profile.empty());
        EXPECT_EQ(std::filesystem::path(profile).parent_path(), std::filesystem::path(tmp.Path()));
        EXPECT_FALSE(std::filesystem::is_empty(profile));  // the seed of its settings
        offices.Release(std::chrono::seconds(5));
        EXPECT_FALSE(std::filesystem::exists(profile));
    }
    if (saved != nullptr)
        ::setenv("TMPDIR", before.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
}

}  // namespace
}  // namespace corvane::test
