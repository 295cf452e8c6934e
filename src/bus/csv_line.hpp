// One market-watch record as the bus carries it: a CSV line (RFC 4180), a field quoted
// when it holds a comma, a double quote or a line break, its quotes doubled; no line end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::bus {

void AppendCsvField(std::string& line, std::string_view field);
std::string CsvLine(const std::vector<std::string>& fields);
// The fields of one such line into `fields` (replaced); false for a line that is not one
// (a quote left open, text after a closing quote).
bool ParseCsvLine(std::string_view line, std::vector<std::string>& fields);

}  // namespace corvane::bus
