#include "host/session_instance.hpp"

#include <cstdlib>
#include <string>

#include "core/deadline.hpp"
#include "host/live_handles.hpp"
#include "office/connection.hpp"
#include "office/launch.hpp"

namespace corvane::host {
namespace {

// The stages at which the release at exit was registered: when the runtime comes up,
// and again when the bridge does.
enum : unsigned { kRuntimeUp = 1, kBridgeUp = 2 };

void ReleaseTheSession();

office::ProviderOptions SharedOffices() {
    office::ProviderOptions options;
    options.source = office::OfficeSource::StartIfNone;
    return options;
}

// Built when the library is loaded, destroyed when it is unloaded.
struct Instance {
    office::Session session;
    office::OfficeProvider offices{SharedOffices()};
    LiveHandles liveTables;
    unsigned releaseAtExitStages = 0;

    Instance() {
        session.onRuntimeUp = [this] { ReleaseAtExit(kRuntimeUp); };
        session.onBridgeUp = [this] { ReleaseAtExit(kBridgeUp); };
    }

    // The runtime's and the bridge's libraries and static objects come after this
    // library's, so they are destroyed before it: disposing the runtime or releasing a
    // remote reference from the session's destructor at exit would call into torn-down
    // code. A handler registered now runs before them, and at unload of this library
    // (atexit is bound to the calling module). Running it twice does no harm.
    void ReleaseAtExit(unsigned stage) noexcept {
        if ((releaseAtExitStages & stage) != 0) return;
        if (std::atexit(&ReleaseTheSession) == 0) releaseAtExitStages |= stage;
    }
};

Instance theInstance;

void ReleaseTheSession() { theInstance.session.Release(); }

}  // namespace

office::Session& TheSession() { return theInstance.session; }

office::OfficeProvider& TheOffices() { return theInstance.offices; }

LiveHandles& TheLiveTables() { return theInstance.liveTables; }

Error StartAndConnect(office::Session& session, const OfficeRequest& request) {
    const office::OfficeLaunch launch = office::SessionLaunch(session, request.scratchProfile);
    const bool startable =
        request.launch && office::LaunchOffice(session, theInstance.offices, launch);
    const auto attempt = [&session] {
        // The local runtime comes up before the deadline starts: only the office's part
        // of the connection can hang. Without a runtime, connecting says why.
        if (!office::EnsureRuntime(session)) return office::ConnectOffice(session);
        return WithinDeadline(session, [&] { return office::ConnectOffice(session); });
    };
    if (request.wait.count() <= 0) return attempt();
    return theInstance.offices.Acquire(DeadlineAfter(request.wait), attempt,
                                       startable ? &launch : nullptr);
}

void ThrowTimedOut(const Error& timedOut) {
    throw css::lang::DisposedException(rtl::OUString::createFromAscii(timedOut.message().c_str()),
                                       nullptr);
}

}  // namespace corvane::host
