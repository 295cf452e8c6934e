// The C API of the bus publisher: a handle is a Publisher the library allocated.
#include <corvane/corvane.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>

#include "bus/bus_publisher.hpp"
#include "bus/csv_line.hpp"
#include "host/c_errors.hpp"
#include "host/c_timeout.hpp"
#include "platform/instrument_key.hpp"

struct corvane_publisher {
    std::unique_ptr<corvane::bus::Publisher> publisher;
};

namespace corvane::c_api {
namespace {

using namespace std::chrono;

std::string Text(const char* text) { return text != nullptr ? text : ""; }

}  // namespace
}  // namespace corvane::c_api

using namespace corvane;
using namespace corvane::c_api;

CORVANE_C_API void corvane_publisher_default_options(corvane_publisher_options* options) {
    if (options == nullptr) return;
    std::memset(options, 0, sizeof(*options));
    options->struct_size = sizeof(*options);
    options->connect_timeout_ms = defaults::kBusConnectTimeoutMs;
    options->max_pending = static_cast<int>(bus::Publisher::kDefaultBound);
}

CORVANE_C_API corvane_publisher* corvane_publisher_open(const corvane_publisher_options* options) {
    corvane_publisher* opened = nullptr;
    Guarded([&]() -> int {
        if (options == nullptr || options->struct_size < static_cast<int>(sizeof(*options))) {
            return Fail(CORVANE_E_ARGUMENT,
                        "corvane_publisher_open: options not filled by "
                        "corvane_publisher_default_options");
        }
        if (options->connect_timeout_ms < 0 || options->max_pending < 0) {
            return Fail(CORVANE_E_ARGUMENT,
                        "corvane_publisher_open: connect_timeout_ms and max_pending cannot be "
                        "negative");
        }
        bus::BusSettings settings;
        settings.url = Text(options->url);
        settings.user = Text(options->user);
        settings.password = Text(options->password);
        settings.token = Text(options->token);
        settings.credsFile = Text(options->creds_file);
        settings.caFile = Text(options->ca_file);
        if (options->client_name != nullptr && *options->client_name != '\0') {
            settings.name = options->client_name;
        }
        settings.connectTimeout =
            milliseconds(options->connect_timeout_ms > 0 ? options->connect_timeout_ms
                                                         : defaults::kBusConnectTimeoutMs);
        const std::size_t bound = options->max_pending > 0
                                      ? static_cast<std::size_t>(options->max_pending)
                                      : bus::Publisher::kDefaultBound;
        auto handle = std::make_unique<corvane_publisher>();
        const Error error = bus::Publisher::Open(settings, Text(options->prefix),
                                                 Text(options->bucket), handle->publisher, bound);
        if (!error.ok()) return Report(error);
        opened = handle.release();
        return CORVANE_OK;
    });
    return opened;
}

CORVANE_C_API int corvane_publish(corvane_publisher* publisher,
                                  const char* const fields[CORVANE_COLUMN_COUNT]) {
    if (publisher == nullptr || fields == nullptr) {
        return Fail(CORVANE_E_ARGUMENT, "corvane_publish: a NULL publisher or fields");
    }
    return Guarded([&]() -> int {
        const std::string exchange(platform::Trimmed(Text(fields[0])));
        const std::string scrip(platform::Trimmed(Text(fields[2])));
        std::string line;
        for (int i = 0; i < CORVANE_COLUMN_COUNT; ++i) {
            if (i != 0) line += ',';
            bus::AppendCsvField(line, Text(fields[i]));
        }
        const Error error = publisher->publisher->Publish(exchange, scrip, line);
        if (!error.ok()) return Report(error);
        return CORVANE_OK;
    });
}

CORVANE_C_API int corvane_publisher_flush(corvane_publisher* publisher, int timeout_ms) {
    if (publisher == nullptr) return Fail(CORVANE_E_ARGUMENT, "corvane_publisher_flush: NULL");
    return Guarded([&]() -> int {
        const Error error = publisher->publisher->Flush(WaitTimeout(timeout_ms));
        if (!error.ok()) return Report(error);
        return CORVANE_OK;
    });
}

CORVANE_C_API int corvane_publisher_get_stats(corvane_publisher* publisher,
                                              corvane_publisher_stats* out) {
    if (publisher == nullptr || out == nullptr || out->struct_size <= 0) {
        return Fail(CORVANE_E_ARGUMENT,
                    "corvane_publisher_get_stats: a NULL publisher or statistics without "
                    "their size");
    }
    return Guarded([&]() -> int {
        const bus::Publisher::Stats stats = publisher->publisher->GetStats();
        corvane_publisher_stats full;
        std::memset(&full, 0, sizeof(full));
        full.struct_size = std::min<int>(out->struct_size, sizeof(full));
        full.published = stats.published;
        full.dropped = stats.dropped;
        full.replaced = stats.replaced;
        full.reconnects = stats.reconnects;
        full.connected = stats.connected ? 1 : 0;
        std::memcpy(out, &full, static_cast<std::size_t>(full.struct_size));
        return CORVANE_OK;
    });
}

CORVANE_C_API int corvane_publisher_close(corvane_publisher* publisher, int timeout_ms) {
    if (publisher == nullptr) return Fail(CORVANE_E_ARGUMENT, "corvane_publisher_close: NULL");
    const std::unique_ptr<corvane_publisher> owned(publisher);
    return Guarded([&]() -> int {
        const Error error = owned->publisher->Flush(WaitTimeout(timeout_ms));
        owned->publisher.reset();
        if (!error.ok()) return Report(error);
        return CORVANE_OK;
    });
}
