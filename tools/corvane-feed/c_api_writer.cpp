#include "c_api_writer.hpp"

#include <corvane/corvane.h>

namespace corvane::feed {

int CApiWriter::WriteTitles(const std::string& sheet, int row) {
    return corvane_write_titles(sheet.c_str(), row);
}

int CApiWriter::WriteRecord(const std::string& sheet, int row,
                            const std::vector<std::string>& fields) {
    const char* texts[CORVANE_COLUMN_COUNT] = {};
    for (int k = 0; k < CORVANE_COLUMN_COUNT && k < static_cast<int>(fields.size()); ++k)
        texts[k] = fields[k].c_str();
    return corvane_write_record(sheet.c_str(), row, texts);
}

bool CApiWriter::OfficeAnswers() { return corvane_is_running() == 1; }

std::string CApiWriter::LastError() { return corvane_last_error(); }

}  // namespace corvane::feed
