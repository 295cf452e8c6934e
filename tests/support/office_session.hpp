// A real office for one test: exclusive use of the fixed pipe, a throw-away profile,
// and a guaranteed shutdown of every office process that ran on that profile.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "support/office_client.hpp"

namespace corvane::test {

// The office program the tests run.
std::string OfficeExecutable();

// Makes `dir` an office profile (user installation) that skips the office's first-start
// work and its tip dialog.
void SeedProfile(const std::string& dir);

// Starts the program args[0] with the argument vector `args` in a process group of its
// own, which the processes it starts share, so that they are signalled and killed as
// one by the returned id; its output and errors go to `output` (created anew). Throws
// when it cannot be started.
pid_t StartInOwnGroup(std::vector<std::string> args, const std::string& output = "/dev/null");

class OfficeSession {
  public:
    // Waits for exclusive use of the pipe "ooo_pipe" (office tests in other processes
    // wait here too) and creates a fresh profile.
    OfficeSession();
    // Terminates the office through the test's own connection when it has one, then
    // kills the office it started or adopted (its process group), deletes the profile,
    // the pipe files its office left, and frees the pipe.
    ~OfficeSession();
    OfficeSession(const OfficeSession&) = delete;
    OfficeSession& operator=(const OfficeSession&) = delete;

    const std::string& ProfileDirectory() const { return profileDir_; }
    // Command line for a headless office on this profile accepting on "ooo_pipe"
    // (Windows quoting: the office path comes first, in quotes).
    std::string HeadlessCommandLine() const;
    // The same without --headless and with -invisible, for an office on a display.
    std::string InvisibleCommandLine() const;

    // Starts a headless office on this profile and waits until it accepts.
    OfficeClient& Start();
    // Connects the test's own client to whatever office accepts on the pipe, waiting
    // up to `timeout` for it.
    OfficeClient& Client(std::chrono::milliseconds timeout = std::chrono::seconds(60));
    // Whether the office this session started or adopted still runs.
    bool Running() const;
    // Takes over the office that the library started (the process group `leader`): the
    // session signals, kills and ends it as one it started itself.
    void Adopt(pid_t leader) { started_ = leader; }
    // Sends `signal` to the processes of the office that Start started.
    void Signal(int signal) const;
    // SIGKILLs the office it started or adopted and waits until it is gone.
    void Kill();

  private:
    int lockFd_ = -1;
    std::string profileDir_;
    pid_t started_ = -1;
    std::unique_ptr<OfficeClient> client_;
    // The office pipe files in /tmp before this session: a killed office leaves its own
    // behind, which the session removes.
    std::vector<std::string> pipeFilesBefore_;
};

}  // namespace corvane::test
