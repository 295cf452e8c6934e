// Keeping a closed connection from killing the host process.
#pragma once

#include <signal.h>

namespace corvane::platform {

// While a guard lives, a write to a pipe or socket whose other end is gone fails with
// EPIPE on this thread instead of ending the whole process with SIGPIPE, as it would in
// a host that keeps the default disposition. Threads started meanwhile (the UNO bridge's
// reader and writer are started while connecting) inherit the blocked signal for good.
// A SIGPIPE raised under the guard is taken away before the guard restores the thread's
// signal mask; one that was already pending is left alone.
class SigpipeGuard {
  public:
    SigpipeGuard() noexcept;
    ~SigpipeGuard();
    SigpipeGuard(const SigpipeGuard&) = delete;
    SigpipeGuard& operator=(const SigpipeGuard&) = delete;

  private:
    sigset_t previous_;
    bool wasPending_ = false;
};

}  // namespace corvane::platform
