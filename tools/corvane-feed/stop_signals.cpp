#include "stop_signals.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <utility>

namespace corvane::feed {
namespace {

sigset_t StopSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}

}  // namespace

StopSignals::StopSignals() {
    const sigset_t set = StopSet();
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A reader of standard error that goes away must not end the program before it has
    // shut its office down: writes then just fail.
    ::signal(SIGPIPE, SIG_IGN);
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) throw std::runtime_error("pipe2 failed");
    watcher_ = std::thread([this] { Watch(); });
}

StopSignals::~StopSignals() {
    closing_ = true;
    watcher_.join();
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void StopSignals::Watch() {
    const sigset_t set = StopSet();
    // Polled, so that the destructor can end the thread without a signal of its own.
    const timespec interval{0, 100 * 1000 * 1000};
    while (!closing_) {
        const int signal = ::sigtimedwait(&set, nullptr, &interval);
        if (signal < 0) continue;
        std::function<void()> action;
        if (!requested_.exchange(true)) {
            const char byte = 1;
            [[maybe_unused]] const ssize_t ignored = ::write(wake_[1], &byte, 1);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                action = firstSignal_;
            }
            if (action) action();
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            action = secondSignal_;
        }
        std::fputs("corvane-feed: stopped at once\n", stderr);
        if (action) action();
        std::_Exit(130);
    }
}

bool StopSignals::Sleep(std::chrono::milliseconds duration) const {
    pollfd wake{wake_[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (!Requested()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return true;
        ::poll(&wake, 1, static_cast<int>(left.count()));
    }
    return false;
}

void StopSignals::OnFirstSignal(std::function<void()> action) {
    std::lock_guard<std::mutex> lock(mutex_);
    firstSignal_ = std::move(action);
}

void StopSignals::OnSecondSignal(std::function<void()> action) {
    std::lock_guard<std::mutex> lock(mutex_);
    secondSignal_ = std::move(action);
}

}  // namespace corvane::feed
