#include "bus/bus_subscriber.hpp"

#include <utility>

namespace corvane::bus {

using namespace std::chrono;

namespace {

// How long the worker waits for the client before it looks for a stop or a reconnection.
constexpr int64_t kPollMs = 200;
// Between two attempts to watch a bucket again after the connection came back (the
// server may still be recovering its streams).
constexpr milliseconds kRewatchWait(500);
// What the client may hold for the worker before it drops messages: far more than a
// worker that moves them into the queue at once lets gather.
constexpr int kPendingMessages = 1000000;
constexpr int kPendingBytes = 512 * 1024 * 1024;

}  // namespace

// The client objects of one watch of a bucket, released in reverse order.
struct Subscriber::Watch {
    jsCtx* js = nullptr;
    kvStore* kv = nullptr;
    kvWatcher* watcher = nullptr;
    ~Watch() {
        if (watcher != nullptr) kvWatcher_Destroy(watcher);
        if (kv != nullptr) kvStore_Destroy(kv);
        if (js != nullptr) jsCtx_Destroy(js);
    }
};

Subscriber::Subscriber() = default;

Error Subscriber::OpenSubject(const BusSettings& settings, const std::string& subject,
                              std::unique_ptr<Subscriber>& out) {
    out.reset();
    if (subject.empty()) return Error(ErrorCode::Argument, "no subject");
    std::unique_ptr<Subscriber> subscriber(new Subscriber());
    Error error = subscriber->Start(settings, false, subject);
    if (error.ok()) out = std::move(subscriber);
    return error;
}

Error Subscriber::OpenBucket(const BusSettings& settings, const std::string& bucket,
                             std::unique_ptr<Subscriber>& out) {
    out.reset();
    if (bucket.empty()) return Error(ErrorCode::Argument, "no bucket");
    std::unique_ptr<Subscriber> subscriber(new Subscriber());
    Error error = subscriber->Start(settings, true, bucket);
    if (error.ok()) out = std::move(subscriber);
    return error;
}

Error Subscriber::Start(const BusSettings& settings, bool bucketMode, const std::string& name) {
    bucketMode_ = bucketMode;
    name_ = name;
    callTimeout_ = settings.connectTimeout;
    Error error = Connection::Open(settings, connection_);
    if (!error.ok()) return error;
    if (bucketMode_) {
        error = OpenWatch(watch_);
        if (!error.ok()) return error;
    } else {
        natsStatus s =
            natsConnection_SubscribeSync(&subscription_, connection_->get(), name_.c_str());
        if (s != NATS_OK) return ErrorOf(s, "subscribing to " + name_);
        natsSubscription_SetPendingLimits(subscription_, kPendingMessages, kPendingBytes);
        // The server answers a refused subscription before the flush's ping.
        s = natsConnection_FlushTimeout(connection_->get(), callTimeout_.count());
        if (Error refused = connection_->Refusal("subscribing to " + name_); !refused.ok())
            return refused;
        if (s != NATS_OK) return connection_->Failure(s, "subscribing to " + name_);
    }
    worker_ = std::thread([this] { Run(); });
    return {};
}

Subscriber::~Subscriber() {
    Stop();
    if (worker_.joinable()) worker_.join();
    watch_.reset();
    if (subscription_ != nullptr) natsSubscription_Destroy(subscription_);
    connection_.reset();
}

Error Subscriber::OpenWatch(std::unique_ptr<Watch>& watch) {
    watch.reset();
    auto made = std::make_unique<Watch>();
    const std::string what = "watching the bucket " + name_;
    jsOptions jsOpts;
    jsOptions_Init(&jsOpts);
    jsOpts.Wait = callTimeout_.count();
    natsStatus s = natsConnection_JetStream(&made->js, connection_->get(), &jsOpts);
    if (s != NATS_OK) return connection_->Failure(s, what);
    s = js_KeyValue(&made->kv, made->js, name_.c_str());
    if (s == NATS_NOT_FOUND) {
        return Error(ErrorCode::Refused, what + ": the server has no such bucket");
    }
    if (s != NATS_OK) return connection_->Failure(s, what);
    kvWatchOptions watchOpts;
    kvWatchOptions_Init(&watchOpts);
    watchOpts.IgnoreDeletes = true;
    watchOpts.Timeout = callTimeout_.count();
    s = kvStore_WatchAll(&made->watcher, made->kv, &watchOpts);
    if (s != NATS_OK) return connection_->Failure(s, what);
    {
        platform::Lock lock(mu_);
        stats_.snapshotComplete = false;
        stats_.snapshotKeys = 0;
    }
    watch = std::move(made);
    return {};
}

void Subscriber::Run() {
    if (bucketMode_) {
        RunBucket();
    } else {
        RunSubject();
    }
}

bool Subscriber::Stopping() const {
    platform::Lock lock(mu_);
    return stopping_;
}

void Subscriber::RunSubject() {
    while (!Stopping()) {
        natsMsg* msg = nullptr;
        const natsStatus s = natsSubscription_NextMsg(&msg, subscription_, kPollMs);
        if (s == NATS_OK) {
            Received(natsMsg_GetSubject(msg), natsMsg_GetData(msg), natsMsg_GetDataLength(msg));
            natsMsg_Destroy(msg);
            continue;
        }
        if (s == NATS_TIMEOUT || s == NATS_SLOW_CONSUMER) continue;
        if (connection_->GetState().closed || s == NATS_CONNECTION_CLOSED ||
            s == NATS_INVALID_SUBSCRIPTION) {
            Lost(connection_->Failure(s, "receiving from " + name_));
            return;
        }
        connection_->WaitEvent(connection_->GetState().reconnects, milliseconds(kPollMs));
    }
}

void Subscriber::RunBucket() {
    std::unique_ptr<Watch> watch = std::move(watch_);
    uint64_t watchedSince = connection_->GetState().reconnects;
    {
        platform::Lock lock(mu_);
        watchReconnects_ = watchedSince;
    }
    while (!Stopping()) {
        const Connection::State state = connection_->GetState();
        if (state.closed) {
            Lost(Error(ErrorCode::Connect, "the connection to the server was closed"));
            return;
        }
        if (watch && (!state.connected || state.reconnects != watchedSince)) {
            // The server may restart: what the old watch would deliver is unknown, so the
            // bucket is watched anew once it is back, its current values first. The old
            // watch goes while the connection is down, before the client library makes its
            // consumer anew on another thread of its own (destroying it during that
            // reads memory the library freed).
            watch.reset();
        }
        if (!watch) {
            if (!connection_->WaitConnected(milliseconds(kPollMs))) continue;
            const uint64_t reconnects = connection_->GetState().reconnects;
            if (OpenWatch(watch).ok()) {
                watchedSince = reconnects;
                platform::Lock lock(mu_);
                watchReconnects_ = reconnects;
            } else {
                connection_->WaitEvent(reconnects, kRewatchWait);
            }
            continue;
        }
        kvEntry* entry = nullptr;
        const natsStatus s = kvWatcher_Next(&entry, watch->watcher, kPollMs);
        if (s == NATS_OK && entry == nullptr) {
            platform::Lock lock(mu_);
            stats_.snapshotComplete = true;
            arrived_.notify_all();
            continue;
        }
        if (s == NATS_OK) {
            if (kvEntry_Operation(entry) == kvOp_Put) {
                Received(kvEntry_Key(entry), static_cast<const char*>(kvEntry_Value(entry)),
                         kvEntry_ValueLen(entry));
            }
            kvEntry_Destroy(entry);
            continue;
        }
        if (s == NATS_TIMEOUT) continue;
        // The watch failed: watched anew once the connection is up.
        watch.reset();
        connection_->WaitEvent(watchedSince, milliseconds(kPollMs));
    }
}

void Subscriber::Received(const char* origin, const char* data, int length) {
    {
        platform::Lock lock(mu_);
        ++stats_.messages;
        if (bucketMode_ && !stats_.snapshotComplete) ++stats_.snapshotKeys;
        const KeyedQueue::Put put = queue_.Push(
            origin, std::string(data != nullptr ? data : "", data != nullptr ? length : 0));
        if (put == KeyedQueue::Put::Replaced) ++stats_.coalesced;
        if (put == KeyedQueue::Put::Dropped) ++stats_.dropped;
    }
    arrived_.notify_one();
}

void Subscriber::Lost(Error error) {
    {
        platform::Lock lock(mu_);
        lost_ = std::move(error);
    }
    arrived_.notify_all();
}

Error Subscriber::Next(std::vector<BusMessage>& out, milliseconds wait) {
    std::vector<std::pair<std::string, std::string>> taken;
    {
        platform::Lock lock(mu_);
        lock.WaitFor(arrived_, wait,
                     [&]() REQUIRES(mu_) { return !queue_.empty() || stopping_ || !lost_.ok(); });
        queue_.Take(taken);
        if (taken.empty() && !lost_.ok()) return lost_;
    }
    out.reserve(out.size() + taken.size());
    for (auto& [origin, payload] : taken) out.push_back({std::move(origin), std::move(payload)});
    return {};
}

void Subscriber::Stop() {
    {
        platform::Lock lock(mu_);
        stopping_ = true;
    }
    arrived_.notify_all();
    if (connection_) connection_->Wake();
}

Subscriber::Stats Subscriber::GetStats() const {
    Stats stats;
    uint64_t watchReconnects = 0;
    {
        platform::Lock lock(mu_);
        stats = stats_;
        watchReconnects = watchReconnects_;
    }
    if (connection_) {
        const Connection::State state = connection_->GetState();
        stats.connected = state.connected;
        stats.reconnects = state.reconnects;
        // A snapshot taken before the latest reconnection is no longer complete: the
        // bucket is about to be watched anew.
        if (bucketMode_ && state.reconnects != watchReconnects) stats.snapshotComplete = false;
    }
    return stats;
}

}  // namespace corvane::bus
