// Folders that a caller makes for its own use and removes again, and the local time.
#pragma once

#include <chrono>
#include <string>

#include "core/error.hpp"

namespace corvane::platform {

// Creates a new, empty directory only this user can enter, named `prefix` followed by
// six random characters, in the system's folder for temporary files ($TMPDIR, else
// /tmp), and sets `path` to it. Internal, saying why, when it could not be made; `path`
// is then "".
Error MakeScratchDirectory(const char* prefix, std::string& path);

// The office's serial date-time of `when` in the local time zone: days since
// 1899-12-30, with the time of day as the fraction (milliseconds kept).
double LocalSerialTime(std::chrono::system_clock::time_point when);

// The local time of day of `when` as "HH:MM:SS".
std::string LocalClockText(std::chrono::system_clock::time_point when);

}  // namespace corvane::platform
