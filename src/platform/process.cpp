#include "platform/process.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/command_line.hpp"
#include "platform/sigpipe_guard.hpp"

extern char** environ;

namespace corvane::platform {
namespace {

bool IsExecutableFile(const char* path) {
    struct stat info {};
    return path != nullptr && *path != '\0' && ::stat(path, &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path, X_OK) == 0;
}

// Between fork and exec (or for the whole life of a watcher): only async-signal-safe
// calls. Default signal handling, nothing blocked, the three streams on /dev/null and
// every descriptor from `keepFrom` on closed.
void ResetChild(int keepFrom, int openMax) {
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
    if (::close_range(static_cast<unsigned>(keepFrom), ~0U, 0) != 0) {
        for (int fd = keepFrom; fd < openMax; ++fd) ::close(fd);
    }
}

[[noreturn]] void ExecProgram(const char* executable, char* const* argv, int openMax,
                              bool ownSession) {
    if (ownSession) ::setsid();
    ResetChild(3, openMax);
    ::execve(executable, argv, environ);
    ::_exit(127);
}

void WriteAll(int fd, const void* data, std::size_t size) {
    ssize_t written;
    do {
        written = ::write(fd, data, size);
    } while (written < 0 && errno == EINTR);
}

// The watcher of a tied program: the leader of the program's process group, its
// parent, and the holder of the read end of the host's lifeline (descriptor 3) and of a
// descriptor that tells when the host process ended (4, when the kernel offers one).
// It ends the whole group when the lifeline closes or the host ends without releasing
// it, and when the program itself ended (what it left behind goes with it). A released
// lifeline ('r' read from it) lets the group run on without it. Only async-signal-safe
// calls: the host may have had other threads at the fork.
[[noreturn]] void Watch(pid_t program, bool hostWatched) {
    constexpr int kPollMs = 200;
    pollfd watched[2] = {{3, POLLIN, 0}, {4, POLLIN, 0}};
    for (;;) {
        const int ready = ::poll(watched, hostWatched ? 2 : 1, kPollMs);
        if (ready > 0 && watched[0].revents != 0) {
            char sign = 0;
            const ssize_t got = ::read(3, &sign, 1);
            if (got == 1 && sign == 'r') ::_exit(0);
            if (got == 0 || (got < 0 && errno != EINTR)) break;
        }
        if (ready > 0 && hostWatched && watched[1].revents != 0) break;
        int status = 0;
        if (::waitpid(program, &status, WNOHANG) == program) break;
    }
    ::kill(0, SIGKILL);
    ::_exit(0);
}

}  // namespace

namespace {

// A program's argument vector as exec takes it, built before fork: after fork only
// async-signal-safe calls are allowed, as the host may run other threads. It points into
// its own strings, so it stays where it was made.
struct ExecArguments {
    ExecArguments(const char* executable, const char* commandLine)
        : args(SplitCommandLine(commandLine)) {
        if (args.empty()) args.emplace_back(executable);
        argv.reserve(args.size() + 1);
        for (std::string& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
    }
    ExecArguments(const ExecArguments&) = delete;
    ExecArguments& operator=(const ExecArguments&) = delete;

    std::vector<std::string> args;
    std::vector<char*> argv;
};

// Reads the process id that the intermediate child `middle` reports through the pipe end
// `fd`, closes it and reaps that child. Returns the id, or 0 when none came;
// `exitedCleanly` tells whether the child exited with status 0.
pid_t TakeReportedPid(int fd, pid_t middle, bool& exitedCleanly) {
    pid_t reported = 0;
    ssize_t got;
    do {
        got = ::read(fd, &reported, sizeof(reported));
    } while (got < 0 && errno == EINTR);
    ::close(fd);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    exitedCleanly = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return got == static_cast<ssize_t>(sizeof(reported)) ? reported : 0;
}

}  // namespace

pid_t StartDetachedProcess(const char* executable, const char* commandLine) {
    if (!IsExecutableFile(executable)) return 0;

    // Everything the children need is built here: after fork only async-signal-safe
    // calls are allowed, as the host may run other threads.
    ExecArguments exec(executable, commandLine);
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
        if (program == 0) ExecProgram(executable, exec.argv.data(), openMax, true);
        if (program > 0) {
            ssize_t written;
            do {
                written = ::write(report[1], &program, sizeof(program));
            } while (written < 0 && errno == EINTR);
        }
        ::_exit(program < 0 ? 1 : 0);
    }
    ::close(report[1]);
    bool exitedCleanly = false;
    const pid_t program = TakeReportedPid(report[0], middle, exitedCleanly);
    return exitedCleanly ? program : 0;
}

pid_t StartTiedProcess(const char* executable, const char* commandLine, Lifeline& lifeline) {
    if (!IsExecutableFile(executable)) return 0;
    ExecArguments exec(executable, commandLine);
    const int openMax = static_cast<int>(::sysconf(_SC_OPEN_MAX));
    const pid_t host = ::getpid();

    // Both pipes are close-on-exec: no program this host starts holds them open. The
    // host keeps the lifeline's write end and nobody else does.
    int report[2];
    int life[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return 0;
    if (::pipe2(life, O_CLOEXEC) != 0) {
        ::close(report[0]);
        ::close(report[1]);
        return 0;
    }
    const pid_t middle = ::fork();
    if (middle < 0) {
        for (int fd : {report[0], report[1], life[0], life[1]}) ::close(fd);
        return 0;
    }
    if (middle == 0) {
        // Exits at once, so that the watcher is adopted by init, not the host.
        const pid_t watcher = ::fork();
        if (watcher == 0) {
            ::setsid();
            // A descriptor that becomes readable when the host process ends: the lifeline
            // alone would stay open in a child the host forked without exec.
            const int hostEnd = static_cast<int>(::syscall(SYS_pidfd_open, host, 0));
            const int lifeline = ::fcntl(life[0], F_DUPFD_CLOEXEC, 10);
            const int reporter = ::fcntl(report[1], F_DUPFD_CLOEXEC, 10);
            const int hostFd = hostEnd >= 0 ? ::fcntl(hostEnd, F_DUPFD_CLOEXEC, 10) : -1;
            ::dup2(lifeline, 3);
            if (hostFd >= 0) ::dup2(hostFd, 4);
            const pid_t program = ::fork();
            if (program == 0) ExecProgram(executable, exec.argv.data(), openMax, false);
            if (program < 0) ::_exit(1);
            const pid_t self = ::getpid();
            WriteAll(reporter, &self, sizeof(self));
            ResetChild(hostFd >= 0 ? 5 : 4, openMax);
            Watch(program, hostFd >= 0);
        }
        ::_exit(watcher < 0 ? 1 : 0);
    }
    ::close(report[1]);
    ::close(life[0]);
    bool exitedCleanly = false;
    const pid_t leader = TakeReportedPid(report[0], middle, exitedCleanly);
    if (leader <= 0) {
        ::close(life[1]);
        return 0;
    }
    lifeline = Lifeline(life[1]);
    return leader;
}

Lifeline::~Lifeline() { Cut(); }

Lifeline& Lifeline::operator=(Lifeline&& other) noexcept {
    if (this != &other) {
        Cut();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

void Lifeline::Cut() noexcept {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

void Lifeline::Release() noexcept {
    if (fd_ < 0) return;
    const char sign = 'r';
    {
        // A watcher that ended already (its program gone) has closed the other end.
        const SigpipeGuard guard;
        WriteAll(fd_, &sign, 1);
    }
    ::close(fd_);
    fd_ = -1;
}

pid_t GroupMemberNamed(pid_t group, const char* name) {
    if (group <= 0) return 0;
    DIR* const proc = ::opendir("/proc");
    if (proc == nullptr) return 0;
    pid_t found = 0;
    while (const dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') continue;
        // "pid (comm) state ppid pgrp ...": the name may hold any character, so the fields
        // after it are read from the last ')'.
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        const std::string line((std::istreambuf_iterator<char>(stat)),
                               std::istreambuf_iterator<char>());
        const std::string::size_type open = line.find('(');
        const std::string::size_type close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        if (line.compare(open + 1, close - open - 1, name) != 0) continue;
        char state = 0;
        long parent = 0;
        long processGroup = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %ld %ld", &state, &parent, &processGroup) !=
            3)
            continue;
        if (processGroup == group && state != 'Z' && state != 'X') {
            found = static_cast<pid_t>(pid);
            break;
        }
    }
    ::closedir(proc);
    return found;
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

void AskProcessGroupToEnd(pid_t leader) {
    if (leader > 0) ::kill(-leader, SIGTERM);
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
