#include "bus_input.hpp"

#include <cstdio>
#include <utility>

namespace corvane::feed {
namespace {

// How long one read waits for messages: the stop request and the connection's state are
// looked at in between.
constexpr auto kReadWait = std::chrono::milliseconds(100);

}  // namespace

BusInput::BusInput(const BusOptions& options, const StopSignals& stop)
    : options_(options), stop_(stop) {}

BusInput::~BusInput() {
    if (subscriber_) subscriber_->Stop();
}

corvane::Error BusInput::Open() {
    bus::BusSettings settings;
    settings.url = options_.url;
    settings.user = options_.user;
    settings.password = options_.password;
    settings.token = options_.token;
    settings.credsFile = options_.credsFile;
    settings.caFile = options_.caFile;
    settings.name = "corvane-feed";
    return options_.bucket.empty()
               ? bus::Subscriber::OpenSubject(settings, options_.subject, subscriber_)
               : bus::Subscriber::OpenBucket(settings, options_.bucket, subscriber_);
}

RecordSource::Status BusInput::Read(std::vector<SourcedRecord>& records) {
    if (stop_.Requested()) return Status::Stopped;
    // Everything waiting is taken below: a snapshot complete now is handed out whole.
    const bus::Subscriber::Stats before = subscriber_->GetStats();
    messages_.clear();
    corvane::Error error = subscriber_->Next(messages_, kReadWait);
    // A watch resumed after a lost connection takes the bucket's values anew.
    snapshotTaken_ = before.snapshotComplete;
    if (before.snapshotComplete) snapshotKeys_ = before.snapshotKeys;
    const char* kind = options_.bucket.empty() ? "subject " : "key ";
    for (bus::BusMessage& message : messages_)
        records.push_back({kind + message.origin, std::move(message.payload)});
    if (!error.ok()) {
        failure_ =
            corvane::Error(error.code(), "the bus subscription was lost: " + error.message());
        return Status::Failed;
    }
    return stop_.Requested() ? Status::Stopped : Status::Data;
}

std::string BusInput::RateText(double seconds) {
    const bus::Subscriber::Stats stats = subscriber_->GetStats();
    double rate = 0;
    if (seconds > 0) {
        rate = stats.messages / seconds;
    } else {
        const Clock::time_point now = Clock::now();
        const double since = std::chrono::duration<double>(now - rateSince_).count();
        if (since >= 1.0) {
            rate_ = (stats.messages - rateCount_) / since;
            rateSince_ = now;
            rateCount_ = stats.messages;
        }
        rate = rate_;
    }
    char text[160];
    std::snprintf(text, sizeof text, "%.0f messages/s in%s", rate,
                  stats.connected ? "" : " (bus connection lost: rows may be stale)");
    if (options_.bucket.empty()) return text;
    // A bucket's snapshot: still coming, or complete with its number of instruments.
    if (stats.snapshotComplete && snapshotTaken_)
        return text + (", snapshot complete (" + std::to_string(snapshotKeys_) + " instruments)");
    return text + std::string(", taking the snapshot");
}

std::string BusInput::StateText() const {
    const bus::Subscriber::Stats stats = subscriber_->GetStats();
    if (!stats.connected)
        return "bus connection lost: the rows on the sheet may be stale; reconnecting";
    const std::string again = stats.reconnects > 0
                                  ? "bus connection back (" + std::to_string(stats.reconnects) +
                                        (stats.reconnects == 1 ? " reconnect)" : " reconnects)")
                                  : std::string();
    if (options_.bucket.empty()) return again;
    if (!stats.snapshotComplete || !snapshotTaken_)
        return again.empty() ? std::string() : again + "; taking the bucket's values anew";
    return (again.empty() ? std::string() : again + "; ") + "snapshot of bucket \"" +
           options_.bucket + "\" complete: " + std::to_string(snapshotKeys_) + " instruments";
}

}  // namespace corvane::feed
