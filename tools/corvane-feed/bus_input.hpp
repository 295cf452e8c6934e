// The feed's input from a message bus (NATS): every message of a subject, or every value
// of a key-value bucket, is one record, named by its subject or key. The subscription
// reconnects by itself; while it cannot, the state says so, for the rows on the sheet
// may be stale.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bus/bus_subscriber.hpp"
#include "feed_loop.hpp"
#include "options.hpp"
#include "stop_signals.hpp"

namespace corvane::feed {

class BusInput : public RecordSource {
  public:
    BusInput(const BusOptions& options, const StopSignals& stop);
    ~BusInput() override;
    BusInput(const BusInput&) = delete;
    BusInput& operator=(const BusInput&) = delete;

    // Connects and subscribes: fails at once when the server cannot be reached
    // (ErrorCode::Connect or Timeout) or refuses the credentials, the subject or the
    // bucket (ErrorCode::Refused).
    corvane::Error Open();

    Status Read(std::vector<SourcedRecord>& records) override;
    // Why the subscription was lost for good; Ok while it was not.
    const corvane::Error& Failure() const override { return failure_; }
    bool StopRequested() const override { return stop_.Requested(); }

    // Messages/s in: over the last second, or on average over `seconds` when given;
    // with how the connection stands when it is lost, and for a bucket whether its
    // snapshot is complete, with the number of instruments it held.
    std::string RateText(double seconds = 0);
    // "" while connected with nothing to tell; else the connection lost, back again, or
    // a bucket's snapshot complete with the number of instruments it held.
    std::string StateText() const;

  private:
    using Clock = std::chrono::steady_clock;

    const BusOptions& options_;
    const StopSignals& stop_;
    std::unique_ptr<bus::Subscriber> subscriber_;
    std::vector<bus::BusMessage> messages_;
    corvane::Error failure_;
    // Whether the latest snapshot was complete before the latest read took everything
    // waiting: then all of it is in the records handed out.
    bool snapshotTaken_ = false;
    std::size_t snapshotKeys_ = 0;
    // For the rate over the last second.
    Clock::time_point rateSince_ = Clock::now();
    std::uint64_t rateCount_ = 0;
    double rate_ = 0;
};

}  // namespace corvane::feed
