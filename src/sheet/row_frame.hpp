// Finding a sheet by name, and the frame that every row operation runs in.
#pragma once

#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include "corvane/market_watch_record.hpp"

#include <utility>

#include "core/error.hpp"
#include "office/session.hpp"
#include "sheet/fast_writes.hpp"

namespace corvane::sheet {

// A counted reference to one sheet, looked up anew for each row operation.
using SheetHandle = css::uno::Reference<css::sheet::XSpreadsheet>;

// The sheet of the session's workbook that has this name. Empty when the name is
// empty, no workbook was loaded, the workbook has no such sheet, or the office failed
// the lookup (a lost connection included); nothing is sent to the office in the first
// two cases, and `why` tells them apart (Argument, NotConnected, NoSheet, Office).
// The name is host text (UTF-8, other bytes one character each).
SheetHandle FindSheet(office::Session& session, const CString& name, Error& why);

// Runs `writer(sheet, row, extra...)` on the sheet named `name`, which the frame owns
// and frees. Returns FindSheet's error when there is no sheet to write to, and Ok once
// the writer has returned. Before the writer runs, `fastWrites` are applied to the
// workbook when they are on. Whatever the writer raises passes to the caller after the
// frame has released the sheet.
template <typename Writer, typename... Extra>
Error RowOperation(office::Session& session, FastWrites& fastWrites, CString name, int row,
                   Writer writer, Extra... extra) {
    const CString held(std::move(name));
    Error why;
    const SheetHandle sheet = FindSheet(session, held, why);
    if (!sheet.is()) return why;
    fastWrites.Prepare(session.Workbook());
    writer(sheet, row, extra...);
    return {};
}

}  // namespace corvane::sheet
