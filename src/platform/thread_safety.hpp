// Which lock guards what, for Clang's thread-safety analysis: a clang build with
// -Wthread-safety checks at compile time that guarded members are touched only under
// their lock and that functions which need a lock are called with it. Other compilers
// see no attributes. The standard mutex carries none, hence the small wrappers here.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__clang__)
#define CORVANE_THREAD_ATTRIBUTE(x) __attribute__((x))
#else
#define CORVANE_THREAD_ATTRIBUTE(x)
#endif

#define CAPABILITY(x) CORVANE_THREAD_ATTRIBUTE(capability(x))
#define SCOPED_CAPABILITY CORVANE_THREAD_ATTRIBUTE(scoped_lockable)
#define GUARDED_BY(x) CORVANE_THREAD_ATTRIBUTE(guarded_by(x))
#define REQUIRES(...) CORVANE_THREAD_ATTRIBUTE(requires_capability(__VA_ARGS__))
#define ACQUIRE(...) CORVANE_THREAD_ATTRIBUTE(acquire_capability(__VA_ARGS__))
#define RELEASE(...) CORVANE_THREAD_ATTRIBUTE(release_capability(__VA_ARGS__))
#define TRY_ACQUIRE(...) CORVANE_THREAD_ATTRIBUTE(try_acquire_capability(__VA_ARGS__))
#define EXCLUDES(...) CORVANE_THREAD_ATTRIBUTE(locks_excluded(__VA_ARGS__))
#define NO_THREAD_SAFETY_ANALYSIS CORVANE_THREAD_ATTRIBUTE(no_thread_safety_analysis)

namespace corvane::platform {

// A mutex the analysis knows of.
template <typename Native>
class CAPABILITY("mutex") BasicMutex {
  public:
    void lock() ACQUIRE() { native_.lock(); }
    void unlock() RELEASE() { native_.unlock(); }
    bool try_lock() TRY_ACQUIRE(true) { return native_.try_lock(); }
    template <typename Duration>
    bool try_lock_for(Duration wait) TRY_ACQUIRE(true) {
        return native_.try_lock_for(wait);
    }
    Native& native() { return native_; }

  private:
    Native native_;
};
using Mutex = BasicMutex<std::mutex>;
using TimedMutex = BasicMutex<std::timed_mutex>;

// Holds a mutex for a scope; a Lock also waits on condition variables with it. The
// predicates of the waits run with the lock held.
template <typename Native>
class SCOPED_CAPABILITY BasicLock {
  public:
    explicit BasicLock(BasicMutex<Native>& mu) ACQUIRE(mu) : lock_(mu.native()) {}
    // Takes over a mutex the caller holds already.
    BasicLock(BasicMutex<Native>& mu, std::adopt_lock_t) REQUIRES(mu)
        : lock_(mu.native(), std::adopt_lock) {}
    ~BasicLock() RELEASE() {}
    BasicLock(const BasicLock&) = delete;
    BasicLock& operator=(const BasicLock&) = delete;

    void Unlock() RELEASE() { lock_.unlock(); }
    void Relock() ACQUIRE() { lock_.lock(); }

    void Wait(std::condition_variable& cv) { cv.wait(lock_); }
    template <typename Clock, typename Duration>
    void WaitUntil(std::condition_variable& cv,
                   const std::chrono::time_point<Clock, Duration>& deadline) {
        cv.wait_until(lock_, deadline);
    }

    template <typename Predicate>
    void Wait(std::condition_variable& cv, Predicate ready) {
        cv.wait(lock_, ready);
    }
    template <typename Clock, typename Duration, typename Predicate>
    bool WaitUntil(std::condition_variable& cv,
                   const std::chrono::time_point<Clock, Duration>& deadline, Predicate ready) {
        return cv.wait_until(lock_, deadline, ready);
    }
    template <typename Rep, typename Period, typename Predicate>
    bool WaitFor(std::condition_variable& cv, const std::chrono::duration<Rep, Period>& wait,
                 Predicate ready) {
        return cv.wait_for(lock_, wait, ready);
    }

  private:
    std::unique_lock<Native> lock_;
};
using Lock = BasicLock<std::mutex>;
using TimedLock = BasicLock<std::timed_mutex>;

}  // namespace corvane::platform
