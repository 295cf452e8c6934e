// The library's only state between calls: the host's configuration and the office
// objects of the current connection. One instance per loaded copy of the library,
// built when the library is loaded and torn down when it is unloaded.
#pragma once

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <corvane/corvane.hpp>

#include <cstdint>
#include <functional>
#include <string>

#include "platform/warning_sink.hpp"
#include "sheet/fast_writes.hpp"

namespace corvane {

struct OfficeLink {
    // The local UNO runtime of this process, bootstrapped once by the first
    // connection attempt and shared by all later ones. It owns the remote bridge to the
    // office, which is disposed with it when the library is unloaded.
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
    // Whether writes go without undo and row-height adjustment, and to which workbook
    // that was applied.
    sheet::FastWriteState fastWrites;
    // The moments at which the release at exit was registered (bits of ExitStage).
    unsigned releaseAtExitStages = 0;

    // Gives up the library's hold on the office objects and ends its own bridge. The
    // office keeps running with the workbook open.
    void ReleaseOfficeObjects() noexcept;
    // When the office objects must be released at exit at the latest.
    enum class ExitStage : unsigned {
        RuntimeUp = 1,  // the local runtime was bootstrapped
        BridgeUp = 2,   // the remote bridge to the office stands
    };
    // Makes sure ReleaseOfficeObjects runs at process exit (or unload) before the
    // static objects made so far are destroyed: exit handlers run in reverse order of
    // registration. Each stage loads libraries whose static objects, once destroyed,
    // would make disposing the runtime or the bridge crash, so each registers anew.
    void ReleaseAtExit(ExitStage stage) noexcept;

    OfficeLink() = default;
    OfficeLink(const OfficeLink&) = delete;
    OfficeLink& operator=(const OfficeLink&) = delete;
    ~OfficeLink();
};

// The one link state of this loaded library.
OfficeLink& Link();

}  // namespace corvane
