// Where a bus client connects and with which credentials: shared by the publisher and
// the subscriber.
#pragma once

#include <chrono>
#include <string>

#include "core/defaults.hpp"

namespace corvane::bus {

struct BusSettings {
    std::string url;               // nats://host:port; a comma-separated list for a cluster
    std::string user, password;    // user/password credentials
    std::string token;             // token credential
    std::string credsFile;         // .creds file (JWT + seed)
    std::string caFile;            // TLS: CA file; non-empty turns TLS on
    std::string name = "corvane";  // client name shown by the server
    std::chrono::milliseconds connectTimeout{defaults::kBusConnectTimeoutMs};
};

// The server a client without a URL connects to.
inline constexpr const char* kDefaultUrl = "nats://127.0.0.1:4222";

}  // namespace corvane::bus
