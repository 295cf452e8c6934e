// Copies of a workbook that show what the workbook shows. The office stores a sheet's
// frozen rows and columns only from a visible window, so a copy of a workbook in a
// hidden window (the only safe kind in a headless office) would lose the frozen title
// row of its market-watch sheets: they are put back into the stored copy.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/error.hpp"
#include "office/session.hpp"
#include "sheet/frozen_panes.hpp"

namespace corvane::sheet {

// The workbook format a path's extension names (any letter case), when it is one whose
// frozen panes the library can store.
std::optional<WorkbookFormat> PaneFormatOf(std::string_view path);

// Stores a copy of the session's workbook at `path` as office::SaveCopy does. In an
// .ods, .fods or .xlsx copy, every sheet whose row `titleRow` (zero-based) holds the
// market-watch titles is frozen below that row and right of the first two columns, as
// workbooks made by the library are. Results as office::SaveCopy; office exceptions pass
// to the caller.
Error SaveMarketCopy(office::Session& session, const char* path, int titleRow);

}  // namespace corvane::sheet
