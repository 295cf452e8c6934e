// A connection that the office closes must not kill the host with SIGPIPE.
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <thread>

#include "platform/sigpipe_guard.hpp"

namespace corvane::platform {
namespace {

// Writes into a pipe whose reading end is closed; returns the write's errno.
int WriteIntoClosedPipe() {
    int fds[2];
    if (::pipe(fds) != 0) return -1;
    ::close(fds[0]);
    const ssize_t written = ::write(fds[1], "x", 1);
    const int error = written < 0 ? errno : 0;
    ::close(fds[1]);
    return error;
}

bool Blocked() {
    sigset_t mask;
    ::pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    return sigismember(&mask, SIGPIPE) == 1;
}

bool Pending() {
    sigset_t pending;
    ::sigpending(&pending);
    return sigismember(&pending, SIGPIPE) == 1;
}

TEST(SigpipeGuard, TurnsABrokenPipeIntoAnErrorAndLeavesNothingBehind) {
    ASSERT_EQ(std::signal(SIGPIPE, SIG_DFL), SIG_DFL);  // the default would end the test
    ASSERT_FALSE(Blocked());
    {
        const SigpipeGuard guard;
        EXPECT_EQ(WriteIntoClosedPipe(), EPIPE);
        EXPECT_EQ(WriteIntoClosedPipe(), EPIPE);
    }
    // Reaching this line means no SIGPIPE was delivered when the mask came back.
    EXPECT_FALSE(Blocked());
    EXPECT_FALSE(Pending());
}

TEST(SigpipeGuard, ThreadsStartedUnderItKeepSigpipeBlocked) {
    int error = 0;
    std::thread later;
    {
        const SigpipeGuard guard;
        later = std::thread([&error] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            error = WriteIntoClosedPipe();
        });
    }
    later.join();  // the bridge's threads outlive the call that started them
    EXPECT_EQ(error, EPIPE);
}

TEST(SigpipeGuard, LeavesASigpipeThatWasAlreadyPendingAndANestedGuardIntact) {
    sigset_t sigpipe;
    sigemptyset(&sigpipe);
    sigaddset(&sigpipe, SIGPIPE);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &sigpipe, nullptr), 0);
    ::pthread_kill(::pthread_self(), SIGPIPE);
    {
        const SigpipeGuard outer;
        { const SigpipeGuard inner; }
        EXPECT_TRUE(Blocked());
    }
    EXPECT_TRUE(Blocked());  // the host's own mask is restored as it was
    EXPECT_TRUE(Pending());  // and its own signal is still there for it
    const timespec now{0, 0};
    EXPECT_EQ(::sigtimedwait(&sigpipe, nullptr, &now), SIGPIPE);
    ASSERT_EQ(::pthread_sigmask(SIG_UNBLOCK, &sigpipe, nullptr), 0);
}

}  // namespace
}  // namespace corvane::platform
