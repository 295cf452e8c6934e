#include "host/live_handles.hpp"

#include <thread>

namespace corvane::host {
namespace {

// How often Remove looks whether the last call on a handle has ended: such calls only
// read the table's state or are released by its close, so the wait is short.
constexpr auto kUsePoll = std::chrono::microseconds(200);

std::uintptr_t TokenValue(const corvane_live* token) {
    return reinterpret_cast<std::uintptr_t>(token);
}

}  // namespace

LiveHandles::~LiveHandles() {
    for (auto& entry : open_) static_cast<void>(entry.second.release());
}

corvane_live* LiveHandles::Add(std::unique_ptr<LiveHandle> handle) {
    const std::lock_guard<std::mutex> lock(mu_);
    const std::uintptr_t token = next_++;
    open_.emplace(token, std::move(handle));
    return reinterpret_cast<corvane_live*>(token);
}

LiveHandles::Use LiveHandles::Find(const corvane_live* token) {
    const std::lock_guard<std::mutex> lock(mu_);
    const auto found = open_.find(TokenValue(token));
    if (found == open_.end()) return Use();
    found->second->users.fetch_add(1, std::memory_order_relaxed);
    return Use(found->second.get());
}

std::unique_ptr<LiveHandle> LiveHandles::Remove(const corvane_live* token) {
    std::unique_ptr<LiveHandle> removed;
    {
        const std::lock_guard<std::mutex> lock(mu_);
        const auto found = open_.find(TokenValue(token));
        if (found == open_.end()) return nullptr;
        removed = std::move(found->second);
        open_.erase(found);
    }
    // No Find reaches it any more; the calls that found it before end on their own.
    while (removed->users.load(std::memory_order_acquire) != 0)
        std::this_thread::sleep_for(kUsePoll);
    return removed;
}

}  // namespace corvane::host
