#include "platform/process.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <iterator>
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
    // The program outlives the host and must not share its streams: it would print into
    // the host's output and hold its input open (a producer writing into a pipe the host
    // no longer reads would then wait forever instead of failing).
    const int null = ::open("/dev/null", O_RDWR);
    if (null >= 0) {
        for (int fd = 0; fd <= 2; ++fd) ::dup2(null, fd);
        if (null > 2) ::close(null);
    }
    if (::close_range(3, ~0U, 0) != 0) {
        for (int fd = 3; fd < openMax; ++fd) ::close(fd);
    }
    ::execve(executable, argv, environ);
    ::_exit(127);
}

}  // namespace

pid_t StartDetachedProcess(const char* executable, const char* commandLine) {
    if (!IsExecutableFile(executable)) return 0;

    // Everything the children need is built here: after fork only async-signal-safe
    // calls are allowed, as the host may run other threads.
    std::vector<std::string> args = SplitCommandLine(commandLine);
    if (args.empty()) args.emplace_back(executable);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const int openMax = static_cast<int>(::sysconf(_SC_OPEN_MAX));

    // The intermediate child reports the program's id through this pipe.
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return 0;
    const pid_t middle = ::fork();
    if (middle < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return 0;
    }
    if (middle == 0) {
        // The intermediate child forks the program and exits at once, so the program
        // is adopted by init (or the host's subreaper) instead of the host.
        ::close(report[0]);
        const pid_t program = ::fork();
        if (program == 0) ExecProgram(executable, argv.data(), openMax);
        if (program > 0) {
            ssize_t written;
            do {
                written = ::write(report[1], &program, sizeof(program));
            } while (written < 0 && errno == EINTR);
        }
        ::_exit(program < 0 ? 1 : 0);
    }
    ::close(report[1]);
    pid_t program = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &program, sizeof(program));
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    const bool started = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return started && got == static_cast<ssize_t>(sizeof(program)) ? program : 0;
}

bool ProcessRunning(pid_t pid) {
    if (pid <= 0) return false;
    // The state follows the command name, which is in parentheses and may hold any
    // character: it is the first field after the last ')'.
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string line((std::istreambuf_iterator<char>(stat)),
                           std::istreambuf_iterator<char>());
    const std::string::size_type end = line.rfind(')');
    if (end == std::string::npos || end + 2 >= line.size()) return false;
    const char state = line[end + 2];
    return state != 'Z' && state != 'X';
}

bool KillProcessGroup(pid_t leader, int waitMs) {
    if (leader <= 0) return true;
    ::kill(-leader, SIGKILL);
    for (int waited = 0; ProcessRunning(leader); waited += 10) {
        if (waited >= waitMs) return false;
        ::usleep(10000);
    }
    return true;
}

}  // namespace corvane::platform
