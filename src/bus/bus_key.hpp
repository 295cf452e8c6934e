// Instrument keys on the bus. An instrument is published on <prefix>.<exchange>.<scrip>
// and kept in a bucket under <exchange>.<scrip>. A subject token cannot be empty or hold
// ' ', '.', '*' or '>', and a bucket key takes only letters, digits and "-_/=.", so each
// of exchange and scrip code is escaped one reversible way: letters, digits, '-', '_'
// and '/' stay as they are; every other byte (the '=' itself included) becomes '='
// followed by its two upper-case hex digits; an empty text becomes a lone "=".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane::bus {

std::string BusKeyToken(std::string_view text);
// The text a token was made from; nothing when `token` is no token BusKeyToken makes.
std::optional<std::string> BusKeyText(std::string_view token);

// "<exchange token>.<scrip token>": the bucket key of an instrument, of its exchange and
// scrip code as the live table tells instruments apart (platform::CanonicalInstrument):
// "nse"/"0500325" and "NSE"/"500325" are one key, "NSE.500325". Empty when either is
// missing.
std::string BusInstrumentKey(std::string_view exchange, std::string_view scrip);

}  // namespace corvane::bus
