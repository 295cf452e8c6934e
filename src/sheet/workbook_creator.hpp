// A new market-watch workbook: named sheets with the market-watch look, stored in a
// file of one of the formats a workbook can be loaded from again.
#pragma once

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <rtl/ustring.hxx>

#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "sheet/frozen_panes.hpp"
#include "sheet/market_format.hpp"

namespace corvane::sheet {

struct WorkbookRequest {
    rtl::OUString url;     // the file to store: must not exist yet
    rtl::OUString filter;  // the office's export filter for its format
    WorkbookFormat format = WorkbookFormat::Ods;
    std::vector<std::string> sheets;  // names, UTF-8, in order; checked with CheckSheetName
    MarketSheetOptions options;
};

// Whether `name` (UTF-8) can name a sheet: Argument, saying why, for what the office
// refuses: an empty name, the characters []*?:/\ and a leading or trailing apostrophe.
Error CheckSheetName(std::string_view name);

// Makes the workbook in a hidden window of the office whose context is `office`,
// stores it without ever replacing a file, and closes it; a failure after the file was
// stored removes the file again. A refused store (the file appeared meanwhile, no
// permission) raises css::io::IOException; other office errors pass as they come.
void CreateMarketWorkbook(const css::uno::Reference<css::uno::XComponentContext>& office,
                          const WorkbookRequest& request);

}  // namespace corvane::sheet
