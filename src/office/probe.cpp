#include "office/probe.hpp"

#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

namespace corvane::office {

int ProbeOffice(Session& session) noexcept {
    if (!session.Context().is()) return 0;
    // A stopped or busy office would hold the probe forever: it is bounded even when
    // the host set no deadline for its calls.
    const Timeout set = session.Config().callTimeout;
    const CallDeadline deadline(session, set.IsWithoutEnd() ? Timeout::After(kProbeTimeout) : set);
    try {
        const css::uno::Reference<css::sheet::XSpreadsheetDocument> document(session.Workbook(),
                                                                             css::uno::UNO_QUERY);
        if (!document.is()) return 0;
        return document->getSheets().is() ? 1 : 0;
    } catch (...) {
        // A broken connection, or anything else the office raises, means it is gone.
        return 0;
    }
}

}  // namespace corvane::office
