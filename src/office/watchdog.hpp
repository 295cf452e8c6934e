// Deadlines for calls into the office. The remote protocol has no time-out of its own:
// a call to a stopped or busy office blocks forever. The watchdog runs an action (in
// practice: disposing the remote bridge, which makes the blocked call throw at once)
// when a deadline passes before the call it guards has returned.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "platform/thread_safety.hpp"

namespace corvane::office {

class Watchdog {
  public:
    using Clock = std::chrono::steady_clock;

    Watchdog() = default;
    // Stops the thread; pending deadlines are dropped without running their action.
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

    // Runs `onExpiry` on the watchdog's thread once `deadline` has passed, unless
    // Disarm(ticket) comes first. The thread is started on first use, and one thread
    // serves every deadline.
    std::uint64_t Arm(Clock::time_point deadline, std::function<void()> onExpiry);
    // Cancels the deadline. Returns true when its action ran (it has finished by the
    // time Disarm returns), false when it was cancelled in time.
    bool Disarm(std::uint64_t ticket);

  private:
    void Run();

    struct Entry {
        Clock::time_point deadline;
        std::function<void()> onExpiry;
    };
    platform::Mutex mutex_;
    std::condition_variable changed_;
    std::map<std::uint64_t, Entry> pending_ GUARDED_BY(mutex_);
    std::uint64_t nextTicket_ GUARDED_BY(mutex_) = 1;
    std::uint64_t running_ GUARDED_BY(mutex_) = 0;  // the ticket whose action runs now, or 0
    bool stopping_ GUARDED_BY(mutex_) = false;
    // Started under the lock by the first Arm; joined by the destructor, when nothing
    // arms any more.
    std::thread thread_;
};

}  // namespace corvane::office
