// Which instrument a row of fields is: its exchange and scrip code, compared as the
// office compares sheet names and as whole numbers.
#pragma once

#include <string>
#include <string_view>

namespace corvane::live {

// The key of the instrument with this exchange (field 0) and scrip code (field 2):
// the exchange without surrounding blanks and in the case the office ignores ("nse" is
// the exchange, and the sheet, of "NSE"), and the scrip code as a whole number
// ("0500325" and "500325" are one instrument). Empty when either is missing.
std::string InstrumentKey(std::string_view exchange, std::string_view scrip);

// `text` without the blanks around it.
std::string_view Trimmed(std::string_view text);

}  // namespace corvane::live
