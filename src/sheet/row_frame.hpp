// Finding a sheet by name, and the frame that every row operation runs in.
#pragma once

#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <corvane/corvane.hpp>

#include <utility>

#include "sheet/fast_writes.hpp"

namespace corvane::sheet {

// A counted reference to one sheet, looked up anew for each row operation.
using SheetHandle = css::uno::Reference<css::sheet::XSpreadsheet>;

// The sheet of the loaded workbook that has exactly this name. Empty when the name is
// empty, no workbook was loaded, the workbook has no such sheet, or the office failed
// the lookup (a lost connection included); nothing is sent to the office in the first
// two cases. The name is host text (UTF-8, other bytes one character each).
SheetHandle FindSheet(const CString& name);

// Runs `writer(sheet, row, extra...)` on the sheet named `name`, which the frame owns
// and frees. Returns -1 without any office call for an empty name, -1 when no such
// sheet is found, and 1 once the writer has returned. Before the writer runs, fast
// writes are applied to the workbook when they are on. Whatever the writer raises
// passes to the caller after the frame has released the sheet.
template <typename Writer, typename... Extra>
short RowOperation(CString name, int row, Writer writer, Extra... extra) {
    const CString held(std::move(name));
    if (held.GetLength() == 0) return -1;
    const SheetHandle sheet = FindSheet(held);
    if (!sheet.is()) return -1;
    PrepareFastWrites();
    writer(sheet, row, extra...);
    return 1;
}

}  // namespace corvane::sheet
