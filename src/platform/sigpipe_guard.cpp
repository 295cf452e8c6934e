#include "platform/sigpipe_guard.hpp"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace corvane::platform {
namespace {

sigset_t OnlySigpipe() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGPIPE);
    return set;
}

bool SigpipePending() {
    sigset_t pending;
    sigemptyset(&pending);
    return ::sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}

}  // namespace

SigpipeGuard::SigpipeGuard() noexcept {
    const sigset_t sigpipe = OnlySigpipe();
    ::pthread_sigmask(SIG_BLOCK, &sigpipe, &previous_);
    wasPending_ = SigpipePending();
}

SigpipeGuard::~SigpipeGuard() {
    if (!wasPending_ && SigpipePending()) {
        const sigset_t sigpipe = OnlySigpipe();
        const timespec now{0, 0};
        while (::sigtimedwait(&sigpipe, nullptr, &now) < 0 && errno == EINTR) {
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

}  // namespace corvane::platform
