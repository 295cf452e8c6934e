#include "office/probe.hpp"

#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

#include "host/office_link.hpp"

namespace corvane::office {

int ProbeOffice() noexcept {
    const OfficeLink& link = Link();
    if (!link.context.is()) return 0;
    try {
        const css::uno::Reference<css::sheet::XSpreadsheetDocument> document(link.workbook,
                                                                             css::uno::UNO_QUERY);
        if (!document.is()) return 0;
        return document->getSheets().is() ? 1 : 0;
    } catch (...) {
        // A broken connection, or anything else the office raises, means it is gone.
        return 0;
    }
}

}  // namespace corvane::office
