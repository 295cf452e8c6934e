#include "platform/files.hpp"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>

namespace corvane::platform {

bool PathExists(const char* path) {
    struct stat info {};
    return path != nullptr && *path != '\0' && ::stat(path, &info) == 0;
}

bool ReadableByOthers(const char* path) {
    struct stat info {};
    return path != nullptr && ::stat(path, &info) == 0 && (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

std::string RealDirectoryOf(const char* path) {
    if (path == nullptr || *path == '\0') return {};
    std::unique_ptr<char, decltype(&std::free)> real(::realpath(path, nullptr), &std::free);
    if (!real) return {};
    std::string resolved(real.get());
    const std::string::size_type slash = resolved.rfind('/');
    return slash == std::string::npos ? std::string() : resolved.substr(0, slash == 0 ? 1 : slash);
}

}  // namespace corvane::platform
