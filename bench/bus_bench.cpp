// The bus against a local NATS server this program starts: what a publish costs the
// caller's thread with the server up and with it away, the highest message rate one
// subscriber takes, and how long a subscriber needs to load a bucket's snapshot.
// --quick runs smaller figures.
#include <nats/nats.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bus/bus_publisher.hpp"
#include "bus/bus_subscriber.hpp"
#include "support/nats_server.hpp"

namespace {

using namespace corvane::bus;
using corvane::test::NatsServer;
using Clock = std::chrono::steady_clock;
using namespace std::chrono;

// A market-watch record of about the size the feed publishes.
std::string Record(int instrument, long tick) {
    std::string line = "NSE,INSTRUMENT " + std::to_string(instrument) + "," +
                       std::to_string(instrument) + "," + std::to_string(tick);
    for (int i = 4; i < 42; ++i) line += ",1234.56";
    return line;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    const auto at = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<long>(at), values.end());
    return values[at];
}

BusSettings At(const NatsServer& server) {
    BusSettings settings;
    settings.url = server.Url();
    return settings;
}

// Cost of Publish on the caller's thread, in microseconds, over `ticks` ticks of
// `instruments` instruments.
void PublishCost(NatsServer& server, bool up, long ticks, int instruments) {
    std::unique_ptr<Publisher> publisher;
    const corvane::Error error = Publisher::Open(At(server), "md", "bench", publisher);
    if (!error.ok()) {
        std::fprintf(stderr, "open: %s\n", error.message().c_str());
        return;
    }
    if (!up) server.Stop();
    std::vector<std::string> lines;
    for (int i = 0; i < instruments; ++i) lines.push_back(Record(i, 0));
    std::vector<double> costs;
    costs.reserve(static_cast<std::size_t>(ticks));
    for (long t = 0; t < ticks; ++t) {
        const int i = static_cast<int>(t % instruments);
        const std::string scrip = std::to_string(i);
        const auto start = Clock::now();
        (void)publisher->Publish("NSE", scrip, lines[static_cast<std::size_t>(i)]);
        costs.push_back(duration<double, std::micro>(Clock::now() - start).count());
    }
    const auto flushStart = Clock::now();
    const bool flushed = up && publisher->Flush(corvane::Timeout::After(seconds(120))).ok();
    const double flushS = duration<double>(Clock::now() - flushStart).count();
    const Publisher::Stats stats = publisher->GetStats();
    std::printf("%-28s %10.2f %10.2f %10llu %10llu %s\n",
                up ? "publish, server up" : "publish, server away", Percentile(costs, 0.5),
                Percentile(costs, 0.99), static_cast<unsigned long long>(stats.published),
                static_cast<unsigned long long>(stats.dropped),
                flushed ? ("(sent in " + std::to_string(flushS).substr(0, 5) + " s)").c_str() : "");
    if (!up) server.Restart();
}

// Floods `count` messages over `instruments` subjects with the bare client and measures
// what one subscriber takes.
void SubscriberRate(NatsServer& server, long count, int instruments) {
    std::unique_ptr<Subscriber> subscriber;
    if (!Subscriber::OpenSubject(At(server), "rate.>", subscriber).ok()) return;
    natsConnection* nc = nullptr;
    if (natsConnection_ConnectTo(&nc, server.Url().c_str()) != NATS_OK) return;
    std::vector<std::string> subjects;
    for (int i = 0; i < instruments; ++i) subjects.push_back("rate.NSE." + std::to_string(i));
    const std::string payload = Record(1, 1);
    long taken = 0;
    std::vector<BusMessage> batch;
    const auto start = Clock::now();
    for (long n = 0; n < count; ++n) {
        natsConnection_Publish(nc, subjects[static_cast<std::size_t>(n % instruments)].c_str(),
                               payload.data(), static_cast<int>(payload.size()));
        if (n % 4096 == 0) {
            batch.clear();
            (void)subscriber->Next(batch, milliseconds(0));
            taken += static_cast<long>(batch.size());
        }
    }
    natsConnection_FlushTimeout(nc, 30000);
    const auto sent = Clock::now();
    // Wait until the subscriber has seen everything, or stops getting more.
    uint64_t last = 0;
    auto lastChange = Clock::now();
    while (subscriber->GetStats().messages < static_cast<uint64_t>(count)) {
        batch.clear();
        (void)subscriber->Next(batch, milliseconds(10));
        taken += static_cast<long>(batch.size());
        const uint64_t now = subscriber->GetStats().messages;
        if (now != last) {
            last = now;
            lastChange = Clock::now();
        } else if (Clock::now() - lastChange > seconds(2)) {
            break;
        }
    }
    const Subscriber::Stats stats = subscriber->GetStats();
    const double s = duration<double>(Clock::now() - start).count();
    std::printf("%-28s %10.0f msg/s   received %llu of %ld (coalesced %llu, sent in %.2f s)\n",
                "subscriber, one subject set", static_cast<double>(stats.messages) / s,
                static_cast<unsigned long long>(stats.messages), count,
                static_cast<unsigned long long>(stats.coalesced),
                duration<double>(sent - start).count());
    natsConnection_Destroy(nc);
}

void SnapshotLoad(NatsServer& server, int instruments) {
    const std::string bucket = "snap" + std::to_string(instruments);
    {
        std::unique_ptr<Publisher> publisher;
        if (!Publisher::Open(At(server), "md", bucket, publisher).ok()) return;
        for (int i = 0; i < instruments; ++i) {
            (void)publisher->Publish("NSE", std::to_string(i), Record(i, 0));
        }
        if (!publisher->Flush(corvane::Timeout::After(seconds(600))).ok()) {
            std::fprintf(stderr, "filling %s timed out\n", bucket.c_str());
            return;
        }
    }
    const auto start = Clock::now();
    std::unique_ptr<Subscriber> subscriber;
    if (!Subscriber::OpenBucket(At(server), bucket, subscriber).ok()) return;
    std::vector<BusMessage> batch;
    size_t taken = 0;
    while (!subscriber->GetStats().snapshotComplete) {
        batch.clear();
        (void)subscriber->Next(batch, milliseconds(5));
        taken += batch.size();
        if (Clock::now() - start > seconds(300)) break;
    }
    batch.clear();
    (void)subscriber->Next(batch, milliseconds(0));
    taken += batch.size();
    const double ms = duration<double, std::milli>(Clock::now() - start).count();
    std::printf("%-28s %10.0f ms   %zu keys in the snapshot, %zu taken\n",
                ("snapshot, " + std::to_string(instruments) + " instruments").c_str(), ms,
                subscriber->GetStats().snapshotKeys, taken);
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    NatsServer server;
    server.Start();
    std::printf("%-28s %10s %10s %10s %10s\n", "publisher (per tick, us)", "p50", "p99",
                "published", "dropped");
    const long ticks = quick ? 50000 : 500000;
    PublishCost(server, true, ticks, 5000);
    PublishCost(server, false, ticks, 5000);
    std::printf("\n");
    SubscriberRate(server, quick ? 200000 : 2000000, 5000);
    SnapshotLoad(server, 5000);
    SnapshotLoad(server, quick ? 10000 : 50000);
    return 0;
}
