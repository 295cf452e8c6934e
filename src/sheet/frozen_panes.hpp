// Frozen panes in a stored workbook file. The office keeps a sheet's frozen rows and
// columns in the settings of the window that shows it, and stores them only from a
// visible window; a workbook made in a hidden window (the only safe kind in a headless
// office) is stored without. These functions add them to the stored file.
#pragma once

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

#include <string>
#include <vector>

namespace corvane::sheet {

enum class WorkbookFormat { Ods, Fods, Xlsx };

// `xml` (an OpenDocument settings.xml, or a whole flat .fods document) with view
// settings that freeze the first `columns` columns and `rows` rows of each named sheet
// (UTF-8) and make the first of them the active one. Throws std::runtime_error when
// `xml` has no view-settings set to add them to.
std::string WithOdfFrozenPanes(const std::string& xml, const std::vector<std::string>& sheets,
                               int columns, int rows);

// An .xlsx worksheet part with its sheet view frozen at `columns` and `rows`. Throws
// std::runtime_error when the part has no sheet view.
std::string WithXlsxFrozenPanes(const std::string& worksheet, int columns, int rows);

// Adds the frozen panes to the workbook stored at file `url` in `format`, whose sheets
// are `sheets` in this order, through the office's storage and file services: to every
// sheet, or only to those whose entry in `frozen` is true. Office errors pass to the
// caller.
void FreezeStoredPanes(const css::uno::Reference<css::uno::XComponentContext>& office,
                       const rtl::OUString& url, WorkbookFormat format,
                       const std::vector<std::string>& sheets, const std::vector<bool>& frozen,
                       int columns, int rows);

}  // namespace corvane::sheet
