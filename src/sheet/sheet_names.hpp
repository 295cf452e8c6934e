// Sheet names as the office tells them apart: it finds a sheet whatever the letter case
// of the name asked for ("NSE", "nse" and "Nse" name one sheet, and so do "Ärzte" and
// "ärzte"). The live table's exchanges, the feed's sheets and workbook creation all
// compare names by this one key.
#pragma once

#include <string>
#include <string_view>

namespace corvane::sheet {

// The key of a sheet name (UTF-8; other bytes one character each): two names that the
// office takes for one sheet give the same key.
std::string SheetNameKey(std::string_view name);

}  // namespace corvane::sheet
