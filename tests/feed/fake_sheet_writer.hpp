// A sheet writer for the feed's tests, with no office: it records every write, and
// refuses writes as an office does, for missing sheets, rows past a sheet's end, or a
// line the test names.
#pragma once

#include <corvane/corvane.h>
#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "feed_loop.hpp"

namespace corvane::feed {

struct Write {
    std::string sheet;
    int row;
    std::string what;  // "titles" or the line's description (column B)
    bool operator==(const Write& other) const {
        return sheet == other.sheet && row == other.row && what == other.what;
    }
};

inline std::ostream& operator<<(std::ostream& out, const Write& w) {
    return out << w.sheet << ":" << w.row << ":" << w.what;
}

class FakeSheetWriter : public SheetWriter {
  public:
    int WriteTitles(const std::string& sheet, int row) override {
        if (const int code = Refused(sheet, row)) return code;
        writes.push_back({sheet, row, "titles"});
        return CORVANE_OK;
    }
    int WriteRecord(const std::string& sheet, int row,
                    const std::vector<std::string>& fields) override {
        if (const int code = Refused(sheet, row)) return code;
        return Store(sheet, row, fields);
    }
    bool OfficeAnswers() override { return alive; }
    std::string LastError() override { return lastError; }

    std::vector<Write> writes;             // every row and title row written
    std::set<std::string> missingSheets;   // sheets the workbook does not have
    int sheetEnd = 1 << 20;                // rows from here on lie past the sheet's end
    std::string refusedDescription = "-";  // a line the office refuses
    std::string officeDiesAt = "-";        // the line at which the office dies
    bool alive = true;

  private:
    int Refused(const std::string& sheet, int lastRow) {
        if (missingSheets.count(sheet)) return Refuse(CORVANE_E_NO_SHEET, "no such sheet");
        if (lastRow >= sheetEnd) return Refuse(CORVANE_E_OFFICE, "refused");
        return CORVANE_OK;
    }
    int Store(const std::string& sheet, int row, const std::vector<std::string>& fields) {
        EXPECT_EQ(fields.size(), 42u);
        if (fields[1] == refusedDescription)
            return Refuse(CORVANE_E_OFFICE, "com.sun.star.uno.RuntimeException: refused");
        if (fields[1] == officeDiesAt) {
            alive = false;
            return Refuse(CORVANE_E_OFFICE, "com.sun.star.lang.DisposedException: gone");
        }
        writes.push_back({sheet, row, fields[1]});
        return CORVANE_OK;
    }
    int Refuse(int code, const char* error) {
        lastError = error;
        return code;
    }
    std::string lastError;
};

}  // namespace corvane::feed
