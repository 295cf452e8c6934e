#include "input_source.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace corvane::feed {

InputSource::~InputSource() {
    if (owned_) ::close(fd_);
}

corvane::Error InputSource::Open(const std::string& path) {
    if (path.empty() || path == "-") {
        fd_ = STDIN_FILENO;
        return {};
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const auto unreadable = [&path](const std::string& why) {
        return corvane::Error(ErrorCode::Argument, "cannot read " + path + ": " + why);
    };
    if (fd_ < 0) return unreadable(std::strerror(errno));
    owned_ = true;
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) return unreadable("it is a directory");
    return {};
}

ByteSource::Status InputSource::Read(std::string& chunk) {
    pollfd watched[2] = {{fd_, POLLIN, 0}, {stop_.WakeDescriptor(), POLLIN, 0}};
    while (true) {
        if (stop_.Requested()) return Status::Stopped;
        const int ready = ::poll(watched, 2, -1);
        if (ready < 0 && errno != EINTR) {
            error_ = std::strerror(errno);
            return Status::Failed;
        }
        if (stop_.Requested()) return Status::Stopped;
        if (ready <= 0 || watched[0].revents == 0) continue;
        char buffer[65536];
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got > 0) {
            chunk.append(buffer, static_cast<std::size_t>(got));
            return Status::Data;
        }
        if (got == 0) return Status::End;
        if (errno == EINTR || errno == EAGAIN) continue;
        error_ = std::strerror(errno);
        return Status::Failed;
    }
}

}  // namespace corvane::feed
