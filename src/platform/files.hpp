// File-system questions the library asks.
#pragma once

#include <string>

namespace corvane::platform {

// True when `path` names an existing file or directory.
bool PathExists(const char* path);

// The directory of the file that `path` finally names once every symbolic link is
// followed, or "" when there is no such file.
std::string RealDirectoryOf(const char* path);

}  // namespace corvane::platform
