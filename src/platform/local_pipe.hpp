// Questions about local processes that the office's lock files lead to.
#pragma once

#include <string>

namespace corvane::platform {

// What a connection to the local (Unix domain) socket at `path` finds. A stopped
// process still accepts (the kernel queues the connection). Sends nothing.
enum class SocketState {
    Answers,  // a process listens on it
    Refused,  // the socket is there, but nobody listens on it any more
    Unknown,  // no such socket, or it cannot be tried
};
SocketState ProbeLocalSocket(const std::string& path);

// This machine's host name, the name of the user this process runs as, and its id.
std::string HostName();
std::string UserName();
unsigned UserId();

}  // namespace corvane::platform
