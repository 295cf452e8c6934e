// Letter case of text as Unicode defines it, independent of the process's locale.
#pragma once

#include <string>
#include <string_view>

namespace corvane::platform {

// `text` with every letter in upper case by Unicode's simple case mapping, UTF-8 in and
// out. Text that is not valid UTF-8 is taken one character per byte (Latin-1).
std::string UpperCaseUtf8(std::string_view text);

}  // namespace corvane::platform
