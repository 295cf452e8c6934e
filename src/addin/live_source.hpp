// What the live formulas show: every instrument's last record from a key-value bucket of
// the bus, and the results Calc holds for its cells. A thread of the source's own
// connects at the first ask, takes each record as it comes, and marks the results whose
// value changed; at most once an interval it has the office's main thread tell those
// results' listeners, so that no call of Calc's ever waits on the network and Calc is
// never called while a lock of the source's is held. A lost server is tried again until
// it answers; its cells keep their last values and the status says since when they are
// stale.
#pragma once

#include <com/sun/star/awt/XRequestCallback.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ref.hxx>

#include <array>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "addin/live_result.hpp"
#include "addin/live_settings.hpp"
#include "bus/bus_subscriber.hpp"
#include "corvane/market_watch_record.hpp"
#include "platform/thread_safety.hpp"

namespace corvane::addin {

class LiveSource {
  public:
    // `office`: the context the add-in was made in. `settingsFile`: where the settings
    // are read from when the source starts ("" for the environment alone).
    LiveSource(css::uno::Reference<css::uno::XComponentContext> office, std::string settingsFile);
    ~LiveSource();  // stops
    LiveSource(const LiveSource&) = delete;
    LiveSource& operator=(const LiveSource&) = delete;

    // The one result of field `column` of the instrument `key` (see platform::InstrumentKey),
    // and the status's; the first ask starts the source.
    rtl::Reference<LiveResult> Result(const std::string& key, int column);
    rtl::Reference<LiveResult> Status();
    // How many listeners the results have.
    std::size_t Subscriptions() const;

    // Ends the source's thread (at the office's end); later asks are answered from what
    // it had. Any thread; more than once is fine.
    void Stop();

    struct Board;  // the results to tell, shared with the main thread's callback

  private:
    struct Instrument {
        bool known = false;
        std::array<css::uno::Any, kColumnCount> cells;
        std::array<rtl::Reference<LiveResult>, kColumnCount> results;
    };
    void StartOnce() REQUIRES(mu_);
    void Run();
    // Connects, takes the records and keeps the status until stopped.
    void Follow();
    // The status once the server cannot be had: since when its values are stale, when
    // they were live before.
    void Lost(const std::string& why);
    // Connects (true) or waits before the next try (false).
    bool Connect(std::unique_ptr<bus::Subscriber>& subscriber);
    void Take(const std::vector<bus::BusMessage>& messages);
    void SetStatus(const std::string& text);
    void Queue(const rtl::Reference<LiveResult>& result) REQUIRES(mu_);
    // Hands the results to tell to the office's main thread, at most once an interval.
    void TellWhenDue();
    // How long the next wait for records may be: until the results waiting to be told
    // are due, or a while when none waits.
    std::chrono::milliseconds UntilDue();
    // Waits `pause` or until stopped; true when stopped.
    bool Pause(std::chrono::milliseconds pause);

    // The first pause after a failed connection, doubled up to the last.
    static constexpr std::chrono::milliseconds kFirstPause{500};

    const css::uno::Reference<css::uno::XComponentContext> office_;
    const std::string settingsFile_;
    // The source thread's alone once it runs.
    LiveSettings settings_;
    std::chrono::milliseconds pause_ = kFirstPause;
    std::chrono::steady_clock::time_point lastHandOver_;
    bool wasLive_ = false;
    std::string lostAt_;  // the local time the source was lost, while it is
    std::shared_ptr<Board> board_;
    css::uno::Reference<css::awt::XRequestCallback> mainThread_;

    mutable platform::Mutex mu_;
    std::condition_variable wake_;
    std::unordered_map<std::string, Instrument> instruments_ GUARDED_BY(mu_);
    rtl::Reference<LiveResult> status_ GUARDED_BY(mu_);
    bus::Subscriber* subscriber_ GUARDED_BY(mu_) = nullptr;  // Stop's way in
    bool started_ GUARDED_BY(mu_) = false;
    bool stopping_ GUARDED_BY(mu_) = false;
    std::thread thread_;
};

}  // namespace corvane::addin
