#include "office/session.hpp"

#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/bridge/XBridge.hpp>

#include <algorithm>
#include <cstdio>

#include "core/deadline.hpp"
#include "office/local_runtime.hpp"
#include "platform/process.hpp"
#include "platform/sigpipe_guard.hpp"

namespace corvane::office {

Error SessionObserver::Admit(const css::uno::Reference<css::uno::XComponentContext>&) { return {}; }

void SessionObserver::ConnectionFailed(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

// The observer may be gone by now: the owner released the session while it lived.
Session::~Session() {
    observer_ = &defaultObserver_;
    Release();
}

void Session::Configure(SessionConfig config) { config_ = std::move(config); }

bool Session::StartRuntime(const std::string& officeProgram) {
    if (!runtime_.is()) runtime_ = BootstrapLocalRuntime(officeProgram.c_str());
    if (!runtime_.is()) return false;
    observer_->RuntimeUp();
    return true;
}

void Session::AdoptRuntime(css::uno::Reference<css::uno::XComponentContext> runtime) {
    runtime_ = std::move(runtime);
}

void Session::AdoptWorkbook(css::uno::Reference<css::lang::XComponent> workbook,
                            css::uno::Reference<css::sheet::XSpreadsheets> sheets,
                            const std::string& url) {
    workbook_ = std::move(workbook);
    sheets_ = std::move(sheets);
    if (!url.empty() && !Loaded(url)) loadedUrls_.push_back(url);
}

bool Session::Loaded(const std::string& url) const {
    return std::find(loadedUrls_.begin(), loadedUrls_.end(), url) != loadedUrls_.end();
}

void Session::NoteSheetCount(int count) {
    if (sheetCount_ == 0 && count > 0) sheetCount_ = static_cast<std::uint16_t>(count);
}

void Session::ForgetOffice() noexcept {
    const platform::SigpipeGuard guard;
    observer_->OfficeForgotten();
    sheets_.clear();
    workbook_.clear();
    context_.clear();
}

void Session::Disconnect() noexcept {
    // The bridge goes first, its reader and writer threads joined: releasing the remote
    // objects then sends nothing, so no message is left queued for a writer thread
    // (while the process tears itself down, say).
    CutOff(runtime_);
    ForgetOffice();
}

void Session::Release() noexcept {
    Disconnect();
    ShutDownLocalRuntime(runtime_);
}

void Session::StartOver() noexcept {
    ForgetOffice();
    runtime_.clear();
    config_ = SessionConfig();
    sheetCount_ = 0;
    loadedUrls_.clear();
}

std::uint64_t Session::ArmCutOff(SteadyClock::time_point deadline) {
    // The runtime is taken now: the session may replace or release it meanwhile.
    css::uno::Reference<css::uno::XComponentContext> runtime = runtime_;
    return watchdog_.Arm(deadline, [runtime] { CutOff(runtime); });
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

CallDeadline::CallDeadline(Session& session) : session_(session) {
    Arm(session.Config().callTimeout);
}

CallDeadline::CallDeadline(Session& session, Timeout exactly) : session_(session) { Arm(exactly); }

void CallDeadline::Arm(Timeout limit) {
    limit_ = limit;
    // A limit beyond the clock's range is no limit.
    const SteadyClock::time_point deadline = limit.Deadline();
    if (deadline == SteadyClock::time_point::max()) return;
    ticket_ = session_.ArmCutOff(deadline);
}

bool CallDeadline::Restart(Timeout limit) {
    if (done_) return false;
    if (ticket_ != 0 && session_.DisarmCutOff(ticket_)) {
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
                                    std::to_string(limit_.Length().count()) +
                                    " ms; the connection was dropped (call corvane_init again "
                                    "once it answers)"};
}

bool CallDeadline::TimedOut() {
    if (done_) return timedOut_;
    done_ = true;
    if (ticket_ != 0 && session_.DisarmCutOff(ticket_)) {
        timedOut_ = true;
        session_.ForgetOffice();
    }
    return timedOut_;
}

}  // namespace corvane::office
