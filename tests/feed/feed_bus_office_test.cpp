// corvane-feed subscribed to a real NATS server on the loopback interface, into a real
// office: what a desk sees in its sheet (from the copy it saves at Ctrl-C) after a
// snapshot, a server restart, malformed messages and refused or missing servers.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "bus/bus_publisher.hpp"
#include "feed_process.hpp"
#include "support/nats_server.hpp"
#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

constexpr Timeout kFlushWait = Timeout::After(std::chrono::seconds(30));

std::unique_ptr<bus::Publisher> OpenPublisher(const NatsServer& server, const std::string& bucket,
                                              const std::string& user = "",
                                              const std::string& password = "") {
    bus::BusSettings settings;
    settings.url = server.Url();
    settings.user = user;
    settings.password = password;
    std::unique_ptr<bus::Publisher> publisher;
    const Error error = bus::Publisher::Open(settings, "md", bucket, publisher);
    EXPECT_TRUE(error.ok()) << error.message();
    return publisher;
}

// Instrument `k`'s description at tick `tick`, and its record.
std::string Description(int k, int tick) {
    return "I" + std::to_string(k) + " tick " + std::to_string(tick);
}
std::string Tick(int k, int tick) {
    return "NSE," + Description(k, tick) + "," + std::to_string(1000 + k) + "," +
           std::to_string(tick);
}

void PublishAll(bus::Publisher& publisher, int instruments, int tick) {
    for (int k = 0; k < instruments; ++k) {
        const Error error = publisher.Publish("NSE", std::to_string(1000 + k), Tick(k, tick));
        ASSERT_TRUE(error.ok()) << error.message();
    }
    const Error flushed = publisher.Flush(kFlushWait);
    ASSERT_TRUE(flushed.ok()) << flushed.message();
}

// Whether the feed's standard error holds `text` (waiting for it a while).
bool Tells(Feed& feed, const std::string& text) {
    return Eventually([&] { return feed.Err().find(text) != std::string::npos; });
}

// A feed started after 1,000 instruments went into a bucket takes them all from the
// snapshot; malformed values are reported by key and skipped; a server restart
// mid-stream is shown while it lasts and leaves every instrument at its last tick.
TEST(FeedBusOffice, ABucketsSnapshotThenUpdatesThroughAServerRestart) {
    OfficeSession session;  // the pipe to ourselves: the feed's table starts its office
    NatsServer server;
    server.Start();
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    const std::string copy = dir / "copy.csv";
    constexpr int kInstruments = 1000;

    std::unique_ptr<bus::Publisher> publisher = OpenPublisher(server, "md");
    ASSERT_TRUE(publisher);
    PublishAll(*publisher, kInstruments, 1);
    ASSERT_TRUE(publisher->Publish("NSE", "9001", "NSE,\"never closed,9001").ok());
    ASSERT_TRUE(publisher->Publish("NSE", "9002", "NSE,bad qty,9002,many").ok());
    ASSERT_TRUE(publisher->Flush(kFlushWait).ok());

    Feed feed(dir,
              {"--nats", server.Url(), "--bucket", "md", "--sheet", "NSE", "--workbook", book,
               "--interval", "20", "--save-as", copy},
              nullptr);
    ASSERT_TRUE(Tells(feed, "snapshot of bucket \"md\" complete: 1002 instruments")) << feed.Err();
    EXPECT_TRUE(Tells(feed, "key NSE.9001: ")) << feed.Err();
    EXPECT_TRUE(Tells(feed, "key NSE.9002: column D (Best Buy Qty)")) << feed.Err();

    PublishAll(*publisher, kInstruments, 2);
    server.Restart();
    ASSERT_TRUE(Tells(feed, "bus connection lost: the rows on the sheet may be stale"))
        << feed.Err();
    PublishAll(*publisher, kInstruments, 3);
    ASSERT_TRUE(Tells(feed, "bus connection back")) << feed.Err();
    PublishAll(*publisher, kInstruments, 4);
    // The last record published: once it is reported, every tick before it was taken.
    ASSERT_TRUE(publisher->Publish("NSE", "9003", "NSE,last,9003,x").ok());
    ASSERT_TRUE(publisher->Flush(kFlushWait).ok());
    ASSERT_TRUE(Tells(feed, "key NSE.9003: ")) << feed.Err();

    feed.Signal(SIGINT);
    EXPECT_EQ(feed.Wait(), 1) << feed.Err();  // three messages failed
    EXPECT_NE(feed.Err().find(" messages/s in"), std::string::npos) << feed.Err();
    EXPECT_FALSE(OfficeStillAnswers()) << "the feed's office still runs";
    const std::string saved = ReadFile(copy);
    for (int k = 0; k < kInstruments; ++k)
        ASSERT_NE(saved.find("\"" + Description(k, 4) + "\""), std::string::npos)
            << "instrument " << k << " in:\n"
            << saved << feed.Err();
    for (const char* stale : {" tick 1,", " tick 2,", " tick 3,", "9001", "9002", "9003"})
        EXPECT_EQ(saved.find(stale), std::string::npos) << stale;
}

// The server cannot be reached, or refuses the feed's credentials: the run ends at once
// with the status of its own, before any office work. With the credentials, a subject
// feed writes what is published from then on and ends cleanly on Ctrl-C.
TEST(FeedBusOffice, CredentialsAndServersThatCannotBeReached) {
    OfficeSession session;
    TempDir dir;
    const std::string book = dir / "watch.fods";
    WriteWorkbook(book, {"NSE"});
    const std::string copy = dir / "copy.csv";
    const std::vector<std::string> sheet = {"--sheet", "NSE",       "--workbook",
                                            book,      "--save-as", copy};
    const auto args = [&](std::vector<std::string> bus) {
        bus.insert(bus.end(), sheet.begin(), sheet.end());
        return bus;
    };

    const Finished unreachable =
        RunFeed(dir,
                args({"--nats", "nats://127.0.0.1:" + std::to_string(FreeLoopbackPort()),
                      "--subject", "md.>"}),
                "");
    EXPECT_EQ(unreachable.status, 5) << unreachable.err;
    EXPECT_NE(unreachable.err.find("127.0.0.1"), std::string::npos) << unreachable.err;

    NatsServer server;
    NatsServer::Options locked;
    locked.user = "desk";
    locked.password = "s3cret";
    server.Start(locked);
    const Finished refused = RunFeed(dir, args({"--nats", server.Url(), "--subject", "md.>"}), "");
    EXPECT_EQ(refused.status, 6) << refused.err;
    const Finished wrong = RunFeed(dir,
                                   args({"--nats", server.Url(), "--subject", "md.>", "--nats-user",
                                         "desk", "--nats-password", "guess"}),
                                   "");
    EXPECT_EQ(wrong.status, 6) << wrong.err;
    EXPECT_FALSE(OfficeStillAnswers()) << "a refused feed started an office";

    Feed feed(dir,
              args({"--nats", server.Url(), "--subject", "md.NSE.*", "--nats-user", "desk",
                    "--nats-password", "s3cret", "--print-office-pid"}),
              nullptr);
    // Subscribed before its office starts: what is published from then on arrives.
    ASSERT_TRUE(Tells(feed, "office pid ")) << feed.Err();
    std::unique_ptr<bus::Publisher> publisher = OpenPublisher(server, "", "desk", "s3cret");
    ASSERT_TRUE(publisher);
    constexpr int kInstruments = 20;
    PublishAll(*publisher, kInstruments, 1);
    PublishAll(*publisher, kInstruments, 2);
    ASSERT_TRUE(publisher->Publish("BSE", "1", "BSE,elsewhere,1,1").ok());  // not subscribed
    ASSERT_TRUE(publisher->Flush(kFlushWait).ok());
    // The last record published is in its row: every one before it was put.
    ASSERT_TRUE(EventuallyHolds(session, book, 1, kInstruments, Description(kInstruments - 1, 2)))
        << feed.Err();
    feed.Signal(SIGINT);
    EXPECT_EQ(feed.Wait(), 0) << feed.Err();
    EXPECT_NE(feed.Err().find(" messages read, "), std::string::npos) << feed.Err();
    const std::string saved = ReadFile(copy);
    for (int k = 0; k < kInstruments; ++k)
        EXPECT_NE(saved.find("\"" + Description(k, 2) + "\""), std::string::npos)
            << "instrument " << k << " in:\n"
            << saved << feed.Err();
    EXPECT_EQ(saved.find("elsewhere"), std::string::npos);
}

}  // namespace
}  // namespace corvane::test
