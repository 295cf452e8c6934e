// The library's session with the office: the owner's configuration, the local runtime,
// the office objects of the current connection, and the deadline for calls into the
// office. The office's process is its provider's (office_provider.hpp). The office and
// sheet layers are handed the session; its owner (the host's one instance, or a live
// table's sink) configures it and observes it.
#pragma once

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/deadline.hpp"
#include "core/error.hpp"
#include "office/watchdog.hpp"
#include "platform/warning_sink.hpp"

namespace corvane::office {

// What the session's owner tells it.
struct SessionConfig {
    std::string officePath;    // the office program; "" when none is configured
    std::string commandLine;   // its command line; "" for the default one
    std::string workbookPath;  // the owner's path, or its file URL once a connection found it
    // The UNO URL the connection resolves: "" for the pipe "ooo_pipe".
    std::string connectionUrl;
    // The longest an export may wait for the office.
    Timeout callTimeout = Timeout::WithoutEnd();
};

// What the session tells its owner, and asks it. Every default does nothing, or lets
// everything pass, except ConnectionFailed's, which prints the line.
class SessionObserver {
  public:
    virtual ~SessionObserver() = default;
    // The local runtime is up (told by every connection attempt that has it), and the
    // bridge to an office came up: the owner makes sure the session is released before
    // the libraries they load are torn down.
    virtual void RuntimeUp() {}
    virtual void BridgeUp() {}
    // Called once an office answered, with its own component context, before the
    // workbook is looked for or loaded: anything but Ok ends the connection attempt
    // with that status (nothing is asked of the office then).
    virtual Error Admit(const css::uno::Reference<css::uno::XComponentContext>& office);
    // A failed connection's diagnostic line, which also ends the error's message. The
    // default prints it on standard output.
    virtual void ConnectionFailed(const std::string& line);
    // The session dropped the office objects without any office call: whatever the
    // owner keeps of the workbook must go the same way.
    virtual void OfficeForgotten() noexcept {}
};

class Session {
  public:
    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    // Replaces the whole configuration.
    void Configure(SessionConfig config);
    const SessionConfig& Config() const { return config_; }
    // The values that change between connections.
    void SetWorkbookPath(std::string path) { config_.workbookPath = std::move(path); }
    void SetConnectionUrl(std::string url) { config_.connectionUrl = std::move(url); }
    void SetCallTimeout(Timeout timeout) { config_.callTimeout = timeout; }
    // Installs the owner's observer, which must outlive the session's use; until then
    // the defaults of SessionObserver apply.
    void Observe(SessionObserver& observer) noexcept { observer_ = &observer; }
    SessionObserver& Observer() const { return *observer_; }

    // Configuration warnings for the user: through the host's handler, or on standard
    // error.
    void SetWarningHandler(platform::WarningHandler handler, void* user) noexcept {
        warnings_.SetHandler(handler, user);
    }
    void Warn(const char* text) const { warnings_.Show(text); }

    // The local UNO runtime of this process, bootstrapped once and shared by every later
    // connection. It owns the remote bridge to the office, which is disposed with it
    // when the session is released.
    const css::uno::Reference<css::uno::XComponentContext>& Runtime() const { return runtime_; }
    // Bootstraps the runtime from the installation of `officeProgram` (or the one the
    // library was built for) unless it is up, and tells the observer it is. False when
    // there is no installation to bootstrap it from. Exceptions of the runtime pass.
    bool StartRuntime(const std::string& officeProgram);
    // Takes `runtime` as the local runtime instead of bootstrapping one (a fake one, say).
    void AdoptRuntime(css::uno::Reference<css::uno::XComponentContext> runtime);

    // The context calls go through: the local runtime during a connection attempt, the
    // office's default context once the office was reached; empty when there is nothing
    // to reuse.
    const css::uno::Reference<css::uno::XComponentContext>& Context() const { return context_; }
    void UseContext(css::uno::Reference<css::uno::XComponentContext> context) {
        context_ = std::move(context);
    }
    void DropContext() noexcept { context_.clear(); }
    // Whether the context is the office's own (the office was reached).
    bool Connected() const { return context_.is() && context_.get() != runtime_.get(); }

    // The loaded workbook and its sheets, replaced together by each successful load.
    const css::uno::Reference<css::lang::XComponent>& Workbook() const { return workbook_; }
    const css::uno::Reference<css::sheet::XSpreadsheets>& Sheets() const { return sheets_; }
    // Takes up a loaded workbook and its sheets; `url`, where it was loaded from ("" when
    // unknown), is remembered among the workbooks this session loaded.
    void AdoptWorkbook(css::uno::Reference<css::lang::XComponent> workbook,
                       css::uno::Reference<css::sheet::XSpreadsheets> sheets,
                       const std::string& url);
    // Whether this session loaded a workbook at `url`: a later connection to the same
    // office finds it open and takes it up instead of loading a copy.
    bool Loaded(const std::string& url) const;
    // The sheet count of the first workbook loaded with any sheets (0 before); a count
    // noted later changes nothing.
    std::uint16_t SheetCount() const { return sheetCount_; }
    void NoteSheetCount(int count);

    // Drops the office objects of the connection without any office call (the
    // office is gone or cut off); the runtime stays for the next connection.
    void ForgetOffice() noexcept;
    // Ends the connection to the office and drops its objects; the office keeps
    // running with the workbook open, and the runtime stays for the next connection.
    void Disconnect() noexcept;
    // Disconnects and ends the local runtime too.
    void Release() noexcept;
    // Forgets everything, as a newly built session, without any office call: the office
    // objects, the runtime (not ended), the configuration, the sheet count and the
    // workbooks loaded. The observer and the warning handler stay.
    void StartOver() noexcept;
    // Cuts the connection to the office: every call blocked on it, or made later on its
    // objects, throws DisposedException at once. Never call it from within a remote
    // call or from a bridge thread. Thread-safe with respect to a blocked caller.
    static void CutOff(const css::uno::Reference<css::uno::XComponentContext>& runtime) noexcept;
    // Cuts off the current runtime's connection at `deadline`, from the watchdog's
    // thread, unless DisarmCutOff(ticket) comes first; DisarmCutOff tells whether the
    // cut-off ran.
    std::uint64_t ArmCutOff(SteadyClock::time_point deadline);
    bool DisarmCutOff(std::uint64_t ticket) { return watchdog_.Disarm(ticket); }

  private:
    SessionConfig config_;
    SessionObserver defaultObserver_;
    SessionObserver* observer_ = &defaultObserver_;
    platform::WarningSink warnings_;
    css::uno::Reference<css::uno::XComponentContext> runtime_;
    css::uno::Reference<css::uno::XComponentContext> context_;
    css::uno::Reference<css::lang::XComponent> workbook_;
    css::uno::Reference<css::sheet::XSpreadsheets> sheets_;
    std::uint16_t sheetCount_ = 0;
    std::vector<std::string> loadedUrls_;
    Watchdog watchdog_;
};

// Guards one export's office calls with the session's call timeout, or exactly with a
// timeout of its own. Past the deadline the connection is cut off, so that the call
// blocked on the office throws; TimedOut() then tells it was the deadline.
class CallDeadline {
  public:
    explicit CallDeadline(Session& session);
    CallDeadline(Session& session, Timeout exactly);
    ~CallDeadline();
    CallDeadline(const CallDeadline&) = delete;
    CallDeadline& operator=(const CallDeadline&) = delete;
    // Ends the guard early; true when the deadline had passed. The session has then
    // forgotten the office objects.
    bool TimedOut();
    // Starts the guard anew with `limit` from now, for a longer step of the same call
    // (loading a workbook after connecting). False, changing nothing, when the deadline
    // had passed already or the guard ended.
    bool Restart(Timeout limit);
    // The error of a call this deadline cut off.
    Error Expired() const;

  private:
    void Arm(Timeout limit);

    Session& session_;
    Timeout limit_ = Timeout::WithoutEnd();
    std::uint64_t ticket_ = 0;
    bool done_ = false;
    bool timedOut_ = false;
};

}  // namespace corvane::office
