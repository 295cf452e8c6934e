#include "host/session_instance.hpp"

#include <cstdlib>
#include <string>
#include <utility>

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

// What the host does when the session tells it something.
class HostObserver final : public office::SessionObserver {
  public:
    // The runtime's and the bridge's libraries and static objects come after this
    // library's, so they are destroyed before it: disposing the runtime or releasing a
    // remote reference from the session's destructor at exit would call into torn-down
    // code. A handler registered now runs before them, and at unload of this library
    // (atexit is bound to the calling module). Running it twice does no harm.
    void RuntimeUp() override { ReleaseAtExit(kRuntimeUp); }
    void BridgeUp() override { ReleaseAtExit(kBridgeUp); }
    void ConnectionFailed(const std::string& line) override {
        if (!quiet) SessionObserver::ConnectionFailed(line);
    }
    void OfficeForgotten() noexcept override { fastWrites.Forget(); }

    sheet::FastWrites fastWrites;
    bool quiet = false;

  private:
    void ReleaseAtExit(unsigned stage) noexcept {
        if ((releaseAtExitStages_ & stage) != 0) return;
        if (std::atexit(&ReleaseTheSession) == 0) releaseAtExitStages_ |= stage;
    }

    unsigned releaseAtExitStages_ = 0;
};

// Built when the library is loaded, destroyed when it is unloaded. The observer, which
// holds the fast writes, outlives the session.
struct Instance {
    HostObserver observer;
    office::Session session;
    office::OfficeProvider offices{SharedOffices()};
    LiveHandles liveTables;

    Instance() { session.Observe(observer); }
};

Instance theInstance;

void ReleaseTheSession() { theInstance.session.Release(); }

}  // namespace

office::Session& TheSession() { return theInstance.session; }

office::OfficeProvider& TheOffices() { return theInstance.offices; }

sheet::FastWrites& TheFastWrites() { return theInstance.observer.fastWrites; }

void ConfigureOffice(office::Session& session, std::string officePath, std::string commandLine,
                     std::string workbookPath) {
    office::SessionConfig config = session.Config();
    config.officePath = std::move(officePath);
    config.commandLine = std::move(commandLine);
    config.workbookPath = std::move(workbookPath);
    session.Configure(std::move(config));
}

QuietConnection::QuietConnection() { theInstance.observer.quiet = true; }

QuietConnection::~QuietConnection() { theInstance.observer.quiet = false; }

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
