#include "office/watchdog.hpp"

#include <utility>

namespace corvane::office {

Watchdog::~Watchdog() {
    {
        platform::Lock lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

std::uint64_t Watchdog::Arm(Clock::time_point deadline, std::function<void()> onExpiry) {
    platform::Lock lock(mutex_);
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
    const std::uint64_t ticket = nextTicket_++;
    pending_.emplace(ticket, Entry{deadline, std::move(onExpiry)});
    changed_.notify_all();
    return ticket;
}

bool Watchdog::Disarm(std::uint64_t ticket) {
    platform::Lock lock(mutex_);
    if (pending_.erase(ticket) > 0) {
        changed_.notify_all();
        return false;
    }
    // Expired: wait until its action has finished, so that the caller sees its effect.
    lock.Wait(changed_, [&]() REQUIRES(mutex_) { return running_ != ticket; });
    return true;
}

void Watchdog::Run() {
    platform::Lock lock(mutex_);
    while (!stopping_) {
        auto next = pending_.end();
        for (auto it = pending_.begin(); it != pending_.end(); ++it) {
            if (next == pending_.end() || it->second.deadline < next->second.deadline) next = it;
        }
        if (next == pending_.end()) {
            lock.Wait(changed_);
            continue;
        }
        // A copy: the entry may be disarmed, and erased, while the thread waits.
        const Clock::time_point deadline = next->second.deadline;
        if (Clock::now() < deadline) {
            lock.WaitUntil(changed_, deadline);
            continue;
        }
        const std::uint64_t ticket = next->first;
        std::function<void()> action = std::move(next->second.onExpiry);
        pending_.erase(next);
        running_ = ticket;
        lock.Unlock();
        try {
            if (action) action();
        } catch (...) {
            // The call it guards fails on its own once the office is cut off.
        }
        lock.Relock();
        running_ = 0;
        changed_.notify_all();
    }
}

}  // namespace corvane::office
