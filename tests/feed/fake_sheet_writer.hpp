// A sheet writer for the feed's tests, with no office: it records every write, and
// refuses writes as an office does, for missing sheets, rows past a sheet's end, or a
// line the test names.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "core/error.hpp"
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
    corvane::Error WriteTitles(const std::string& sheet, int row) override {
        if (corvane::Error refused = Refused(sheet, row); !refused.ok()) return refused;
        writes.push_back({sheet, row, "titles"});
        return {};
    }
    corvane::Error WriteRecord(const std::string& sheet, int row,
                               const std::vector<std::string>& fields) override {
        if (corvane::Error refused = Refused(sheet, row); !refused.ok()) return refused;
        return Store(sheet, row, fields);
    }
    bool OfficeAnswers() override { return alive; }

    std::vector<Write> writes;             // every row and title row written
    std::set<std::string> missingSheets;   // sheets the workbook does not have
    int sheetEnd = 1 << 20;                // rows from here on lie past the sheet's end
    std::string refusedDescription = "-";  // a line the office refuses
    std::string officeDiesAt = "-";        // the line at which the office dies
    std::string timesOutAt = "-";          // the line the office does not answer in time
    bool alive = true;

  private:
    corvane::Error Refused(const std::string& sheet, int lastRow) {
        if (missingSheets.count(sheet)) return {ErrorCode::NoSheet, "no such sheet"};
        if (lastRow >= sheetEnd) return {ErrorCode::Office, "refused"};
        return {};
    }
    corvane::Error Store(const std::string& sheet, int row,
                         const std::vector<std::string>& fields) {
        EXPECT_EQ(fields.size(), 42u);
        if (fields[1] == refusedDescription)
            return {ErrorCode::Office, "com.sun.star.uno.RuntimeException: refused"};
        if (fields[1] == officeDiesAt) {
            alive = false;
            return {ErrorCode::Office, "com.sun.star.lang.DisposedException: gone"};
        }
        if (fields[1] == timesOutAt) return {ErrorCode::Timeout, "no answer in time"};
        writes.push_back({sheet, row, fields[1]});
        return {};
    }
};

}  // namespace corvane::feed
