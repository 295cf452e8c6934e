// corvane-publish as a user runs it: exit statuses, its summary, and what lands in the
// bucket.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bus/bus_subscriber.hpp"
#include "support/nats_server.hpp"

namespace corvane::bus {
namespace {

using namespace std::chrono;
using test::NatsServer;

struct ToolRun {
    int status = -1;
    std::string output;  // standard error
};

ToolRun Publish(const std::string& arguments) {
    ToolRun run;
    const std::string command = std::string(CORVANE_PUBLISH_PROGRAM) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer{};
    size_t got = 0;
    while ((got = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
        run.output.append(buffer.data(), got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class PublishToolTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char path[] = "/tmp/corvane-publish-test-XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_GE(fd, 0);
        close(fd);
        input_ = path;
        std::ofstream(input_) << "Exchange,Description,Scrip Code,Best Buy Qty\n"
                                 "NSE,\"RELIANCE, LTD\",2885,194\n"
                                 "BSE,TCS,532540,many\n"
                                 "BSE,TCS,532540,7\n"
                                 "nse,INFY,1594,\n";
    }
    void TearDown() override { unlink(input_.c_str()); }
    std::string input_;
};

TEST_F(PublishToolTest, PublishesSoundLinesIntoTheBucketAndReportsTheMalformedOne) {
    NatsServer server;
    server.Start();
    const ToolRun run = Publish("--nats " + server.Url() + " --bucket desk " + input_);
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("line 3:"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("published 3, dropped 0, malformed 1"), std::string::npos)
        << run.output;

    BusSettings settings;
    settings.url = server.Url();
    std::unique_ptr<Subscriber> subscriber;
    ASSERT_TRUE(Subscriber::OpenBucket(settings, "desk", subscriber).ok());
    std::map<std::string, std::string> seen;
    const auto deadline = steady_clock::now() + seconds(20);
    bool complete = false;
    while (!complete && steady_clock::now() < deadline) {
        // Once complete, one more take gets what the snapshot queued before its end.
        complete = subscriber->GetStats().snapshotComplete;
        std::vector<BusMessage> batch;
        ASSERT_TRUE(subscriber->Next(batch, milliseconds(complete ? 0 : 100)).ok());
        for (BusMessage& m : batch) seen[m.origin] = m.payload;
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen["NSE.2885"], "NSE,\"RELIANCE, LTD\",2885,194" + std::string(38, ','));
    EXPECT_EQ(seen["BSE.532540"], "BSE,TCS,532540,7" + std::string(38, ','));
    EXPECT_EQ(seen.count("NSE.1594"), 1u);  // an instrument's key is spelled one way
}

TEST_F(PublishToolTest, ExitStatusTellsRefusalAbsentServerAndUsage) {
    NatsServer server;
    NatsServer::Options options;
    options.user = "feed";
    options.password = "pw";
    server.Start(options);
    EXPECT_EQ(Publish("--quiet --nats " + server.Url() + " " + input_).status, 6);
    // The feed's spelling of the credentials, and the earlier short one.
    EXPECT_EQ(
        Publish("--quiet --nats " + server.Url() + " --nats-user feed --nats-password pw " + input_)
            .status,
        1);
    EXPECT_EQ(
        Publish("--quiet --nats " + server.Url() + " --nats-user feed --nats-password no " + input_)
            .status,
        6);
    EXPECT_EQ(
        Publish("--quiet --nats " + server.Url() + " --user feed --password pw " + input_).status,
        1);
    const std::string nowhere = "nats://127.0.0.1:" + std::to_string(test::FreeLoopbackPort());
    EXPECT_EQ(Publish("--nats " + nowhere + " " + input_).status, 5);
    EXPECT_EQ(Publish("--nats " + server.Url() + " --no-such-option").status, 2);
}

}  // namespace
}  // namespace corvane::bus
