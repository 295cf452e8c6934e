#include "bus/csv_line.hpp"

namespace corvane::bus {

void AppendCsvField(std::string& line, std::string_view field) {
    if (field.find_first_of(",\"\r\n") == std::string_view::npos) {
        line += field;
        return;
    }
    line += '"';
    for (const char c : field) {
        if (c == '"') line += '"';
        line += c;
    }
    line += '"';
}

std::string CsvLine(const std::vector<std::string>& fields) {
    std::string line;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i != 0) line += ',';
        AppendCsvField(line, fields[i]);
    }
    return line;
}

bool ParseCsvLine(std::string_view line, std::vector<std::string>& fields) {
    fields.assign(1, std::string());
    bool quoted = false;      // inside a quoted field
    bool afterQuote = false;  // a quoted field's closing quote was the last character
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c != '"') {
                fields.back() += c;
            } else if (i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else {
                quoted = false;
                afterQuote = true;
            }
        } else if (c == ',') {
            fields.emplace_back();
            afterQuote = false;
        } else if (afterQuote) {
            return false;
        } else if (c == '"' && fields.back().empty()) {
            quoted = true;
        } else {
            fields.back() += c;
        }
    }
    return !quoted;
}

}  // namespace corvane::bus
