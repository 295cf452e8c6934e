// File-system questions the library asks.
#pragma once

#include <string>

namespace corvane::platform {

// True when `path` names an existing file or directory.
bool PathExists(const char* path);

// Whether users other than the file's owner (its group, or anyone) may read the file at
// `path`; false when there is no such file.
bool ReadableByOthers(const char* path);

// The directory of the file that `path` finally names once every symbolic link is
// followed, or "" when there is no such file.
std::string RealDirectoryOf(const char* path);

}  // namespace corvane::platform
