#include "c_api_writer.hpp"

#include <corvane/corvane.h>

#include <array>

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

int CApiWriter::WriteRecords(const std::string& sheet, int firstRow,
                             const std::vector<const std::vector<std::string>*>& rows) {
    std::vector<std::array<const char*, CORVANE_COLUMN_COUNT>> texts(rows.size());
    std::vector<const char* const*> records(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const std::vector<std::string>& fields = *rows[r];
        texts[r].fill(nullptr);
        for (std::size_t k = 0; k < texts[r].size() && k < fields.size(); ++k)
            texts[r][k] = fields[k].c_str();
        records[r] = texts[r].data();
    }
    return corvane_write_records(sheet.c_str(), firstRow, records.data(),
                                 static_cast<int>(records.size()));
}

bool CApiWriter::OfficeAnswers() { return corvane_is_running() == 1; }

std::string CApiWriter::LastError() { return corvane_last_error(); }

}  // namespace corvane::feed
