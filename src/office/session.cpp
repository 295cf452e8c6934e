#include "office/session.hpp"

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>

#include <algorithm>

#include "core/deadline.hpp"
#include "office/local_runtime.hpp"
#include "platform/process.hpp"
#include "platform/sigpipe_guard.hpp"

namespace corvane::office {

void FastWriteState::Forget() noexcept {
    settings.clear();
    workbook.clear();
    undoTurnedOff = false;
    heightTurnedOff = false;
}

Session::~Session() { Release(); }

pid_t Session::OfficePid() {
    launched.erase(std::remove_if(launched.begin(), launched.end(),
                                  [](pid_t pid) { return !platform::ProcessRunning(pid); }),
                   launched.end());
    return launched.empty() ? 0 : launched.front();
}

void Session::ForgetOffice() noexcept {
    const platform::SigpipeGuard guard;
    fastWrites.Forget();
    sheets.clear();
    workbook.clear();
    context.clear();
}

void Session::Disconnect() noexcept {
    // The bridge goes first, its reader and writer threads joined: releasing the remote
    // objects then sends nothing, so no message is left queued for a writer thread
    // (while the process tears itself down, say).
    CutOff(runtime);
    ForgetOffice();
}

void Session::Release() noexcept {
    Disconnect();
    ShutDownLocalRuntime(runtime);
}

void Session::CutOff(const css::uno::Reference<css::uno::XComponentContext>& runtime) noexcept {
    if (!runtime.is()) return;
    const platform::SigpipeGuard guard;
    try {
        const css::uno::Reference<css::bridge::XBridgeFactory2> bridges =
            css::bridge::BridgeFactory::create(runtime);
        for (const css::uno::Reference<css::bridge::XBridge>& bridge :
             bridges->getExistingBridges()) {
            const css::uno::Reference<css::lang::XComponent> component(bridge, css::uno::UNO_QUERY);
            if (component.is()) component->dispose();
        }
    } catch (...) {
        // A bridge that cannot be disposed is one that is already gone.
    }
}

CallDeadline::CallDeadline(Session& session, std::chrono::milliseconds fallback)
    : session_(session) {
    Arm(session.callTimeout.count() > 0 ? session.callTimeout : fallback);
}

CallDeadline::CallDeadline(Session& session, Exactly exactly) : session_(session) {
    Arm(exactly.limit);
}

void CallDeadline::Arm(std::chrono::milliseconds limit) {
    limit_ = limit;
    if (limit.count() <= 0) return;
    // The runtime is taken now: the session may replace or release it meanwhile.
    css::uno::Reference<css::uno::XComponentContext> runtime = session_.runtime;
    // A limit beyond the clock's range is no limit.
    const SteadyClock::time_point deadline = DeadlineAfter(limit);
    if (deadline == SteadyClock::time_point::max()) return;
    ticket_ = session_.watchdog.Arm(deadline, [runtime] { Session::CutOff(runtime); });
}

bool CallDeadline::Restart(std::chrono::milliseconds limit) {
    if (done_) return false;
    if (ticket_ != 0 && session_.watchdog.Disarm(ticket_)) {
        done_ = true;
        timedOut_ = true;
        session_.ForgetOffice();
        return false;
    }
    ticket_ = 0;
    Arm(limit);
    return true;
}

CallDeadline::~CallDeadline() { TimedOut(); }

Error CallDeadline::Expired() const {
    return {ErrorCode::Timeout, "the office did not answer within " +
                                    std::to_string(limit_.count()) +
                                    " ms; the connection was dropped (call corvane_init again "
                                    "once it answers)"};
}

bool CallDeadline::TimedOut() {
    if (done_) return timedOut_;
    done_ = true;
    if (ticket_ != 0 && session_.watchdog.Disarm(ticket_)) {
        timedOut_ = true;
        session_.ForgetOffice();
    }
    return timedOut_;
}

}  // namespace corvane::office
