// Ctrl-C and SIGTERM as a stop request: the first one asks the feed to finish its row
// and stop, a second one ends the program at once. Signals are taken by a thread of
// their own, so that they never interrupt a call into the office.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace corvane::feed {

class StopSignals {
  public:
    // Construct first thing in main, before any other thread exists: the signals are
    // blocked in every thread created afterwards.
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool Requested() const { return requested_.load(); }
    // Readable once a stop was requested, for waiting on input and stop together.
    int WakeDescriptor() const { return wake_[0]; }
    // Sleeps up to `duration`; false when a stop was requested.
    bool Sleep(std::chrono::milliseconds duration) const;
    // Runs on the first signal, on the signals' thread, after Requested() turned true:
    // to end a wait that the feed cannot interrupt itself.
    void OnFirstSignal(std::function<void()> action);
    // Runs on a second signal, just before the program ends with status 130.
    void OnSecondSignal(std::function<void()> action);

  private:
    void Watch();

    std::atomic<bool> requested_{false};
    std::atomic<bool> closing_{false};
    int wake_[2] = {-1, -1};
    std::mutex mutex_;
    std::function<void()> firstSignal_;
    std::function<void()> secondSignal_;
    std::thread watcher_;
};

}  // namespace corvane::feed
