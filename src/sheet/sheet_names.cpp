#include "sheet/sheet_names.hpp"

#include "platform/text_case.hpp"

namespace corvane::sheet {

std::string SheetNameKey(std::string_view name) { return platform::UpperCaseUtf8(name); }

}  // namespace corvane::sheet
