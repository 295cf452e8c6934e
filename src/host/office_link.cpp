#include "host/office_link.hpp"

#include "office/local_runtime.hpp"

#include <cstdlib>

namespace corvane {
namespace {
// Built when the library is loaded, destroyed when it is unloaded.
OfficeLink theLink;

void ReleaseTheLink() { theLink.ReleaseOfficeObjects(); }
}  // namespace

OfficeLink::~OfficeLink() { ReleaseOfficeObjects(); }

void OfficeLink::ReleaseOfficeObjects() noexcept {
    fastWrites.Forget();
    sheets.clear();
    workbook.clear();
    context.clear();
    office::ShutDownLocalRuntime(runtime);
}

void OfficeLink::ReleaseAtExit() noexcept {
    // The bridge library is loaded after this one, so its static objects are destroyed
    // before this library's: releasing a remote reference from the link's destructor
    // at exit would call into a torn-down bridge. A handler registered now runs before
    // them, and at unload of this library (atexit is bound to the calling module).
    if (this != &theLink || releaseAtExitRegistered) return;
    releaseAtExitRegistered = std::atexit(&ReleaseTheLink) == 0;
}

OfficeLink& Link() { return theLink; }

}  // namespace corvane
