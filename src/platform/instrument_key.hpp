// Which instrument a row of fields is: its exchange and scrip code, compared as the
// office compares sheet names and as whole numbers. The live table, the live formulas
// and the bus all tell instruments apart by this one rule, so that one instrument is one
// row, one key in a bucket and one subject.
#pragma once

#include <string>
#include <string_view>

namespace corvane::platform {

// An instrument's exchange and scrip code in their one spelling: the exchange without
// surrounding blanks and in upper case ("nse" is the exchange, and the sheet, of "NSE"),
// the scrip code without surrounding blanks, a plus sign or leading zeros ("0500325" and
// "500325" are one instrument). Both empty when either is missing.
struct InstrumentName {
    std::string exchange;
    std::string scrip;
};
InstrumentName CanonicalInstrument(std::string_view exchange, std::string_view scrip);

// The key of the instrument with this exchange (field 0) and scrip code (field 2): its
// canonical exchange and scrip code joined by a NUL. Empty when either is missing.
std::string InstrumentKey(std::string_view exchange, std::string_view scrip);

// `text` without the blanks around it.
std::string_view Trimmed(std::string_view text);

}  // namespace corvane::platform
