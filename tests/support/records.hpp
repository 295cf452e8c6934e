// Market-watch records for tests.
#pragma once

#include <corvane/corvane.hpp>

#include <string>
#include <vector>

namespace corvane::test {

// A record whose field k is fields[k]; the fields not given are empty.
inline MarketWatchRecord RecordOf(const std::vector<const char*>& fields) {
    MarketWatchRecord record{};
    for (std::size_t k = 0; k < fields.size() && k < kColumnCount; ++k)
        record.fields[k] = fields[k];
    return record;
}

// A record with `text` in every field.
inline MarketWatchRecord Filled(const std::string& text) {
    MarketWatchRecord record{};
    for (CString& field : record.fields) field = text.c_str();
    return record;
}

}  // namespace corvane::test
