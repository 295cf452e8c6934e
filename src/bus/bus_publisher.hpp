// Publishes market data to the bus: each instrument's record on
// <prefix>.<exchange>.<scrip> and, with a bucket, under the key <exchange>.<scrip> of a
// key-value bucket, so that a late subscriber gets every instrument's last value. The
// caller's ticks go into a queue holding each instrument's newest record, and a worker
// thread makes every network call, so publishing never waits for the server.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bus/bus_connection.hpp"
#include "bus/bus_settings.hpp"
#include "bus/keyed_queue.hpp"
#include "core/deadline.hpp"
#include "core/error.hpp"
#include "platform/thread_safety.hpp"

namespace corvane::bus {

class Publisher {  // thread-safe
  public:
    // Most instruments whose records wait to be sent; a tick of a further instrument is
    // dropped (and counted) while the server is away or slower than the ticks.
    static constexpr std::size_t kDefaultBound = 100000;
    static constexpr const char* kDefaultPrefix = "md";

    // `prefix` empty: "md"; `bucket` empty: no bucket. With a bucket: created when missing
    // (history 1), and made again, with every instrument's last record, should a server
    // come back without it. Fails when no server
    // answers (Connect), the server refuses the client or the bucket (Refused), or for a prefix or
    // bucket name the server cannot take (Argument). Once open, a server going away never blocks
    // Publish.
    static Error Open(const BusSettings&, const std::string& prefix, const std::string& bucket,
                      std::unique_ptr<Publisher>& out, std::size_t bound = kDefaultBound);
    // Ends the worker; records still queued are not sent (Flush first).
    ~Publisher();
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    // Queues `line` (one CSV record) as the newest record of the instrument. Never waits
    // for the server. Argument for an empty exchange or scrip code.
    Error Publish(const std::string& exchange, const std::string& scrip, const std::string& line);
    // Waits until everything queued before the call is sent (with a bucket: stored),
    // at most `wait`; Timeout when it is not.
    Error Flush(Timeout wait);

    struct Stats {
        uint64_t published = 0;  // records sent (with a bucket: and stored)
        uint64_t dropped = 0;    // ticks dropped because the queue held `bound` instruments
        uint64_t replaced = 0;   // ticks replaced in the queue by a newer one of their instrument
        uint64_t reconnects = 0;
        bool connected = false;
    };
    Stats GetStats() const;

  private:
    Publisher(std::size_t bound);
    Error OpenBucket(const std::string& bucket);
    // Opens the bucket, or creates it (history 1) when the server has none; `created`
    // tells which.
    Error FindBucket(bool& created);
    void Run();
    // Sends a batch: each record on its subject and, with a bucket, stored there with
    // one wait for all the acknowledgements. Fails when any record may be missing.
    Error Send(const std::vector<std::pair<std::string, std::string>>& batch);
    // Queues every instrument's last stored record again but those of `batch` (being
    // sent) and those queued (newer).
    void StoreAllAgain(const std::vector<std::pair<std::string, std::string>>& batch);
    // The server's answer to each record stored, on the client's thread.
    static void OnStored(jsCtx*, natsMsg* msg, jsPubAck* ack, jsPubAckErr* failure, void* closure);

    std::unique_ptr<Connection> connection_;
    std::string prefix_;
    jsCtx* js_ = nullptr;
    kvStore* kv_ = nullptr;
    std::string bucketSubject_;  // "$KV.<bucket>.": a record is stored by publishing there
    std::string bucket_;
    std::atomic<bool> bucketGone_{false};
    // The answers to the current batch's records stored.
    platform::Mutex answersMu_;
    std::condition_variable answered_;
    std::size_t stored_ GUARDED_BY(answersMu_) = 0;
    std::size_t notStored_ GUARDED_BY(answersMu_) = 0;
    std::chrono::milliseconds callTimeout_{2000};

    mutable platform::Mutex mu_;
    std::condition_variable work_, sent_;
    KeyedQueue queue_ GUARDED_BY(mu_);
    std::size_t inFlight_ GUARDED_BY(mu_) = 0;
    // With a bucket: each instrument's record stored last, stored again should the server
    // come back without the bucket (a server that lost its store).
    std::unordered_map<std::string, std::string> lastStored_ GUARDED_BY(mu_);
    uint64_t published_ GUARDED_BY(mu_) = 0;
    uint64_t dropped_ GUARDED_BY(mu_) = 0;
    uint64_t replaced_ GUARDED_BY(mu_) = 0;
    bool stopping_ GUARDED_BY(mu_) = false;
    std::thread worker_;
};

}  // namespace corvane::bus
