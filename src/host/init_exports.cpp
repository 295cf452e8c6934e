// The exports that configure the library and tell whether the office still answers.
#include <corvane/corvane.hpp>

#include <utility>

#include "host/office_link.hpp"
#include "office/connection.hpp"
#include "office/launch.hpp"
#include "office/probe.hpp"
#include "platform/sigpipe_guard.hpp"

using corvane::CString;

extern "C" short CorvaneInitFunc(std::vector<CString> config) {
    // The list belongs to the library for the call: it is emptied and freed here, on
    // every path, and leaves nothing for the caller to release.
    std::vector<CString> held(std::move(config));
    if (held.size() < 3) return -1;
    // The bridge to the office starts here, and its threads keep SIGPIPE blocked.
    const corvane::platform::SigpipeGuard guard;

    corvane::OfficeLink& link = corvane::Link();
    link.officePath.SetString(held[0].GetString());
    link.commandLine.SetString(held[1].GetString());
    link.workbookPath.SetString(held[2].GetString());
    held.clear();

    corvane::office::LaunchOffice();
    const bool connected = corvane::office::ConnectOffice().is();
    return connected ? static_cast<short>(link.sheetCount) : static_cast<short>(-1);
}

extern "C" int CorvaneIsRunning() {
    const corvane::platform::SigpipeGuard guard;
    return corvane::office::ProbeOffice();
}

extern "C" void CorvaneSetWarningHandler(void (*handler)(const char* text, void* user),
                                         void* user) {
    corvane::Link().warnings.SetHandler(handler, user);
}
