// Sheet names as the office tells them apart: it finds a sheet whatever the letter case
// of the name asked for ("NSE", "nse" and "Nse" are one sheet).
#pragma once

#include <string>
#include <string_view>

namespace corvane::feed {

// `name` with every letter in upper case, UTF-8 in and out; text that is not UTF-8 is
// taken one character per byte, as the library takes it. Two names that the office
// takes for one sheet give the same key.
std::string SheetKey(std::string_view name);

}  // namespace corvane::feed
