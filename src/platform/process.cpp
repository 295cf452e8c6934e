#include "platform/process.hpp"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "platform/command_line.hpp"

extern char** environ;

namespace corvane::platform {
namespace {

bool IsExecutableFile(const char* path) {
    struct stat info {};
    return path != nullptr && *path != '\0' && ::stat(path, &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path, X_OK) == 0;
}

// Runs in the grandchild, between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecProgram(const char* executable, char* const* argv, int openMax) {
    ::setsid();
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig) ::sigaction(sig, &standard, nullptr);
    if (::close_range(3, ~0U, 0) != 0) {
        for (int fd = 3; fd < openMax; ++fd) ::close(fd);
    }
    ::execve(executable, argv, environ);
    ::_exit(127);
}

}  // namespace

bool StartDetachedProcess(const char* executable, const char* commandLine) {
    if (!IsExecutableFile(executable)) return false;

    // Everything the children need is built here: after fork only async-signal-safe
    // calls are allowed, as the host may run other threads.
    std::vector<std::string> args = SplitCommandLine(commandLine);
    if (args.empty()) args.emplace_back(executable);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int openMax = static_cast<int>(::sysconf(_SC_OPEN_MAX));

    const pid_t middle = ::fork();
    if (middle < 0) return false;
    if (middle == 0) {
        // The intermediate child forks the program and exits at once, so the program
        // is adopted by init (or the host's subreaper) instead of the host.
        const pid_t program = ::fork();
        if (program == 0) ExecProgram(executable, argv.data(), openMax);
        ::_exit(program < 0 ? 1 : 0);
    }
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace corvane::platform
