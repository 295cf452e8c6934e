// The exports that configure the library and tell whether the office still answers.
#include <corvane/corvane.hpp>

#include <chrono>
#include <utility>

#include "host/c_timeout.hpp"
#include "host/session_instance.hpp"
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

    corvane::office::Session& session = corvane::host::TheSession();
    corvane::host::ConfigureOffice(session, held[0].GetString(), held[1].GetString(),
                                   held[2].GetString());
    held.clear();

    const bool connected = corvane::host::StartAndConnect(session, {true}).ok();
    return connected ? static_cast<short>(session.SheetCount()) : static_cast<short>(-1);
}

extern "C" int CorvaneIsRunning() {
    const corvane::platform::SigpipeGuard guard;
    return corvane::office::ProbeOffice(corvane::host::TheSession());
}

extern "C" void CorvaneSetWarningHandler(void (*handler)(const char* text, void* user),
                                         void* user) {
    corvane::host::TheSession().SetWarningHandler(handler, user);
}

extern "C" void CorvaneSetCallTimeout(int milliseconds) {
    corvane::host::TheSession().SetCallTimeout(corvane::c_api::CallTimeout(milliseconds));
}
