#include "sheet/row_frame.hpp"

#include <com/sun/star/sheet/XSpreadsheets.hpp>

#include <com/sun/star/container/NoSuchElementException.hpp>

#include "office/host_text.hpp"

namespace corvane::sheet {

SheetHandle FindSheet(office::Session& session, const CString& name, Error& why) {
    const css::uno::Reference<css::sheet::XSpreadsheets>& sheets = session.Sheets();
    if (name.GetLength() == 0) {
        why = {ErrorCode::Argument, "the sheet name is NULL or empty"};
        return {};
    }
    if (!sheets.is()) {
        why = {ErrorCode::NotConnected, "no workbook is loaded: call corvane_init first"};
        return {};
    }
    why = {ErrorCode::NoSheet,
           "the workbook has no sheet named \"" + std::string(name.GetString()) + "\""};
    css::uno::Any found;
    try {
        found = sheets->getByName(office::FromHostText(name.GetString(), name.GetLength()));
    } catch (const css::container::NoSuchElementException&) {
        return {};
    } catch (...) {
        // An office that no longer answers: there is no sheet to write to either.
        why = {ErrorCode::Office, "the office failed the sheet lookup"};
        return {};
    }
    if (found.getValueTypeClass() != css::uno::TypeClass_INTERFACE) return {};
    css::uno::XInterface* const object =
        *static_cast<css::uno::XInterface* const*>(found.getValue());
    if (object == nullptr) return {};
    why = {};
    return SheetHandle(object, css::uno::UNO_QUERY);
}

}  // namespace corvane::sheet
