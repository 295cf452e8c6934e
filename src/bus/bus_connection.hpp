// One client connection to the bus server, made with the settings' servers and
// credentials, shared by the publisher and the subscriber. It reconnects by itself
// without end (a short, jittered wait between attempts); its state (connected, how often
// it reconnected, the server's last asynchronous refusal) is kept here, where the
// client's callbacks, running on the client's own threads, record it.
#pragma once

#include <nats/nats.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <string>

#include "bus/bus_settings.hpp"
#include "core/error.hpp"
#include "platform/thread_safety.hpp"

namespace corvane::bus {

// `status` of a client call as an error: a server that cannot be reached is Connect, a
// refusal (authorisation, permissions, a missing bucket, no JetStream, a TLS handshake
// that failed) Refused, a
// deadline Timeout, a bad argument Argument. `what` says what was being done.
Error ErrorOf(natsStatus status, const std::string& what);

class Connection {
  public:
    // Connects once; fails at once when no server answers or the server refuses.
    static Error Open(const BusSettings& settings, std::unique_ptr<Connection>& out);
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    natsConnection* get() const { return nc_; }

    struct State {
        bool connected = false;
        bool closed = false;
        uint64_t reconnects = 0;
        // The server's last refusal sent outside any call (a permission violation).
        natsStatus refusal = NATS_OK;
        std::string refusalText;
    };
    State GetState() const;
    // Waits until the connection is up or `wait` ends; true when it is up.
    bool WaitConnected(std::chrono::milliseconds wait) const;
    // The reconnection count seen last; waits until it differs from `seen`, the
    // connection is closed, Wake is called or `wait` ends.
    void WaitEvent(uint64_t seen, std::chrono::milliseconds wait) const;
    // Wakes the waits of WaitConnected and WaitEvent.
    void Wake();

    // Refused, saying what was being done (`what`) and the server's words, when the
    // client's own last error is a permission violation the server sent in answer to
    // what was sent before the last flush (known once the flush has returned); Ok
    // otherwise.
    Error Refusal(const std::string& what) const;

    // A status as ErrorOf gives, but a timeout that follows a permission violation the
    // server reported is the refusal it is.
    Error Failure(natsStatus status, const std::string& what) const;

  private:
    struct Shared;
    Connection() = default;
    static void OnDisconnected(natsConnection*, void* closure);
    static void OnReconnected(natsConnection*, void* closure);
    static void OnClosed(natsConnection*, void* closure);
    static void OnError(natsConnection*, natsSubscription*, natsStatus, void* closure);

    natsConnection* nc_ = nullptr;
    // Owned; left to the client when it never reported the connection closed, as its
    // callbacks may still run then.
    Shared* shared_ = nullptr;
};

}  // namespace corvane::bus
