#include "bus/bus_publisher.hpp"

#include <unordered_set>
#include <utility>
#include <vector>

#include "bus/bus_key.hpp"

namespace corvane::bus {

using namespace std::chrono;

namespace {

// Records sent between two looks at the queue.
constexpr std::size_t kBatch = 256;
// After a failed send, the worker waits this long (or for a reconnection) before it
// tries again.
constexpr milliseconds kRetryWait(250);
constexpr milliseconds kPoll(200);

// A subject prefix: dot-separated tokens, none empty, no blanks or wildcards.
bool GoodPrefix(const std::string& prefix) {
    if (prefix.empty() || prefix.front() == '.' || prefix.back() == '.') return false;
    if (prefix.find("..") != std::string::npos) return false;
    for (const char c : prefix) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '*' || c == '>') return false;
    }
    return true;
}

}  // namespace

Publisher::Publisher(std::size_t bound) : queue_(bound) {}

Error Publisher::Open(const BusSettings& settings, const std::string& prefix,
                      const std::string& bucket, std::unique_ptr<Publisher>& out,
                      std::size_t bound) {
    out.reset();
    std::unique_ptr<Publisher> publisher(new Publisher(bound));
    publisher->prefix_ = prefix.empty() ? kDefaultPrefix : prefix;
    if (!GoodPrefix(publisher->prefix_)) {
        return Error(ErrorCode::Argument, "the subject prefix \"" + publisher->prefix_ +
                                              "\" is not dot-separated tokens without blanks "
                                              "or wildcards");
    }
    publisher->callTimeout_ = settings.connectTimeout;
    Error error = Connection::Open(settings, publisher->connection_);
    if (!error.ok()) return error;
    if (!bucket.empty()) {
        error = publisher->OpenBucket(bucket);
        if (!error.ok()) return error;
    }
    Publisher* self = publisher.get();
    publisher->worker_ = std::thread([self] { self->Run(); });
    out = std::move(publisher);
    return {};
}

Error Publisher::OpenBucket(const std::string& bucket) {
    bucket_ = bucket;
    jsOptions jsOpts;
    jsOptions_Init(&jsOpts);
    jsOpts.Wait = callTimeout_.count();
    jsOpts.PublishAsync.MaxPending = static_cast<int64_t>(kBatch) * 2;
    jsOpts.PublishAsync.AckHandler = &Publisher::OnStored;
    jsOpts.PublishAsync.AckHandlerClosure = this;
    const natsStatus s = natsConnection_JetStream(&js_, connection_->get(), &jsOpts);
    if (s != NATS_OK) return connection_->Failure(s, "opening the bucket " + bucket);
    bool created = false;
    if (Error error = FindBucket(created); !error.ok()) return error;
    bucketSubject_ = "$KV." + bucket + ".";
    return {};
}

Error Publisher::FindBucket(bool& created) {
    created = false;
    if (kv_ != nullptr) {
        kvStore_Destroy(kv_);
        kv_ = nullptr;
    }
    natsStatus s = js_KeyValue(&kv_, js_, bucket_.c_str());
    if (s == NATS_NOT_FOUND) {
        kvConfig config;
        kvConfig_Init(&config);
        config.Bucket = bucket_.c_str();
        config.History = 1;
        s = js_CreateKeyValue(&kv_, js_, &config);
        created = s == NATS_OK;
        // Another publisher may have made it meanwhile.
        if (s != NATS_OK) s = js_KeyValue(&kv_, js_, bucket_.c_str());
    }
    if (s != NATS_OK) return connection_->Failure(s, "opening the bucket " + bucket_);
    return {};
}

void Publisher::OnStored(jsCtx*, natsMsg* msg, jsPubAck* ack, jsPubAckErr* failure, void* closure) {
    auto* self = static_cast<Publisher*>(closure);
    // Nothing stores the bucket's subjects: a server that came back without its store.
    if (ack == nullptr && failure != nullptr && failure->Err == NATS_NO_RESPONDERS) {
        self->bucketGone_ = true;
    }
    {
        platform::Lock lock(self->answersMu_);
        if (ack != nullptr) {
            ++self->stored_;
        } else {
            ++self->notStored_;
        }
    }
    self->answered_.notify_all();
    natsMsg_Destroy(msg);
}

Publisher::~Publisher() {
    {
        platform::Lock lock(mu_);
        stopping_ = true;
    }
    work_.notify_all();
    if (connection_) connection_->Wake();
    if (worker_.joinable()) worker_.join();
    if (kv_ != nullptr) kvStore_Destroy(kv_);
    if (js_ != nullptr) jsCtx_Destroy(js_);
    connection_.reset();
}

Error Publisher::Publish(const std::string& exchange, const std::string& scrip,
                         const std::string& line) {
    std::string key = BusInstrumentKey(exchange, scrip);
    if (key.empty())
        return Error(ErrorCode::Argument, "a record needs its exchange and scrip code");
    bool added = false;
    {
        platform::Lock lock(mu_);
        switch (queue_.Push(key, line)) {
            case KeyedQueue::Put::Added:
                added = true;
                break;
            case KeyedQueue::Put::Replaced:
                ++replaced_;
                break;
            case KeyedQueue::Put::Dropped:
                ++dropped_;
                break;
        }
    }
    if (added) work_.notify_one();
    return {};
}

Error Publisher::Send(const std::vector<std::pair<std::string, std::string>>& batch) {
    natsConnection* nc = connection_->get();
    if (kv_ != nullptr) {
        platform::Lock lock(answersMu_);
        stored_ = notStored_ = 0;
    }
    std::string subject;
    for (const auto& [key, line] : batch) {
        subject = prefix_ + "." + key;
        const natsStatus s =
            natsConnection_Publish(nc, subject.c_str(), line.data(), static_cast<int>(line.size()));
        if (s != NATS_OK) return connection_->Failure(s, "sending the records");
        if (kv_ != nullptr) {
            // As a put into the bucket does, without waiting for each acknowledgement.
            subject = bucketSubject_ + key;
            const natsStatus stored = js_PublishAsync(js_, subject.c_str(), line.data(),
                                                      static_cast<int>(line.size()), nullptr);
            if (stored != NATS_OK) return connection_->Failure(stored, "storing the records");
        }
    }
    if (kv_ == nullptr) return {};
    // Every record answered, each stored or not.
    bool answered = false;
    bool allStored = false;
    {
        platform::Lock lock(answersMu_);
        answered = lock.WaitFor(answered_, callTimeout_, [&]() REQUIRES(answersMu_) {
            return stored_ + notStored_ >= batch.size();
        });
        allStored = answered && notStored_ == 0;
    }
    if (!answered) {
        // The records still unanswered are sent again with the batch: take them back.
        natsMsgList pending;
        if (js_PublishAsyncGetPendingList(&pending, js_) == NATS_OK) natsMsgList_Destroy(&pending);
        return Error(ErrorCode::Timeout, "the server did not answer for every record stored");
    }
    if (!allStored) return Error(ErrorCode::Refused, "the server did not store every record");
    return {};
}

void Publisher::Run() {
    std::vector<std::pair<std::string, std::string>> batch;
    for (;;) {
        {
            platform::Lock lock(mu_);
            lock.Wait(work_, [&]() REQUIRES(mu_) { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
        }
        // Nothing is sent while the connection is down: the client would only buffer it.
        if (!connection_->WaitConnected(kPoll)) continue;
        {
            platform::Lock lock(mu_);
            if (stopping_) return;
            batch.clear();
            queue_.Take(batch, kBatch);
            inFlight_ = batch.size();
        }
        // A batch that failed is sent again whole (unless newer records came): storing a
        // record twice leaves the bucket as storing it once. A bucket the server lost is
        // made again first.
        Error failed;
        if (bucketGone_.exchange(false)) {
            bool created = false;
            failed = FindBucket(created);
            if (!failed.ok()) bucketGone_ = true;
            if (created) StoreAllAgain(batch);
        }
        if (failed.ok()) failed = Send(batch);
        const std::size_t sent = failed.ok() ? batch.size() : 0;
        const uint64_t reconnects = connection_->GetState().reconnects;
        {
            platform::Lock lock(mu_);
            published_ += sent;
            if (kv_ != nullptr) {
                for (std::size_t i = 0; i < sent; ++i)
                    lastStored_[batch[i].first] = batch[i].second;
            }
            // What was not sent goes back, in its order, unless newer records came.
            for (std::size_t i = batch.size(); i > sent; --i) {
                queue_.PutBack(batch[i - 1].first, std::move(batch[i - 1].second));
            }
            inFlight_ = 0;
        }
        sent_.notify_all();
        if (!failed.ok()) connection_->WaitEvent(reconnects, kRetryWait);
    }
}

void Publisher::StoreAllAgain(const std::vector<std::pair<std::string, std::string>>& batch) {
    std::unordered_set<std::string> sending;
    for (const auto& entry : batch) sending.insert(entry.first);
    platform::Lock lock(mu_);
    for (const auto& [key, line] : lastStored_) {
        // A record being sent or queued is newer.
        if (sending.count(key) == 0) queue_.PutBack(key, line);
    }
}

Error Publisher::Flush(Timeout wait) {
    // Without end is a year: a deadline the condition variable can be given.
    const auto deadline = DeadlineAfter(wait.Length());
    {
        platform::Lock lock(mu_);
        if (!lock.WaitUntil(sent_, deadline,
                            [&]() REQUIRES(mu_) { return queue_.empty() && inFlight_ == 0; })) {
            return Error(ErrorCode::Timeout, std::to_string(queue_.size() + inFlight_) +
                                                 " records were not sent in time");
        }
    }
    const auto left = duration_cast<milliseconds>(deadline - steady_clock::now());
    const natsStatus s =
        natsConnection_FlushTimeout(connection_->get(), std::max<int64_t>(left.count(), 1));
    if (s != NATS_OK) return connection_->Failure(s, "flushing the records");
    return {};
}

Publisher::Stats Publisher::GetStats() const {
    Stats stats;
    {
        platform::Lock lock(mu_);
        stats.published = published_;
        stats.dropped = dropped_;
        stats.replaced = replaced_;
    }
    const Connection::State state = connection_->GetState();
    stats.connected = state.connected;
    stats.reconnects = state.reconnects;
    return stats;
}

}  // namespace corvane::bus
