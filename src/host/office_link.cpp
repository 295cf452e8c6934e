#include "host/office_link.hpp"

#include "office/local_runtime.hpp"
#include "platform/sigpipe_guard.hpp"

#include <cstdlib>

namespace corvane {
namespace {
// Built when the library is loaded, destroyed when it is unloaded.
OfficeLink theLink;

void ReleaseTheLink() { theLink.ReleaseOfficeObjects(); }
}  // namespace

OfficeLink::~OfficeLink() { ReleaseOfficeObjects(); }

void OfficeLink::ReleaseOfficeObjects() noexcept {
    // Releasing remote objects and ending the bridge write to the office's connection.
    const platform::SigpipeGuard guard;
    fastWrites.Forget();
    sheets.clear();
    workbook.clear();
    context.clear();
    office::ShutDownLocalRuntime(runtime);
}

void OfficeLink::ReleaseAtExit(ExitStage stage) noexcept {
    // The runtime's and the bridge's libraries and static objects come after this
    // library's, so they are destroyed before it: disposing the runtime or releasing a
    // remote reference from the link's destructor at exit would call into torn-down
    // code. A handler registered now runs before them, and at unload of this library
    // (atexit is bound to the calling module). Running it twice does no harm.
    const unsigned bit = static_cast<unsigned>(stage);
    if (this != &theLink || (releaseAtExitStages & bit) != 0) return;
    if (std::atexit(&ReleaseTheLink) == 0) releaseAtExitStages |= bit;
}

OfficeLink& Link() { return theLink; }

}  // namespace corvane
