// Where the library's offices come from. A provider attaches to the office that accepts
// on the pipe, or starts one of its own when none answers, waits for it to accept, ends
// a stuck one so that it can be started anew, and ends what it started. It holds
// everything about the office process: the processes it started, the tie that ends an
// owned office with this process, the profile an office of its own runs on (a throw-away
// one is made and removed here), and the pipe that office accepts on. Nothing else in
// the library starts, waits for or kills an office.
#pragma once

#include <sys/types.h>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/deadline.hpp"
#include "core/error.hpp"
#include "platform/process.hpp"
#include "platform/thread_safety.hpp"

namespace corvane::office {

enum class OfficeSource {
    // The office on the pipe; nothing is ever started.
    Attach,
    // The office on the pipe, or one started for the caller when nobody answers, which
    // runs on after this process (the host's corvane_init and workbook creation).
    StartIfNone,
    // Only an office of the provider's own, on its profile, tied to this process: it ends
    // with it however it ends. An office on another profile is never used.
    Own,
};

// How an office is started.
struct OfficeLaunch {
    std::string program;  // the office program; "" for the installation the library was built for
    // The whole command line, program first; "" for one made from the fields below: the
    // office on `profile` (a throw-away one when empty), accepting on the provider's pipe.
    std::string commandLine;
    std::string profile;
    bool visible = false;  // --invisible (documents shown on a display) instead of --headless
};

struct ProviderOptions {
    OfficeSource source = OfficeSource::Attach;
    OfficeLaunch launch;
    // Own: the workbook whose lock file a killed office left is removed before an office
    // is started on it, and how long a started office may take to accept before it is
    // started anew (one on a display that accepted once is waited for instead).
    std::string workbook;
    std::chrono::milliseconds startLimit{60000};
};

class OfficeProvider {
  public:
    using Clock = std::chrono::steady_clock;
    // One connection attempt of the caller: Ok when the office was reached and took what
    // the caller needs; Connect when nobody answered yet. Anything else ends the wait.
    using Attempt = std::function<Error()>;

    explicit OfficeProvider(ProviderOptions options = {});
    // Ends an owned office's tie (its process group is killed) and removes a throw-away
    // profile, unless the office was kept. An office started for StartIfNone runs on.
    ~OfficeProvider();
    OfficeProvider(const OfficeProvider&) = delete;
    OfficeProvider& operator=(const OfficeProvider&) = delete;

    // Gets an office through `attempt`: Attach tries once; StartIfNone tries, starts an
    // office with the options' launch when nobody answers and none of the provider's
    // runs, and tries again every 250 ms until `deadline`; Own starts its office first
    // when it does not run and tries until it accepts or the start limit passes. Returns
    // the last attempt's result (also when a cancellation ended the wait), Office when
    // an office cannot be started, or Connect when an office of another profile holds
    // the pipe (Own).
    Error Acquire(Clock::time_point deadline, const Attempt& attempt);
    // StartIfNone, starting with `launch`; null: nothing is started, an office that is
    // starting is only waited for.
    Error Acquire(Clock::time_point deadline, const Attempt& attempt, const OfficeLaunch* launch);

    // Starts an office with `launch` for StartIfNone unless one of the provider's runs,
    // without waiting for it: the host's corvane_init leaves retrying to its caller.
    Error StartUnlessRunning(const OfficeLaunch& launch);

    // After a call into the office ended in Connect or Timeout: an owned headless office
    // that did not answer in time is stuck, and is killed so that the next Acquire starts
    // it anew. One on a display may be showing a person a dialog: it is left alone.
    void Recover(const Error& cause);

    // Waits up to `grace` for the offices the provider started to end (the caller has
    // asked them to), then kills their process groups, and removes a throw-away profile.
    // True when they had ended by themselves.
    bool Release(std::chrono::milliseconds grace);
    // The same for offices nobody asked to end through the pipe: their process groups
    // are asked to end (SIGTERM) first.
    bool End(std::chrono::milliseconds grace);
    // Waits up to `grace` for the offices the provider started to end (the caller has
    // asked them to) and forgets them either way: an office that ended, or is about to,
    // is no longer the provider's to use. True when they had ended.
    bool AwaitEnd(std::chrono::milliseconds grace);
    // The office the provider started runs on by itself, on its profile: the provider
    // lets go of it.
    void Keep();

    // From any thread: ends a running Acquire's wait, and every later one, at once.
    void Cancel() noexcept { cancelled_ = true; }
    // From any thread, when the program must end at once: kills the offices the
    // provider started and removes a throw-away profile.
    void KillNow() noexcept;
    // From any thread: ends the wait of the Acquire running now only.
    void Interrupt() noexcept { ++interrupts_; }

    // Whether an office that answered is one the provider may use: for Own, only the one
    // on its profile. Connect (remembering that a foreign office holds the pipe) when not.
    // Office exceptions pass to the caller.
    Error Admit(const css::uno::Reference<css::uno::XComponentContext>& office);

    // Whether the office whose component context is `office` may be one the provider
    // started: it runs on the provider's profile, or the provider started its offices on
    // a command line of the host's and cannot tell. Office exceptions pass to the caller.
    bool MayHaveStarted(const css::uno::Reference<css::uno::XComponentContext>& office);

    // The process id of the running office the provider started (the leader of its
    // process group), or 0. Forgets the ones that ended.
    pid_t Pid();
    // The office's own process (soffice.bin) once it accepted, else the group's leader;
    // 0 when none runs. Any thread.
    pid_t OfficePid() const { return officePid_.load(); }
    // Whether the last Acquire started an office anew (not a reconnection).
    bool Restarted() const { return restarted_; }
    // The UNO URL of the pipe the provider's office accepts on.
    std::string ConnectionUrl() const;
    // The profile folder of the provider's own office, "" before it was started.
    std::string Profile() const;

  private:
    Error AcquireOwn(const Attempt& attempt);
    Error AcquireAny(Clock::time_point deadline, const Attempt& attempt,
                     const OfficeLaunch* launch);
    Error Start(const OfficeLaunch& launch);
    Error MakeProfile(const OfficeLaunch& launch, std::string& folder) REQUIRES(mu_);
    bool StartedAny();
    pid_t FirstStarted();
    // Waits up to `grace` for the started offices to end; true when they did.
    bool WaitEnded(std::chrono::milliseconds grace);
    void Stop() noexcept;
    // Sleeps `pause`; false when the wait was cancelled or interrupted meanwhile.
    bool Pause(std::chrono::milliseconds pause, std::uint64_t interrupts) const;
    void RemoveScratchProfile() noexcept;

    const ProviderOptions options_;
    // The process state, which KillNow reaches from another thread.
    mutable platform::Mutex mu_;
    std::vector<pid_t> started_ GUARDED_BY(mu_);   // every office started that may still run
    platform::Lifeline lifeline_ GUARDED_BY(mu_);  // Own: the tie of the running office
    std::string profile_ GUARDED_BY(mu_);
    bool scratchProfile_ GUARDED_BY(mu_) = false;
    // The calling thread's alone.
    std::string pipe_;     // Own: the pipe of its own the office moved to; "" for ooo_pipe
    std::string foreign_;  // Own: the profile of an office of another's that answered
    bool firstAcquire_ = true;
    bool accepted_ = false;  // Own: the running office accepted once
    bool restarted_ = false;
    Clock::time_point startedAt_;
    std::atomic<pid_t> officePid_{0};
    std::atomic<bool> cancelled_{false};
    std::atomic<std::uint64_t> interrupts_{0};
};

}  // namespace corvane::office
