// A real NATS server for one test: on the loopback interface, on a port of its own, with
// JetStream storing into a temporary folder, and stopped by the process id it was
// started with whatever way the test ends (its destructor; and the kernel kills it
// should the test program die, as it is tied to the thread that started it).
#pragma once

#include <sys/types.h>

#include <string>

namespace corvane::test {

class NatsServer {
  public:
    struct Options {
        int port = 0;  // 0: a free loopback port
        bool jetstream = true;
        // Non-empty: clients must log in as this user.
        std::string user, password;
        // Added to the server's configuration file as it is (more users, permissions).
        std::string extraConfig;
    };

    NatsServer() = default;
    ~NatsServer();  // stops the server and removes its folder
    NatsServer(const NatsServer&) = delete;
    NatsServer& operator=(const NatsServer&) = delete;

    // Starts the server and waits until it accepts connections; throws when it does not.
    void Start(const Options& options);
    void Start() { Start(Options()); }
    // Stops the server it started (SIGTERM, then SIGKILL after a few seconds) and waits
    // until it is gone. Nothing when none runs.
    void Stop();
    // Stops it and starts it again on the same port, with the same JetStream store or,
    // `keepStore` false, an empty one (a server that lost its state).
    void Restart(bool keepStore = true);

    bool Running() const { return pid_ > 0; }
    int Port() const { return port_; }
    // nats://127.0.0.1:<port>
    std::string Url() const;
    // The server's own folder (configuration, store, log), kept until it is destroyed:
    // a test may put files the server reads there.
    const std::string& Folder() const { return dir_; }
    // The server's log so far (for a failing test's message).
    std::string Log() const;

  private:
    void Launch();

    Options options_;
    int port_ = 0;
    std::string dir_;  // configuration, store and log
    pid_t pid_ = -1;
};

// A loopback port that nothing listens on now.
int FreeLoopbackPort();

}  // namespace corvane::test
