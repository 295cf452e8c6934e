// Where the live formulas get their data: the bus server, its bucket and credentials,
// and how often cells are told of new values. Read from a small file in the user's
// configuration folder, each line "name = value" ('#' starts a comment), and then from
// the environment, which overrides the file:
//
//   url          CORVANE_LIVE_URL          the server (nats://127.0.0.1:4222)
//   bucket       CORVANE_LIVE_BUCKET       the key-value bucket (marketwatch)
//   user         CORVANE_LIVE_USER         user and password credentials
//   password     CORVANE_LIVE_PASSWORD
//   token        CORVANE_LIVE_TOKEN        a token credential
//   creds        CORVANE_LIVE_CREDS        a .creds file (JWT and seed)
//   ca           CORVANE_LIVE_CA           a CA file: TLS on
//   interval_ms  CORVANE_LIVE_INTERVAL_MS  the least time between two updates (250)
//
// The file is $XDG_CONFIG_HOME/corvane/live.conf, or ~/.config/corvane/live.conf; it
// may be missing. One that holds a password or a token and that other users may read is
// refused, its secrets unused.
#pragma once

#include <chrono>
#include <string>

#include "bus/bus_settings.hpp"
#include "core/error.hpp"

namespace corvane::addin {

struct LiveSettings {
    bus::BusSettings bus;
    std::string bucket = "marketwatch";
    std::chrono::milliseconds interval{250};
};

// Sets `settings` from `file` ("" for none) and then the environment. Argument, saying
// why, for settings that cannot be used: a file others may read that holds a secret (its
// settings are then left out), a value that is no value, no bucket.
Error ReadLiveSettings(const std::string& file, LiveSettings& settings);

// The file the settings are read from for this user.
std::string LiveSettingsFile();

}  // namespace corvane::addin
