#include "addin/live_settings.hpp"

#include <cstdlib>
#include <fstream>
#include <string_view>
#include <utility>

#include "platform/files.hpp"
#include "platform/instrument_key.hpp"

namespace corvane::addin {
namespace {

using platform::Trimmed;

// A whole number of milliseconds from 1 to 1 hour; false for anything else.
bool ParseInterval(std::string_view text, std::chrono::milliseconds& interval) {
    long value = 0;
    if (text.empty() || text.size() > 7) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 3600000) return false;
    interval = std::chrono::milliseconds(value);
    return true;
}

// Sets one setting; false for a name that is none, or a value it cannot take.
bool Set(LiveSettings& settings, std::string_view name, std::string value) {
    if (name == "url")
        settings.bus.url = std::move(value);
    else if (name == "bucket")
        settings.bucket = std::move(value);
    else if (name == "user")
        settings.bus.user = std::move(value);
    else if (name == "password")
        settings.bus.password = std::move(value);
    else if (name == "token")
        settings.bus.token = std::move(value);
    else if (name == "creds")
        settings.bus.credsFile = std::move(value);
    else if (name == "ca")
        settings.bus.caFile = std::move(value);
    else if (name == "interval_ms")
        return ParseInterval(value, settings.interval);
    else
        return false;
    return true;
}

Error Refuse(std::string why) { return Error(ErrorCode::Argument, std::move(why)); }

// The settings `file` holds over `settings`; none of them when it is refused.
Error ReadFile(const std::string& file, LiveSettings& settings) {
    std::ifstream in(file);
    if (!in) return {};
    LiveSettings read = settings;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::string_view text = Trimmed(line);
        if (text.empty() || text.front() == '#') continue;
        const std::size_t equals = text.find('=');
        const std::string_view name =
            Trimmed(text.substr(0, equals == std::string_view::npos ? 0 : equals));
        if (equals == std::string_view::npos ||
            !Set(read, name, std::string(Trimmed(text.substr(equals + 1))))) {
            return Refuse(file + ", line " + std::to_string(number) + ": \"" + std::string(text) +
                          "\" is no setting");
        }
    }
    if ((!read.bus.password.empty() || !read.bus.token.empty()) &&
        platform::ReadableByOthers(file.c_str())) {
        return Refuse(file + " holds a secret and other users may read it (chmod 600 " + file +
                      ")");
    }
    settings = std::move(read);
    return {};
}

}  // namespace

std::string LiveSettingsFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && *config == '/') return std::string(config) + "/corvane/live.conf";
    const char* home = std::getenv("HOME");
    return home != nullptr && *home != '\0' ? std::string(home) + "/.config/corvane/live.conf"
                                            : std::string();
}

Error ReadLiveSettings(const std::string& file, LiveSettings& settings) {
    settings = LiveSettings{};
    settings.bus.url = bus::kDefaultUrl;
    settings.bus.name = "corvane-live";
    Error refused = file.empty() ? Error() : ReadFile(file, settings);
    static const struct {
        const char* variable;
        const char* name;
    } kEnvironment[] = {
        {"CORVANE_LIVE_URL", "url"},     {"CORVANE_LIVE_BUCKET", "bucket"},
        {"CORVANE_LIVE_USER", "user"},   {"CORVANE_LIVE_PASSWORD", "password"},
        {"CORVANE_LIVE_TOKEN", "token"}, {"CORVANE_LIVE_CREDS", "creds"},
        {"CORVANE_LIVE_CA", "ca"},       {"CORVANE_LIVE_INTERVAL_MS", "interval_ms"},
    };
    for (const auto& entry : kEnvironment) {
        const char* value = std::getenv(entry.variable);
        if (value == nullptr) continue;
        if (!Set(settings, entry.name, value) && refused.ok())
            refused = Refuse(std::string(entry.variable) + "=\"" + value + "\" is no setting");
    }
    if (settings.bucket.empty() && refused.ok()) refused = Refuse("no bucket is set");
    return refused;
}

}  // namespace corvane::addin
