// Numbers read from the leading part of a host field, the same way whatever locale the
// host process has set.
#pragma once

#include <string_view>

namespace corvane::sheet {

// The integer that the field starts with: white space, an optional sign, then decimal
// digits, up to the first character that does not fit ("12.75" gives 12, "1,250" gives
// 1, " -3" gives -3); 0 when no digit leads. However many digits there are, the result
// is the nearest double (exact up to 2^53), an infinity beyond a double's range.
double LeadingInteger(std::string_view field);

// The decimal number that the field starts with: white space, an optional sign, digits
// with an optional decimal point, and an optional exponent, up to the first character
// that does not fit ("1e3" gives 1000); 0 when no number leads ("N/A"). The decimal
// separator is always the point. Beyond a double's range the result is an infinity or
// zero of the field's sign.
double LeadingReal(std::string_view field);

}  // namespace corvane::sheet
