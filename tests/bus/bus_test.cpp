// The bus against a real NATS server: what a late subscriber gets from a bucket, what
// survives a server restart, credentials, an absent server, and the key escaping.
#include <corvane/corvane.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bus/bus_key.hpp"
#include "bus/bus_publisher.hpp"
#include "bus/bus_subscriber.hpp"
#include "support/nats_server.hpp"

namespace corvane::bus {
namespace {

using namespace std::chrono;
using test::NatsServer;

BusSettings At(const std::string& url) {
    BusSettings settings;
    settings.url = url;
    return settings;
}

std::string Scrip(int i) { return "S" + std::to_string(i); }
std::string Record(const std::string& exchange, const std::string& scrip, int version) {
    return exchange + ",x," + scrip + "," + std::to_string(version);
}

// Takes messages into `seen` (origin -> newest payload) until `done` holds or 30 s pass.
template <typename Done>
bool Collect(Subscriber& subscriber, std::map<std::string, std::string>& seen, Done done) {
    const auto deadline = steady_clock::now() + seconds(30);
    while (!done()) {
        if (steady_clock::now() > deadline) return false;
        std::vector<BusMessage> batch;
        const Error error = subscriber.Next(batch, milliseconds(100));
        if (!error.ok()) return false;
        for (BusMessage& m : batch) seen[m.origin] = std::move(m.payload);
    }
    // What came before the condition held (the snapshot before its end, say).
    std::vector<BusMessage> rest;
    if (!subscriber.Next(rest, milliseconds(0)).ok()) return false;
    for (BusMessage& m : rest) seen[m.origin] = std::move(m.payload);
    return true;
}

TEST(BusTest, LateSubscriberGetsEveryInstrumentOfTheBucket) {
    NatsServer server;
    server.Start();
    std::unique_ptr<Publisher> publisher;
    ASSERT_TRUE(Publisher::Open(At(server.Url()), "", "ticks", publisher).ok());
    for (int i = 0; i < 1000; ++i) {
        ASSERT_TRUE(publisher->Publish("NSE", Scrip(i), Record("NSE", Scrip(i), 1)).ok());
        ASSERT_TRUE(publisher->Publish("NSE", Scrip(i), Record("NSE", Scrip(i), 2)).ok());
    }
    // An exchange and a scrip code that no subject token or key could hold as they are.
    ASSERT_TRUE(publisher->Publish("N.S E", "A>*", "odd").ok());
    ASSERT_TRUE(publisher->Flush(Timeout::After(seconds(30))).ok());

    std::unique_ptr<Subscriber> subscriber;
    const Error opened = Subscriber::OpenBucket(At(server.Url()), "ticks", subscriber);
    ASSERT_TRUE(opened.ok()) << opened.message();
    std::map<std::string, std::string> seen;
    ASSERT_TRUE(
        Collect(*subscriber, seen, [&] { return subscriber->GetStats().snapshotComplete; }));

    ASSERT_EQ(seen.size(), 1001u);
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(seen[BusInstrumentKey("NSE", Scrip(i))], Record("NSE", Scrip(i), 2));
    }
    EXPECT_EQ(seen[BusInstrumentKey("N.S E", "A>*")], "odd");
    EXPECT_EQ(subscriber->GetStats().snapshotKeys, 1001u);
}

TEST(BusTest, SubscriberHoldsEveryLastValueAcrossAServerRestart) {
    NatsServer server;
    server.Start();
    std::unique_ptr<Publisher> publisher;
    ASSERT_TRUE(Publisher::Open(At(server.Url()), "md", "ticks", publisher).ok());
    constexpr int kInstruments = 300;
    for (int i = 0; i < kInstruments; ++i) {
        ASSERT_TRUE(publisher->Publish("BSE", Scrip(i), Record("BSE", Scrip(i), 1)).ok());
    }
    ASSERT_TRUE(publisher->Flush(Timeout::After(seconds(30))).ok());
    std::unique_ptr<Subscriber> subscriber;
    ASSERT_TRUE(Subscriber::OpenBucket(At(server.Url()), "ticks", subscriber).ok());
    std::map<std::string, std::string> seen;
    ASSERT_TRUE(Collect(*subscriber, seen, [&] { return seen.size() == kInstruments; }));

    // The server restarts with its store, then without it (the bucket is gone): each
    // time half the instruments tick before it goes, the rest while it is away.
    for (const int version : {2, 3}) {
        for (int i = 0; i < kInstruments / 2; ++i) {
            ASSERT_TRUE(publisher->Publish("BSE", Scrip(i), Record("BSE", Scrip(i), version)).ok());
        }
        server.Stop();
        for (int i = kInstruments / 2; i < kInstruments; ++i) {
            ASSERT_TRUE(publisher->Publish("BSE", Scrip(i), Record("BSE", Scrip(i), version)).ok());
        }
        server.Restart(version == 2);
        ASSERT_TRUE(publisher->Flush(Timeout::After(seconds(30))).ok());

        const auto allNew = [&] {
            for (int i = 0; i < kInstruments; ++i) {
                if (seen[BusInstrumentKey("BSE", Scrip(i))] != Record("BSE", Scrip(i), version)) {
                    return false;
                }
            }
            return true;
        };
        EXPECT_TRUE(Collect(*subscriber, seen, allNew)) << "version " << version << "\n"
                                                        << server.Log();
    }
    EXPECT_GE(subscriber->GetStats().reconnects, 2u);
    EXPECT_EQ(publisher->GetStats().dropped, 0u);
}

TEST(BusTest, ServerWithUsersRefusesClientsWithoutCredentials) {
    NatsServer server;
    NatsServer::Options options;
    options.user = "desk";
    options.password = "s3cret";
    server.Start(options);

    std::unique_ptr<Subscriber> subscriber;
    EXPECT_EQ(Subscriber::OpenSubject(At(server.Url()), "md.>", subscriber).code(),
              ErrorCode::Refused);
    BusSettings wrong = At(server.Url());
    wrong.user = "desk";
    wrong.password = "guess";
    std::unique_ptr<Publisher> publisher;
    EXPECT_EQ(Publisher::Open(wrong, "", "", publisher).code(), ErrorCode::Refused);

    BusSettings right = At(server.Url());
    right.user = "desk";
    right.password = "s3cret";
    ASSERT_TRUE(Subscriber::OpenSubject(right, "md.>", subscriber).ok());
    ASSERT_TRUE(Publisher::Open(right, "", "", publisher).ok());
    ASSERT_TRUE(publisher->Publish("NSE", "1", "a").ok());
    ASSERT_TRUE(publisher->Flush(Timeout::After(seconds(10))).ok());
    std::map<std::string, std::string> seen;
    EXPECT_TRUE(Collect(*subscriber, seen, [&] { return seen.count("md.NSE.1") == 1; }));
}

TEST(BusTest, ServerWithATokenTakesOnlyThatToken) {
    NatsServer server;
    NatsServer::Options options;
    options.extraConfig = "authorization { token: \"t0ken\" }";
    server.Start(options);

    std::unique_ptr<Publisher> publisher;
    EXPECT_EQ(Publisher::Open(At(server.Url()), "", "", publisher).code(), ErrorCode::Refused);
    BusSettings token = At(server.Url());
    token.token = "guess";
    EXPECT_EQ(Publisher::Open(token, "", "", publisher).code(), ErrorCode::Refused);
    token.token = "t0ken";
    std::unique_ptr<Subscriber> subscriber;
    EXPECT_TRUE(Subscriber::OpenSubject(token, "md.>", subscriber).ok());
}

// A desk that may publish nothing but the requests a bucket watch makes (and its flow
// control replies, without which a large snapshot stalls) gets the whole bucket, and a
// subject it may not read is refused at once.
TEST(BusTest, ReadOnlyDeskWatchesTheBucketAndIsRefusedOtherSubjects) {
    NatsServer server;
    NatsServer::Options options;
    options.extraConfig = R"(authorization {
  users = [
    {user: feed, password: feed}
    {user: desk, password: desk, permissions: {
      publish: {allow: ["$JS.API.STREAM.INFO.KV_ticks", "$JS.API.STREAM.NAMES",
                        "$JS.API.CONSUMER.CREATE.KV_ticks", "$JS.API.CONSUMER.DELETE.KV_ticks.>",
                        "$JS.FC.KV_ticks.>"]}
      subscribe: {allow: "_INBOX.>"}
    }}
  ]
})";
    server.Start(options);
    BusSettings feed = At(server.Url());
    feed.user = feed.password = "feed";
    std::unique_ptr<Publisher> publisher;
    ASSERT_TRUE(Publisher::Open(feed, "", "ticks", publisher).ok());
    for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(publisher->Publish("NSE", Scrip(i), std::string(400, 'x')).ok());
    }
    ASSERT_TRUE(publisher->Flush(Timeout::After(seconds(30))).ok());

    BusSettings desk = At(server.Url());
    desk.user = desk.password = "desk";
    std::unique_ptr<Subscriber> subscriber;
    EXPECT_EQ(Subscriber::OpenSubject(desk, "md.>", subscriber).code(), ErrorCode::Refused);
    const Error opened = Subscriber::OpenBucket(desk, "ticks", subscriber);
    ASSERT_TRUE(opened.ok()) << opened.message();
    std::map<std::string, std::string> seen;
    EXPECT_TRUE(Collect(*subscriber, seen, [&] { return seen.size() == 5000; })) << server.Log();
}

// A server that takes TLS only: a client that trusts its CA gets through, a plain one is
// refused.
TEST(BusTest, TlsServerAcceptsAClientWithItsCa) {
    NatsServer server;
    server.Start();  // for its folder
    const std::string dir = server.Folder();
    const std::string make =
        "cd '" + dir +
        "' && openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem "
        "-days 1 -subj /CN=ca && openssl req -newkey rsa:2048 -nodes -keyout server.key "
        "-out server.csr -subj /CN=127.0.0.1 && printf 'subjectAltName=IP:127.0.0.1' > ext && "
        "openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial "
        "-out server.pem -days 1 -extfile ext";
    ASSERT_EQ(std::system((make + " >/dev/null 2>&1").c_str()), 0);
    NatsServer::Options options;
    options.extraConfig = "tls {\n  cert_file: \"" + dir + "/server.pem\"\n  key_file: \"" + dir +
                          "/server.key\"\n}\n";
    server.Start(options);

    std::unique_ptr<Publisher> publisher;
    const Error plain = Publisher::Open(At(server.Url()), "", "", publisher);
    EXPECT_EQ(plain.code(), ErrorCode::Refused) << plain.message();
    BusSettings secure = At(server.Url());
    secure.caFile = dir + "/ca.pem";
    const Error opened = Publisher::Open(secure, "", "ticks", publisher);
    ASSERT_TRUE(opened.ok()) << opened.message();
    ASSERT_TRUE(publisher->Publish("NSE", "1", "one").ok());
    EXPECT_TRUE(publisher->Flush(Timeout::After(seconds(10))).ok());
}

TEST(BusTest, AbsentServerFailsTheOpeningAndNeverBlocksAnOpenPublisher) {
    const std::string nowhere = "nats://127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
    std::unique_ptr<Publisher> publisher;
    EXPECT_EQ(Publisher::Open(At(nowhere), "", "", publisher).code(), ErrorCode::Connect);
    std::unique_ptr<Subscriber> subscriber;
    EXPECT_EQ(Subscriber::OpenBucket(At(nowhere), "ticks", subscriber).code(), ErrorCode::Connect);

    NatsServer server;
    server.Start();
    ASSERT_TRUE(Publisher::Open(At(server.Url()), "", "ticks", publisher, 10).ok());
    server.Stop();
    // Ticks published before the client noticed would still be sent, not held.
    const auto noticed = steady_clock::now() + seconds(20);
    while (publisher->GetStats().connected && steady_clock::now() < noticed)
        std::this_thread::sleep_for(milliseconds(20));
    ASSERT_FALSE(publisher->GetStats().connected);
    const auto start = steady_clock::now();
    for (int round = 0; round < 3; ++round) {
        for (int i = 0; i < 100; ++i) {
            ASSERT_TRUE(publisher->Publish("NSE", Scrip(i), Record("NSE", Scrip(i), round)).ok());
        }
    }
    // A call that waited for the server would take its connect timeout.
    EXPECT_LT(steady_clock::now() - start, seconds(1));
    // Ten instruments are held (the newest tick each, the two before it replaced); every
    // tick of the others dropped.
    EXPECT_EQ(publisher->GetStats().dropped, 270u);
    EXPECT_EQ(publisher->GetStats().replaced, 20u);
    EXPECT_EQ(publisher->Flush(Timeout::After(milliseconds(300))).code(), ErrorCode::Timeout);
}

TEST(BusTest, SubjectSubscriberKeepsTheNewestRecordOfAnInstrumentItHasNotTaken) {
    NatsServer server;
    server.Start();
    std::unique_ptr<Subscriber> subscriber;
    ASSERT_TRUE(Subscriber::OpenSubject(At(server.Url()), "md.NSE.*", subscriber).ok());
    std::unique_ptr<Publisher> publisher;
    ASSERT_TRUE(Publisher::Open(At(server.Url()), "", "", publisher).ok());
    for (int v = 0; v < 50; ++v) {
        ASSERT_TRUE(publisher->Publish("NSE", "7", Record("NSE", "7", v)).ok());
        ASSERT_TRUE(publisher->Flush(Timeout::After(seconds(10))).ok());
    }
    ASSERT_TRUE(publisher->Publish("BSE", "7", "other exchange").ok());
    ASSERT_TRUE(publisher->Flush(Timeout::After(seconds(10))).ok());
    const auto deadline = steady_clock::now() + seconds(10);
    while (subscriber->GetStats().messages < 50 && steady_clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    std::vector<BusMessage> batch;
    ASSERT_TRUE(subscriber->Next(batch, seconds(1)).ok());
    ASSERT_EQ(batch.size(), 1u);
    EXPECT_EQ(batch[0].origin, "md.NSE.7");
    EXPECT_EQ(batch[0].payload, Record("NSE", "7", 49));
    EXPECT_EQ(subscriber->GetStats().coalesced, 49u);
}

// The live table takes "nse"/"0500325" and "NSE"/"500325" for one instrument, one row:
// so do the bucket and the subjects.
TEST(BusTest, OneInstrumentIsOneKeyAndOneSubjectHoweverItsCodesAreSpelled) {
    NatsServer server;
    server.Start();
    std::unique_ptr<Subscriber> desk;
    ASSERT_TRUE(Subscriber::OpenSubject(At(server.Url()), "md.NSE.*", desk).ok());
    std::unique_ptr<Publisher> publisher;
    ASSERT_TRUE(Publisher::Open(At(server.Url()), "", "ticks", publisher).ok());
    const std::string first = "nse,RELIANCE,0500325,1";
    const std::string second = "NSE,RELIANCE,500325,2";
    ASSERT_TRUE(publisher->Publish("nse", "0500325", first).ok());
    ASSERT_TRUE(publisher->Flush(Timeout::After(seconds(10))).ok());
    ASSERT_TRUE(publisher->Publish("NSE", "500325", second).ok());
    ASSERT_TRUE(publisher->Flush(Timeout::After(seconds(10))).ok());

    const auto deadline = steady_clock::now() + seconds(10);
    while (desk->GetStats().messages < 2 && steady_clock::now() < deadline) {
        std::this_thread::sleep_for(milliseconds(10));
    }
    std::vector<BusMessage> batch;
    ASSERT_TRUE(desk->Next(batch, seconds(1)).ok());
    ASSERT_EQ(batch.size(), 1u);  // both on one subject, the newer kept
    EXPECT_EQ(batch[0].origin, "md.NSE.500325");
    EXPECT_EQ(batch[0].payload, second);

    std::unique_ptr<Subscriber> late;
    ASSERT_TRUE(Subscriber::OpenBucket(At(server.Url()), "ticks", late).ok());
    std::map<std::string, std::string> seen;
    ASSERT_TRUE(Collect(*late, seen, [&] { return late->GetStats().snapshotComplete; }));
    EXPECT_EQ(seen, (std::map<std::string, std::string>{{"NSE.500325", second}}));
}

TEST(BusTest, CApiPublishesRecordsIntoABucket) {
    NatsServer server;
    server.Start();
    corvane_publisher_options options;
    corvane_publisher_default_options(&options);
    const std::string nowhere = "nats://127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
    options.url = nowhere.c_str();
    EXPECT_EQ(corvane_publisher_open(&options), nullptr);
    EXPECT_EQ(corvane_last_error_code(), CORVANE_E_CONNECT);

    const std::string url = server.Url();
    options.url = url.c_str();
    options.bucket = "desk";
    corvane_publisher* publisher = corvane_publisher_open(&options);
    ASSERT_NE(publisher, nullptr) << corvane_last_error();
    const char* fields[CORVANE_COLUMN_COUNT] = {};
    fields[0] = " NSE ";
    fields[1] = "Reliance, Ltd";
    fields[2] = "500325";
    fields[3] = "say \"hi\"";
    EXPECT_EQ(corvane_publish(publisher, fields), CORVANE_OK);
    fields[2] = nullptr;
    EXPECT_EQ(corvane_publish(publisher, fields), CORVANE_E_ARGUMENT);
    corvane_publisher_stats stats;
    stats.struct_size = sizeof stats;
    EXPECT_EQ(corvane_publisher_flush(publisher, 10000), CORVANE_OK);
    ASSERT_EQ(corvane_publisher_get_stats(publisher, &stats), CORVANE_OK);
    EXPECT_EQ(stats.published, 1u);
    EXPECT_EQ(stats.connected, 1);
    EXPECT_EQ(corvane_publisher_close(publisher, 10000), CORVANE_OK);

    std::unique_ptr<Subscriber> subscriber;
    ASSERT_TRUE(Subscriber::OpenBucket(At(url), "desk", subscriber).ok());
    std::map<std::string, std::string> seen;
    ASSERT_TRUE(
        Collect(*subscriber, seen, [&] { return subscriber->GetStats().snapshotComplete; }));
    EXPECT_EQ(seen["NSE.500325"],
              " NSE ,\"Reliance, Ltd\",500325,\"say \"\"hi\"\"\"" + std::string(38, ','));
}

TEST(BusTest, KeyTokensHoldAnyTextAndGiveItBack) {
    for (const std::string text : {"", "NSE", "a.b", "x y*z>", "=3D", "é\x01/"}) {
        const std::string token = BusKeyToken(text);
        EXPECT_EQ(token.find_first_of(". *>"), std::string::npos) << token;
        EXPECT_FALSE(token.empty());
        EXPECT_EQ(BusKeyText(token), text) << token;
    }
    EXPECT_FALSE(BusKeyText("a=4").has_value());
    EXPECT_FALSE(BusKeyText("a.b").has_value());
}

}  // namespace
}  // namespace corvane::bus
