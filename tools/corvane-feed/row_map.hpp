// Which instrument a line is, with --follow: its exchange with its scrip code. The live
// table decides the rows; the feed tells lines without a key apart and counts instruments.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace corvane::feed {

// Exchange (without surrounding blanks, its letters in upper case) and scrip code (as a number:
// "0500325" and "500325" are the same instrument).
using InstrumentKey = std::pair<std::string, std::string>;

// Fills `key` from a completed 42-field line; returns false and says why when column A
// or C cannot identify an instrument.
bool KeyOf(const std::vector<std::string>& fields, InstrumentKey& key, std::string& why);

}  // namespace corvane::feed
