#include "bus/bus_connection.hpp"

#include <algorithm>
#include <cctype>
#include <vector>

namespace corvane::bus {

using namespace std::chrono;

struct Connection::Shared {
    mutable platform::Mutex mu;
    mutable std::condition_variable changed;
    State state GUARDED_BY(mu);
    uint64_t wakes GUARDED_BY(mu) = 0;
};

namespace {

// Between two connection attempts: this long, plus up to the jitter.
constexpr int64_t kReconnectWaitMs = 250;
constexpr int64_t kReconnectJitterMs = 250;
// A server that stops answering is noticed after this many unanswered pings.
constexpr int64_t kPingIntervalMs = 5000;
constexpr int kMaxPingsOut = 2;

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> SplitUrls(const std::string& urls) {
    std::vector<std::string> out;
    std::string current;
    for (const char c : urls + ",") {
        if (c == ',') {
            if (!current.empty()) out.push_back(current);
            current.clear();
        } else if (!std::isspace(static_cast<unsigned char>(c))) {
            current += c;
        }
    }
    return out;
}

// Runs the option calls in turn, stopping at the first failure.
struct OptionCalls {
    natsStatus status = NATS_OK;
    std::string what;
    void operator()(natsStatus s, const char* call) {
        if (status == NATS_OK && s != NATS_OK) {
            status = s;
            what = call;
        }
    }
};

}  // namespace

Error ErrorOf(natsStatus status, const std::string& what) {
    if (status == NATS_OK) return {};
    natsStatus ignored = NATS_OK;
    const char* detail = nats_GetLastError(&ignored);
    // The client's text, without the source location it starts with.
    std::string why = detail != nullptr ? detail : "";
    if (!why.empty() && why.front() == '(') {
        const std::size_t end = why.find("): ");
        if (end != std::string::npos) why.erase(0, end + 3);
    }
    if (why.empty()) why = natsStatus_GetText(status);
    std::string text = what + ": " + why;
    const std::string lower = Lower(text);
    switch (status) {
        case NATS_NO_SERVER:
        case NATS_IO_ERROR:
        case NATS_CONNECTION_CLOSED:
        case NATS_CONNECTION_DISCONNECTED:
        case NATS_STALE_CONNECTION:
        case NATS_NOT_YET_CONNECTED:
            return Error(ErrorCode::Connect, text);
        case NATS_CONNECTION_AUTH_FAILED:
        case NATS_NOT_PERMITTED:
        case NATS_NOT_FOUND:
        case NATS_NO_RESPONDERS:
        case NATS_SECURE_CONNECTION_REQUIRED:
        case NATS_SECURE_CONNECTION_WANTED:
        // The server answered but the TLS handshake failed: mostly a certificate the
        // client does not trust (a missing or wrong CA file).
        case NATS_SSL_ERROR:
            return Error(ErrorCode::Refused, text);
        case NATS_TIMEOUT:
            return Error(ErrorCode::Timeout, text);
        case NATS_INVALID_ARG:
        case NATS_INVALID_SUBJECT:
        case NATS_INVALID_TIMEOUT:
        case NATS_ADDRESS_MISSING:
            return Error(ErrorCode::Argument, text);
        default:
            break;
    }
    if (lower.find("authorization") != std::string::npos ||
        lower.find("permission") != std::string::npos ||
        lower.find("authentication") != std::string::npos) {
        return Error(ErrorCode::Refused, text);
    }
    return Error(ErrorCode::Internal, text);
}

Error Connection::Open(const BusSettings& settings, std::unique_ptr<Connection>& out) {
    out.reset();
    const std::vector<std::string> urls =
        SplitUrls(settings.url.empty() ? kDefaultUrl : settings.url);
    if (urls.empty()) return Error(ErrorCode::Argument, "no server URL");
    if (settings.connectTimeout <= milliseconds(0)) {
        return Error(ErrorCode::Argument, "the connect timeout must be positive");
    }
    if (!settings.password.empty() && settings.user.empty()) {
        return Error(ErrorCode::Argument, "a password needs a user");
    }

    std::unique_ptr<Connection> connection(new Connection());
    connection->shared_ = new Shared();
    Shared* shared = connection->shared_;

    natsOptions* opts = nullptr;
    natsStatus s = natsOptions_Create(&opts);
    if (s != NATS_OK) return ErrorOf(s, "creating the client options");
    std::vector<const char*> servers;
    for (const std::string& url : urls) servers.push_back(url.c_str());
    OptionCalls call;
    call(natsOptions_SetServers(opts, servers.data(), static_cast<int>(servers.size())),
         "server URL");
    call(natsOptions_SetName(opts, settings.name.c_str()), "client name");
    call(natsOptions_SetTimeout(opts, settings.connectTimeout.count()), "connect timeout");
    call(natsOptions_SetAllowReconnect(opts, true), "reconnection");
    call(natsOptions_SetMaxReconnect(opts, -1), "reconnection");
    call(natsOptions_SetReconnectWait(opts, kReconnectWaitMs), "reconnection");
    call(natsOptions_SetReconnectJitter(opts, kReconnectJitterMs, kReconnectJitterMs),
         "reconnection");
    call(natsOptions_SetPingInterval(opts, kPingIntervalMs), "ping interval");
    call(natsOptions_SetMaxPingsOut(opts, kMaxPingsOut), "ping interval");
    if (!settings.user.empty()) {
        call(natsOptions_SetUserInfo(opts, settings.user.c_str(), settings.password.c_str()),
             "user");
    }
    if (!settings.token.empty()) call(natsOptions_SetToken(opts, settings.token.c_str()), "token");
    if (!settings.credsFile.empty()) {
        call(natsOptions_SetUserCredentialsFromFiles(opts, settings.credsFile.c_str(), nullptr),
             "credentials file");
    }
    if (!settings.caFile.empty()) {
        call(natsOptions_SetSecure(opts, true), "TLS");
        call(natsOptions_LoadCATrustedCertificates(opts, settings.caFile.c_str()), "CA file");
    }
    call(natsOptions_SetDisconnectedCB(opts, &Connection::OnDisconnected, shared), "callbacks");
    call(natsOptions_SetReconnectedCB(opts, &Connection::OnReconnected, shared), "callbacks");
    call(natsOptions_SetClosedCB(opts, &Connection::OnClosed, shared), "callbacks");
    call(natsOptions_SetErrorHandler(opts, &Connection::OnError, shared), "callbacks");
    if (call.status != NATS_OK) {
        Error error = ErrorOf(call.status, "setting the " + call.what);
        natsOptions_Destroy(opts);
        if (error == ErrorCode::Internal) error = Error(ErrorCode::Argument, error.message());
        return error;
    }

    s = natsConnection_Connect(&connection->nc_, opts);
    natsOptions_Destroy(opts);
    if (s != NATS_OK) {
        Error error = ErrorOf(s, "connecting to " + settings.url);
        // No connection was made: no callback holds the shared state.
        connection->nc_ = nullptr;
        delete connection->shared_;
        connection->shared_ = nullptr;
        return error;
    }
    {
        platform::Lock lock(shared->mu);
        shared->state.connected = true;
    }
    out = std::move(connection);
    return {};
}

Connection::~Connection() {
    if (nc_ == nullptr) {
        delete shared_;
        return;
    }
    natsConnection_Close(nc_);
    bool closed = false;
    {
        platform::Lock lock(shared_->mu);
        closed = lock.WaitFor(shared_->changed, seconds(5),
                              [&]() REQUIRES(shared_->mu) { return shared_->state.closed; });
    }
    natsConnection_Destroy(nc_);
    if (closed) delete shared_;
}

Connection::State Connection::GetState() const {
    platform::Lock lock(shared_->mu);
    return shared_->state;
}

bool Connection::WaitConnected(milliseconds wait) const {
    platform::Lock lock(shared_->mu);
    const uint64_t wakes = shared_->wakes;
    return lock.WaitFor(shared_->changed, wait, [&]() REQUIRES(shared_->mu) {
        return shared_->state.connected || shared_->state.closed || shared_->wakes != wakes;
    }) && shared_->state.connected;
}

void Connection::WaitEvent(uint64_t seen, milliseconds wait) const {
    platform::Lock lock(shared_->mu);
    const uint64_t wakes = shared_->wakes;
    lock.WaitFor(shared_->changed, wait, [&]() REQUIRES(shared_->mu) {
        return shared_->state.reconnects != seen || shared_->state.closed ||
               shared_->wakes != wakes;
    });
}

void Connection::Wake() {
    {
        platform::Lock lock(shared_->mu);
        ++shared_->wakes;
    }
    shared_->changed.notify_all();
}

Error Connection::Refusal(const std::string& what) const {
    const char* detail = nullptr;
    if (natsConnection_GetLastError(nc_, &detail) != NATS_NOT_PERMITTED) return {};
    return Error(ErrorCode::Refused, what + ": " + (detail != nullptr ? detail : ""));
}

Error Connection::Failure(natsStatus status, const std::string& what) const {
    Error error = ErrorOf(status, what);
    if (error == ErrorCode::Timeout || error == ErrorCode::Internal) {
        if (Error refused = Refusal(what); !refused.ok()) return refused;
    }
    return error;
}

void Connection::OnDisconnected(natsConnection*, void* closure) {
    auto* shared = static_cast<Shared*>(closure);
    {
        platform::Lock lock(shared->mu);
        shared->state.connected = false;
    }
    shared->changed.notify_all();
}

void Connection::OnReconnected(natsConnection*, void* closure) {
    auto* shared = static_cast<Shared*>(closure);
    {
        platform::Lock lock(shared->mu);
        shared->state.connected = true;
        ++shared->state.reconnects;
    }
    shared->changed.notify_all();
}

void Connection::OnClosed(natsConnection*, void* closure) {
    auto* shared = static_cast<Shared*>(closure);
    {
        platform::Lock lock(shared->mu);
        shared->state.connected = false;
        shared->state.closed = true;
    }
    shared->changed.notify_all();
}

void Connection::OnError(natsConnection* nc, natsSubscription*, natsStatus status, void* closure) {
    auto* shared = static_cast<Shared*>(closure);
    const char* text = nullptr;
    natsConnection_GetLastError(nc, &text);
    {
        platform::Lock lock(shared->mu);
        shared->state.refusal = status;
        shared->state.refusalText = text != nullptr ? text : natsStatus_GetText(status);
    }
    shared->changed.notify_all();
}

}  // namespace corvane::bus
