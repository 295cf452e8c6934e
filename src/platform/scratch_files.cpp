#include "platform/scratch_files.hpp"

#include <stdlib.h>
#include <time.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

namespace corvane::platform {

Error MakeScratchDirectory(const char* prefix, std::string& path) {
    path.clear();
    const char* base = std::getenv("TMPDIR");
    const std::string folder = base != nullptr && base[0] == '/' ? base : "/tmp";
    std::string pattern = folder + '/' + (prefix != nullptr ? prefix : "") + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        return Error(ErrorCode::Internal,
                     "cannot make a folder in " + folder + ": " + std::strerror(errno));
    path = std::move(pattern);
    return {};
}

double LocalSerialTime(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto sinceEpoch = duration_cast<milliseconds>(when.time_since_epoch()).count();
    const ::time_t seconds = static_cast<::time_t>(sinceEpoch / 1000);
    ::tm local{};
    long offset = 0;  // seconds east of UTC at that moment
    if (::localtime_r(&seconds, &local) != nullptr) offset = local.tm_gmtoff;
    // 1970-01-01 is day 25569 of the office's calendar.
    constexpr double kEpochDay = 25569.0;
    return kEpochDay + (static_cast<double>(sinceEpoch) + offset * 1000.0) / 86400000.0;
}

std::string LocalClockText(std::chrono::system_clock::time_point when) {
    const ::time_t seconds = std::chrono::system_clock::to_time_t(when);
    ::tm local{};
    char text[16] = "";
    if (::localtime_r(&seconds, &local) != nullptr)
        std::strftime(text, sizeof(text), "%H:%M:%S", &local);
    return text;
}

}  // namespace corvane::platform
