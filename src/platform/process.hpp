// Starting a program that lives on by itself.
#pragma once

#include <sys/types.h>

namespace corvane::platform {

// Starts the executable at exactly `executable` (no PATH search) with the arguments
// that `commandLine` gives under Windows command-line rules; the first of them becomes
// argv[0]. No shell is involved, so every character reaches the program literally.
// The program inherits the environment and working directory, gets no descriptors but
// 0 to 2, all on /dev/null, runs in a session of its own and is not a child of the caller, so it
// leaves no zombie behind and outlives the caller. Nothing waits for it. Returns the program's
// process id, which also names its session and process group (the processes it starts
// stay in that group unless they leave it), or 0, starting nothing, when `executable`
// names no executable file.
pid_t StartDetachedProcess(const char* executable, const char* commandLine);

// The host's end of the tie between a program started by StartTiedProcess and this
// process. Cut (by Cut, by destruction, or when this process ends in any way, SIGKILL
// included): the program's whole process group is killed. Released: the group runs on
// by itself.
class Lifeline {
  public:
    Lifeline() = default;
    explicit Lifeline(int fd) : fd_(fd) {}
    ~Lifeline();
    Lifeline(Lifeline&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Lifeline& operator=(Lifeline&& other) noexcept;
    Lifeline(const Lifeline&) = delete;
    Lifeline& operator=(const Lifeline&) = delete;

    bool Held() const { return fd_ >= 0; }
    void Cut() noexcept;
    void Release() noexcept;

  private:
    int fd_ = -1;
};

// Starts the program as StartDetachedProcess does, but tied to this process: a small
// watcher leads the program's process group (it is the returned id, and the program its
// child) and kills the group when `lifeline` is cut or this process ends, and when the
// program ended. Returns 0, starting nothing, when `executable` names no executable file
// or the processes cannot be made.
pid_t StartTiedProcess(const char* executable, const char* commandLine, Lifeline& lifeline);

// A running process of the process group `group` whose command name is `name` (the
// name the kernel keeps, at most 15 characters), or 0. Reads only the processes' status.
pid_t GroupMemberNamed(pid_t group, const char* name);

// Whether the process `pid` still runs: it exists and has not ended (a process that
// ended but was not yet reaped by its parent does not run).
bool ProcessRunning(pid_t pid);

// Sends SIGTERM to the process group `leader`: its programs end in their own way.
void AskProcessGroupToEnd(pid_t leader);

// Sends SIGKILL to the process group `leader` and waits, at most `waitMs`
// milliseconds, until its leader no longer runs. True when it does not.
bool KillProcessGroup(pid_t leader, int waitMs = 10000);

}  // namespace corvane::platform
