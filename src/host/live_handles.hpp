// The live tables the C API has handed out. A caller knows each table by a token that is
// never given out again, not by an address: a call with the handle of a table that was
// closed (or is being closed on another thread) finds nothing and is answered as such,
// instead of reaching freed memory or, once memory is reused, another table.
#pragma once

#include <corvane/corvane.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "live/live_table.hpp"
#include "live/office_sink.hpp"

namespace corvane::host {

// One open table and what the C API keeps beside it.
struct LiveHandle {
    live::OfficeSink* sink = nullptr;  // owned by the table
    std::unique_ptr<live::LiveTable> table;

    // The rates of the statistics: counts at the start of the current measurement.
    std::mutex rateMu;
    std::chrono::steady_clock::time_point since;
    unsigned long long ticksSince = 0, rowsSince = 0;
    double ticksPerSecond = 0, rowsPerSecond = 0;

    // Calls that are using the handle now (see LiveHandles::Use).
    std::atomic<int> users{0};
};

class LiveHandles {
  public:
    // A call's hold on a handle: while it lasts, the handle is not destroyed.
    class Use {
      public:
        Use() = default;
        explicit Use(LiveHandle* handle) : handle_(handle) {}
        ~Use() {
            if (handle_ != nullptr) handle_->users.fetch_sub(1, std::memory_order_release);
        }
        Use(const Use&) = delete;
        Use& operator=(const Use&) = delete;
        Use(Use&& other) noexcept : handle_(other.handle_) { other.handle_ = nullptr; }
        Use& operator=(Use&&) = delete;

        explicit operator bool() const { return handle_ != nullptr; }
        LiveHandle* operator->() const { return handle_; }
        LiveHandle& operator*() const { return *handle_; }

      private:
        LiveHandle* handle_ = nullptr;
    };

    LiveHandles() = default;
    // Tables still open when the library is unloaded are left to the process's end:
    // ending them then would call into runtime libraries torn down before this one.
    ~LiveHandles();
    LiveHandles(const LiveHandles&) = delete;
    LiveHandles& operator=(const LiveHandles&) = delete;

    // Takes the handle in and returns the token its caller knows it by.
    corvane_live* Add(std::unique_ptr<LiveHandle> handle);
    // The open table of `token`; empty for a token never given out or taken out.
    Use Find(const corvane_live* token);
    // Takes the table of `token` out, so that later Finds give nothing, and returns it
    // once every call still using it has ended; null when it is not (or no longer) here.
    std::unique_ptr<LiveHandle> Remove(const corvane_live* token);

  private:
    std::mutex mu_;
    std::unordered_map<std::uintptr_t, std::unique_ptr<LiveHandle>> open_;
    std::uintptr_t next_ = 1;
};

}  // namespace corvane::host
