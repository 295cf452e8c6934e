// Storing a copy of the loaded workbook in a file.
#pragma once

#include <string_view>

namespace corvane::c_api {

// The office's export filter for the format that `path`'s extension names (any letter
// case), or null for an extension the library does not store.
const char* ExportFilterFor(std::string_view path);

}  // namespace corvane::c_api
