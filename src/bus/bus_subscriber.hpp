// Receives market data from the bus: every message of a subject (wildcards allowed), or
// every key of a bucket, current values first and then each update. A worker thread
// takes what the client receives into a queue that keeps one entry per origin (the
// newest), so a reader that falls behind gets each instrument's newest record instead of
// a backlog, and memory stays bounded by the number of instruments (and by
// kMaxPendingOrigins).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bus/bus_connection.hpp"
#include "bus/bus_settings.hpp"
#include "bus/keyed_queue.hpp"
#include "core/error.hpp"
#include "platform/thread_safety.hpp"

namespace corvane::bus {

struct BusMessage {
    std::string origin;   // the subject (subject mode) or the key (bucket mode)
    std::string payload;  // one CSV record
};

class Subscriber {  // thread-safe: Next from one thread, Stop from any
  public:
    // Subject mode, or bucket mode: watches every key of the bucket, current values
    // first, then each update. Fails at once (no retry) when the first connection cannot
    // be made or the subject/bucket is refused. After the connection is lost and made
    // again, a bucket is watched anew from its current values.
    static Error OpenSubject(const BusSettings&, const std::string& subject,
                             std::unique_ptr<Subscriber>& out);
    static Error OpenBucket(const BusSettings&, const std::string& bucket,
                            std::unique_ptr<Subscriber>& out);
    ~Subscriber();
    Subscriber(const Subscriber&) = delete;
    Subscriber& operator=(const Subscriber&) = delete;

    // Moves what arrived into `out` (appends), waiting up to `wait` for the first message.
    // Returns Ok (possibly with none), or an error once the subscription is lost for good.
    // Messages not yet taken are coalesced per origin (newest kept); Stats().coalesced
    // counts those replaced.
    Error Next(std::vector<BusMessage>& out, std::chrono::milliseconds wait);
    // Wakes Next; any thread, also a signal-watcher thread. Next returns at once after it.
    void Stop();

    struct Stats {
        uint64_t messages = 0, coalesced = 0, reconnects = 0;
        bool connected = false;
        // Bucket mode: the bucket's values at the (latest) start of the watch all
        // delivered (queued for Next: take what is queued once it is set); set again
        // after the watch resumes following a lost connection.
        bool snapshotComplete = false;
        size_t snapshotKeys = 0;  // values in that snapshot
        // Messages of a further origin dropped while kMaxPendingOrigins others waited to
        // be taken (a subject set far wider than any market watch).
        uint64_t dropped = 0;
    };
    static constexpr std::size_t kMaxPendingOrigins = 1000000;
    Stats GetStats() const;

  private:
    struct Watch;
    Subscriber();
    Error Start(const BusSettings&, bool bucketMode, const std::string& name);
    void Run();
    void RunSubject();
    void RunBucket();
    // Watches the bucket anew; false when it could not be (the error is kept).
    Error OpenWatch(std::unique_ptr<Watch>& watch);
    void Received(const char* origin, const char* data, int length);
    void Lost(Error error);
    bool Stopping() const;

    std::unique_ptr<Connection> connection_;
    natsSubscription* subscription_ = nullptr;
    std::unique_ptr<Watch> watch_;  // bucket mode; the worker's alone once it runs
    bool bucketMode_ = false;
    std::string name_;
    std::chrono::milliseconds callTimeout_{2000};

    mutable platform::Mutex mu_;
    std::condition_variable arrived_;
    KeyedQueue queue_ GUARDED_BY(mu_){kMaxPendingOrigins};
    Stats stats_ GUARDED_BY(mu_);
    // Bucket mode: the connection's reconnections when the current watch began.
    uint64_t watchReconnects_ GUARDED_BY(mu_) = 0;
    bool stopping_ GUARDED_BY(mu_) = false;
    Error lost_ GUARDED_BY(mu_);
    std::thread worker_;
};

}  // namespace corvane::bus
