#include "sheet/row_frame.hpp"

#include <com/sun/star/sheet/XSpreadsheets.hpp>

#include <com/sun/star/container/NoSuchElementException.hpp>

#include "office/host_text.hpp"

namespace corvane::sheet {

SheetHandle FindSheet(office::Session& session, const CString& name, office::Status& why) {
    const css::uno::Reference<css::sheet::XSpreadsheets>& sheets = session.sheets;
    if (name.GetLength() == 0) {
        why = office::Status::Argument;
        return {};
    }
    if (!sheets.is()) {
        why = office::Status::NotConnected;
        return {};
    }
    why = office::Status::NoSheet;
    css::uno::Any found;
    try {
        found = sheets->getByName(office::FromHostText(name.GetString(), name.GetLength()));
    } catch (const css::container::NoSuchElementException&) {
        return {};
    } catch (...) {
        // An office that no longer answers: there is no sheet to write to either.
        why = office::Status::OfficeGone;
        return {};
    }
    if (found.getValueTypeClass() != css::uno::TypeClass_INTERFACE) return {};
    css::uno::XInterface* const object =
        *static_cast<css::uno::XInterface* const*>(found.getValue());
    if (object == nullptr) return {};
    why = office::Status::Ok;
    return SheetHandle(object, css::uno::UNO_QUERY);
}

}  // namespace corvane::sheet
