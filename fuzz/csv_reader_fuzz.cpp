// The CSV reader: the same records however the bytes are split into pushes; line
// numbers never go back; no record outgrows the limit.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "csv_reader.hpp"
#include "fuzz_check.hpp"

using corvane::feed::CsvReader;
using corvane::feed::CsvRecord;

namespace {

std::vector<CsvRecord> Read(std::size_t limit, const std::string& text,
                            const std::vector<std::size_t>& cuts) {
    CsvReader reader(limit);
    std::size_t from = 0;
    for (std::size_t cut : cuts) {
        reader.Push(std::string_view(text).substr(from, cut - from));
        from = cut;
    }
    reader.Push(std::string_view(text).substr(from));
    reader.Finish();
    std::vector<CsvRecord> records;
    for (CsvRecord record; reader.Next(record);) records.push_back(std::move(record));
    return records;
}

bool Same(const std::vector<CsvRecord>& a, const std::vector<CsvRecord>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        if (a[k].fields != b[k].fields || a[k].line != b[k].line || a[k].blank != b[k].blank ||
            a[k].error.empty() != b[k].error.empty())
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 1024) return 0;
    const std::size_t limit = data[0] % 4;  // 0: no limit on quoted line breaks
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);

    const std::vector<CsvRecord> whole = Read(limit, text, {});
    long line = 0;
    for (const CsvRecord& record : whole) {
        FUZZ_CHECK(record.line >= 1 && record.line >= line);
        FUZZ_CHECK(record.error.empty() || record.fields.empty());
        line = record.line;
    }
    // Split at every byte once (at 32 places in a longer text), and byte by byte.
    const std::size_t step = text.size() > 128 ? text.size() / 32 : 1;
    for (std::size_t cut = 1; cut < text.size(); cut += step)
        FUZZ_CHECK(Same(whole, Read(limit, text, {cut})));
    std::vector<std::size_t> everyByte;
    for (std::size_t cut = 1; cut < text.size(); ++cut) everyByte.push_back(cut);
    FUZZ_CHECK(Same(whole, Read(limit, text, everyByte)));
    return 0;
}
