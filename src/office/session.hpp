// The library's session with the office: the host's configuration, the local runtime,
// the office objects of the current connection, the office process this library
// started, and the deadline for calls into the office. The office and sheet layers are
// handed the session; the host layer owns the one instance.
#pragma once

#include <sys/types.h>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include "corvane/market_watch_record.hpp"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "office/watchdog.hpp"
#include "platform/warning_sink.hpp"

namespace corvane::office {

// Fast writes: whether the workbook's undo recording and row-height adjustment are
// turned off, and on which workbook that was applied.
struct FastWriteState {
    bool enabled = false;
    // The workbook the settings were last changed on (empty: none yet), and its
    // settings; a newly loaded workbook gets them on the library's next write to it.
    css::uno::Reference<css::lang::XComponent> workbook;
    css::uno::Reference<css::beans::XPropertySet> settings;
    // Which settings this library turned off, so that only those are turned back on.
    bool undoTurnedOff = false;
    bool heightTurnedOff = false;

    // Forgets the workbook without any office call (the connection is being dropped).
    void Forget() noexcept;
};

class Session {
  public:
    // The local UNO runtime of this process, bootstrapped once by the first
    // connection attempt and shared by all later ones. It owns the remote bridge to the
    // office, which is disposed with it when the session is released.
    css::uno::Reference<css::uno::XComponentContext> runtime;
    // The local context during a connection attempt, the office's default context once
    // the office was reached; empty when there is nothing to reuse.
    css::uno::Reference<css::uno::XComponentContext> context;
    // The loaded workbook and its sheets, replaced together by each successful load.
    css::uno::Reference<css::lang::XComponent> workbook;
    css::uno::Reference<css::sheet::XSpreadsheets> sheets;
    CString officePath;
    CString commandLine;
    CString workbookPath;  // the host's path, or its file URL once a connection found it
    // Sheet count of the first workbook loaded with any sheets; never changed after.
    std::uint16_t sheetCount = 0;
    platform::WarningSink warnings;
    // Where a failed connection's diagnostic line goes: standard output when empty. The
    // C API catches it here to hand it to its caller as the error's text instead.
    std::function<void(const std::string& line)> connectionReport;
    FastWriteState fastWrites;
    // The office processes this library started (each the leader of its own process
    // group, which holds the office's processes) that may still run. While an office
    // starts, each connection attempt starts another, which hands its arguments to the
    // first and exits, or, when the first gave up, becomes the office.
    std::vector<pid_t> launched;
    // The URLs of the workbooks this session loaded: a later connection to the same
    // office finds such a workbook open and takes it up instead of loading a copy.
    std::vector<std::string> loadedUrls;
    // The UNO URL the connection resolves: the pipe "ooo_pipe" unless an owner of the
    // session runs its office on a pipe of its own.
    std::string connectionUrl;
    // Called once an office answered, with its own component context, before the
    // workbook is looked for or loaded: anything but Ok ends the connection attempt with
    // that status (nothing is asked of the office then). Unset: every office is taken.
    std::function<Error(const css::uno::Reference<css::uno::XComponentContext>& office)>
        admitOffice;
    // The longest an export may wait for the office; zero for no limit.
    std::chrono::milliseconds callTimeout{0};
    // Called when the runtime, and again when the bridge, comes up: the owner makes
    // sure the session is released before the libraries they load are torn down.
    std::function<void()> onRuntimeUp;
    std::function<void()> onBridgeUp;
    Watchdog watchdog;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session();

    // The process id of the office this library started that still runs (the first of
    // them), or 0. Forgets the ones that ended.
    pid_t OfficePid();

    // Drops the office objects of the connection without any office call (the
    // office is gone or cut off); the runtime stays for the next connection.
    void ForgetOffice() noexcept;
    // Ends the connection to the office and drops its objects; the office keeps
    // running with the workbook open, and the runtime stays for the next connection.
    void Disconnect() noexcept;
    // Disconnects and ends the local runtime too.
    void Release() noexcept;
    // Cuts the connection to the office: every call blocked on it, or made later on its
    // objects, throws DisposedException at once. Never call it from within a remote
    // call or from a bridge thread. Thread-safe with respect to a blocked caller.
    static void CutOff(const css::uno::Reference<css::uno::XComponentContext>& runtime) noexcept;
};

// Guards one export's office calls with the session's call timeout (or `fallback` when
// no timeout is set; zero: none). Past the deadline the connection is cut off, so that
// the call blocked on the office throws; TimedOut() then tells it was the deadline.
class CallDeadline {
  public:
    explicit CallDeadline(Session& session,
                          std::chrono::milliseconds fallback = std::chrono::milliseconds(0));
    // Guards with exactly `limit` (zero: none), whatever the session's call timeout.
    struct Exactly {
        std::chrono::milliseconds limit;
    };
    CallDeadline(Session& session, Exactly exactly);
    ~CallDeadline();
    CallDeadline(const CallDeadline&) = delete;
    CallDeadline& operator=(const CallDeadline&) = delete;
    // Ends the guard early; true when the deadline had passed. The session has then
    // forgotten the office objects.
    bool TimedOut();
    // Starts the guard anew with `limit` from now, for a longer step of the same call
    // (loading a workbook after connecting). False, changing nothing, when the deadline
    // had passed already or the guard ended.
    bool Restart(std::chrono::milliseconds limit);
    // The error of a call this deadline cut off.
    Error Expired() const;

  private:
    void Arm(std::chrono::milliseconds limit);

    Session& session_;
    std::chrono::milliseconds limit_{0};
    std::uint64_t ticket_ = 0;
    bool done_ = false;
    bool timedOut_ = false;
};

}  // namespace corvane::office
