#include "c_api_writer.hpp"

#include <corvane/corvane.h>

#include "c_status.hpp"

namespace corvane::feed {

corvane::Error CApiWriter::WriteTitles(const std::string& sheet, int row) {
    return FromStatus(corvane_write_titles(sheet.c_str(), row));
}

corvane::Error CApiWriter::WriteRecord(const std::string& sheet, int row,
                                       const std::vector<std::string>& fields) {
    const char* texts[CORVANE_COLUMN_COUNT] = {};
    for (int k = 0; k < CORVANE_COLUMN_COUNT && k < static_cast<int>(fields.size()); ++k)
        texts[k] = fields[k].c_str();
    return FromStatus(corvane_write_record(sheet.c_str(), row, texts));
}

bool CApiWriter::OfficeAnswers() { return corvane_is_running() == 1; }

}  // namespace corvane::feed
