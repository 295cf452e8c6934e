#include "sheet/row_frame.hpp"

#include <com/sun/star/sheet/XSpreadsheets.hpp>

#include "host/office_link.hpp"
#include "office/host_text.hpp"

namespace corvane::sheet {

SheetHandle FindSheet(const CString& name) {
    const css::uno::Reference<css::sheet::XSpreadsheets>& sheets = Link().sheets;
    if (name.GetLength() == 0 || !sheets.is()) return {};
    css::uno::Any found;
    try {
        found = sheets->getByName(office::FromHostText(name.GetString(), name.GetLength()));
    } catch (...) {
        // No sheet of that name, or an office that no longer answers: either way there
        // is no sheet to write to.
        return {};
    }
    if (found.getValueTypeClass() != css::uno::TypeClass_INTERFACE) return {};
    css::uno::XInterface* const object =
        *static_cast<css::uno::XInterface* const*>(found.getValue());
    if (object == nullptr) return {};
    return SheetHandle(object, css::uno::UNO_QUERY);
}

}  // namespace corvane::sheet
