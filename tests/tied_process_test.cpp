// Programs tied to the process that started them: their whole process group ends with
// the host, however the host ends, and not before unless the host cuts the tie.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "platform/process.hpp"

namespace corvane::platform {
namespace {

// Two sleepers in the started program's group: the shell's child and the shell itself.
constexpr char kProgram[] = "/bin/sh";
constexpr char kCommand[] = "/bin/sh -c \"sleep 1000 & exec sleep 1000\"";

// Whether any process of the group `group` runs, waiting up to `limit` for none to.
bool GroupRunsAfter(pid_t group, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (GroupMemberNamed(group, "sleep") == 0) return false;
        if (std::chrono::steady_clock::now() >= deadline) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

TEST(TiedProcess, GroupEndsWhenTheTieIsCutAndRunsOnWhenReleased) {
    Lifeline cut;
    const pid_t first = StartTiedProcess(kProgram, kCommand, cut);
    ASSERT_GT(first, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_NE(GroupMemberNamed(first, "sleep"), 0);
    cut.Cut();
    EXPECT_FALSE(GroupRunsAfter(first, std::chrono::seconds(5)));

    Lifeline released;
    const pid_t second = StartTiedProcess(kProgram, kCommand, released);
    ASSERT_GT(second, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    released.Release();
    EXPECT_TRUE(GroupRunsAfter(second, std::chrono::seconds(1)));
    ::kill(-second, SIGKILL);
}

// The host is SIGKILLed while a child it forked without exec still holds every
// descriptor the host had: the group ends all the same.
TEST(TiedProcess, GroupEndsWithAKilledHostWhoseForkedChildLivesOn) {
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t host = ::fork();
    ASSERT_GE(host, 0);
    if (host == 0) {
        Lifeline tie;
        const pid_t group = StartTiedProcess(kProgram, kCommand, tie);
        const pid_t child = ::fork();
        if (child == 0) {
            ::pause();
            ::_exit(0);
        }
        const pid_t both[2] = {group, child};
        if (::write(report[1], both, sizeof both) != sizeof both) ::_exit(1);
        ::kill(::getpid(), SIGKILL);
    }
    ::close(report[1]);
    pid_t both[2] = {0, 0};
    ASSERT_EQ(::read(report[0], both, sizeof both), static_cast<ssize_t>(sizeof both));
    ::close(report[0]);
    ::waitpid(host, nullptr, 0);
    EXPECT_FALSE(GroupRunsAfter(both[0], std::chrono::seconds(10)));
    ::kill(both[1], SIGKILL);
}

}  // namespace
}  // namespace corvane::platform
