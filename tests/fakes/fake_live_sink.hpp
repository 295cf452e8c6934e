// A stand-in office for live tables: a sheet of remembered rows per sheet name, with
// switches to lose the office, fail its recovery, or hold a write until released.
#pragma once

#include <algorithm>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "live/live_sink.hpp"
#include "platform/instrument_key.hpp"

namespace corvane::test {

// What the fake office holds and how it behaves; shared with the test, since the table
// owns the sink.
struct FakeOffice {
    using Status = ErrorCode;
    using Result = Error;

    std::mutex mu;
    std::condition_variable changed;
    // Cells by (sheet, row): the 42 fields, or {"<titles>"} for a title row.
    std::map<std::pair<std::string, int>, std::vector<std::string>> rows;
    struct Write {
        std::string sheet;
        int firstRow, rows;
        std::vector<live::ColumnSpan> columns;
    };
    std::vector<Write> blocks;
    std::vector<std::string> sheets;        // the workbook's sheets; empty: any name exists
    bool takesSheets = true;                // a missing sheet can be added
    std::string refusedName = "<refused>";  // a block with this description is refused
    Result openResult;
    Status lose = Status::Ok;  // the next write fails with this and the office forgets its rows
    bool keepsRows = false;    // ... unless the workbook stays open (an attached office)
    int failedRecoveries = 0;  // recoveries still to fail before one works
    bool hold = false;         // writes wait inside the call until released
    bool holding = false;      // a write is waiting inside the call
    bool cancelled = false;
    int opens = 0, recoveries = 0, cancels = 0, keyReads = 0;
    Result reloadResult;  // what a recovery gives once the office is back

    // A row as a person or an earlier run left it: exchange, scrip code, last price.
    void Put(const std::string& sheet, int row, const std::string& exchange,
             const std::string& scrip, const std::string& ltp = "") {
        std::lock_guard<std::mutex> lock(mu);
        std::vector<std::string>& cells = rows[{sheet, row}];
        cells.assign(kColumnCount, {});
        cells[0] = exchange;
        cells[2] = scrip;
        cells[11] = ltp;
    }

    void Release() {
        std::lock_guard<std::mutex> lock(mu);
        hold = false;
        changed.notify_all();
    }
    void WaitHolding() {
        std::unique_lock<std::mutex> lock(mu);
        changed.wait(lock, [&] { return holding; });
    }
    std::string Cell(const std::string& sheet, int row, int field) {
        std::lock_guard<std::mutex> lock(mu);
        const auto found = rows.find({sheet, row});
        return found == rows.end() ? "<none>" : found->second.at(field);
    }
};

class FakeLiveSink : public live::LiveSink {
  public:
    explicit FakeLiveSink(std::shared_ptr<FakeOffice> office) : office_(std::move(office)) {}

    Error Open() override {
        std::lock_guard<std::mutex> lock(office_->mu);
        ++office_->opens;
        return office_->openResult;
    }
    Error Recover(const Error&, bool& restarted) override {
        std::lock_guard<std::mutex> lock(office_->mu);
        ++office_->recoveries;
        if (office_->failedRecoveries > 0) {
            --office_->failedRecoveries;
            return {ErrorCode::Connect, "no office on the pipe"};
        }
        if (!office_->reloadResult.ok()) return std::exchange(office_->reloadResult, {});
        restarted = true;
        return {};
    }
    Error ReadKeys(const std::string& sheet, int firstRow, bool create,
                   std::vector<live::RowKey>& keys) override {
        std::lock_guard<std::mutex> lock(office_->mu);
        ++office_->keyReads;
        keys.clear();
        if (auto failed = Refused(sheet); !failed.ok()) {
            if (failed != ErrorCode::NoSheet || !create || !office_->takesSheets) return failed;
            office_->sheets.push_back(sheet);
        }
        for (const auto& [place, cells] : office_->rows) {
            if (place.first != sheet || place.second < firstRow || cells.size() < 3) continue;
            const std::size_t at = static_cast<std::size_t>(place.second - firstRow);
            if (at >= keys.size()) keys.resize(at + 1);
            keys[at] = {cells[0], cells[2],
                        cells[0].empty() && cells[1].empty() && cells[2].empty()};
        }
        return {};
    }
    Error ClearRows(const std::string& sheet, int firstRow, int count) override {
        std::lock_guard<std::mutex> lock(office_->mu);
        for (int row = firstRow; row < firstRow + count; ++row) office_->rows.erase({sheet, row});
        return {};
    }
    Error WriteTitles(const std::string& sheet, int row) override {
        std::unique_lock<std::mutex> lock(office_->mu);
        if (const auto failed = Refused(sheet); !failed.ok()) return failed;
        office_->rows[{sheet, row}] = {"<titles>"};
        return {};
    }
    Error WriteBlock(const std::string& sheet, int firstRow,
                     const std::vector<live::ColumnSpan>& columns,
                     const std::vector<const live::LiveRow*>& rows, bool& moved) override {
        std::unique_lock<std::mutex> lock(office_->mu);
        if (office_->hold) {
            office_->holding = true;
            office_->changed.notify_all();
            office_->changed.wait(lock, [&] { return !office_->hold || office_->cancelled; });
            office_->holding = false;
            if (office_->cancelled) return {ErrorCode::Timeout, "cancelled"};
        }
        if (const auto failed = Refused(sheet); !failed.ok()) return failed;
        for (const live::LiveRow* row : rows)
            if (row->View(1) == office_->refusedName)
                return {ErrorCode::Office, "the office refused a value"};
        // A row that names another instrument, or holds something else, is never written.
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto found = office_->rows.find({sheet, firstRow + static_cast<int>(i)});
            if (found == office_->rows.end() || found->second.size() < 3) continue;
            const std::vector<std::string>& cells = found->second;
            const bool blank = cells[0].empty() && cells[1].empty() && cells[2].empty();
            moved |= !blank && platform::InstrumentKey(cells[0], cells[2]) !=
                                   platform::InstrumentKey(rows[i]->View(0), rows[i]->View(2));
        }
        if (moved) return {};
        office_->blocks.push_back({sheet, firstRow, static_cast<int>(rows.size()), columns});
        // Only the cells of the call's columns: a cell the table skips keeps what it held.
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::vector<std::string>& cells =
                office_->rows[{sheet, firstRow + static_cast<int>(i)}];
            cells.resize(kColumnCount);
            for (const live::ColumnSpan& span : columns)
                for (int k = span.first; k <= span.last; ++k) cells.at(k) = rows[i]->Field(k);
        }
        return {};
    }
    void Cancel() override {
        std::lock_guard<std::mutex> lock(office_->mu);
        ++office_->cancels;
        office_->cancelled = true;
        office_->changed.notify_all();
    }

  private:
    // The failure a write meets, with the office's lock held.
    Error Refused(const std::string& sheet) {
        if (office_->lose != ErrorCode::Ok) {
            const ErrorCode status = std::exchange(office_->lose, ErrorCode::Ok);
            if (!office_->keepsRows)
                office_->rows.clear();  // a new office loads the workbook as it was saved
            return {status, "the office went away"};
        }
        const auto& names = office_->sheets;
        if (!names.empty() && std::find(names.begin(), names.end(), sheet) == names.end())
            return {ErrorCode::NoSheet, "no sheet " + sheet};
        return {};
    }

    std::shared_ptr<FakeOffice> office_;
};

}  // namespace corvane::test
