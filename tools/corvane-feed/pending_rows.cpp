#include "pending_rows.hpp"

#include <corvane/corvane.h>

#include <iterator>
#include <utility>

namespace corvane::feed {
namespace {

using Rows = std::map<int, PendingLine>;

// Failures that every row of the block would meet again when written alone.
bool SharedByEveryRow(int code) {
    return code == CORVANE_E_NO_SHEET || code == CORVANE_E_NOT_CONNECTED;
}

// Writes the adjacent rows [first, last); false when the outcome ended the flush.
bool WriteRun(RowsWriter& writer, const std::string& sheet, Rows::const_iterator first,
              Rows::const_iterator last, const PendingRows::Outcome& outcome) {
    std::vector<const std::vector<std::string>*> block;
    for (auto row = first; row != last; ++row) block.push_back(&row->second.fields);
    const int code = writer.WriteRecords(sheet, first->first, block);
    if (code == CORVANE_OK || block.size() == 1 || SharedByEveryRow(code)) {
        for (auto row = first; row != last; ++row)
            if (!outcome(sheet, row->first, row->second, code)) return false;
        return true;
    }
    for (auto row = first; row != last; ++row) {
        const int own = writer.WriteRecord(sheet, row->first, row->second.fields);
        if (!outcome(sheet, row->first, row->second, own)) return false;
    }
    return true;
}

}  // namespace

void PendingRows::Put(const std::string& sheet, int row, PendingLine line) {
    Rows& rows = sheets_[sheet];
    const auto [at, added] = rows.try_emplace(row);
    if (added) {
        ++count_;
    } else {
        line.isNew = line.isNew || at->second.isNew;
    }
    at->second = std::move(line);
}

void PendingRows::Flush(RowsWriter& writer, const Outcome& outcome) {
    // Taken out first: the set is empty afterwards whatever the outcome does.
    std::map<std::string, Rows> sheets;
    sheets.swap(sheets_);
    count_ = 0;
    for (const auto& [sheet, rows] : sheets) {
        auto first = rows.begin();
        while (first != rows.end()) {
            auto last = std::next(first);
            while (last != rows.end() && last->first == std::prev(last)->first + 1) ++last;
            if (!WriteRun(writer, sheet, first, last, outcome)) return;
            first = last;
        }
    }
}

}  // namespace corvane::feed
