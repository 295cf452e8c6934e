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

// Whether the process `pid` still runs: it exists and has not ended (a process that
// ended but was not yet reaped by its parent does not run).
bool ProcessRunning(pid_t pid);

// Sends SIGKILL to the process group `leader` and waits, at most `waitMs`
// milliseconds, until its leader no longer runs. True when it does not.
bool KillProcessGroup(pid_t leader, int waitMs = 10000);

}  // namespace corvane::platform
