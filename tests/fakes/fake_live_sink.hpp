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

namespace corvane::test {

// What the fake office holds and how it behaves; shared with the test, since the table
// owns the sink.
struct FakeOffice {
    using Status = live::SinkStatus;
    using Result = live::SinkResult;

    std::mutex mu;
    std::condition_variable changed;
    // Cells by (sheet, row): the 42 fields, or {"<titles>"} for a title row.
    std::map<std::pair<std::string, int>, std::vector<std::string>> rows;
    struct Write {
        std::string sheet;
        int firstRow, rows;
    };
    std::vector<Write> blocks;
    std::vector<std::string> sheets;        // the workbook's sheets; empty: any name exists
    std::string refusedName = "<refused>";  // a block with this description is refused
    Result openResult;
    Status lose = Status::Ok;  // the next write fails with this and the office forgets its rows
    int failedRecoveries = 0;  // recoveries still to fail before one works
    bool hold = false;         // writes wait inside the call until released
    bool holding = false;      // a write is waiting inside the call
    bool cancelled = false;
    int opens = 0, recoveries = 0, cancels = 0;

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

    live::SinkResult Open() override {
        std::lock_guard<std::mutex> lock(office_->mu);
        ++office_->opens;
        return office_->openResult;
    }
    live::SinkResult Recover(live::SinkStatus) override {
        std::lock_guard<std::mutex> lock(office_->mu);
        ++office_->recoveries;
        if (office_->failedRecoveries > 0) {
            --office_->failedRecoveries;
            return {live::SinkStatus::OfficeGone, "no office on the pipe"};
        }
        return {live::SinkStatus::Ok, "", true};
    }
    live::SinkResult WriteTitles(const std::string& sheet, int row) override {
        std::unique_lock<std::mutex> lock(office_->mu);
        if (const auto failed = Refused(sheet); !failed.ok()) return failed;
        office_->rows[{sheet, row}] = {"<titles>"};
        return {};
    }
    live::SinkResult WriteBlock(const std::string& sheet, int firstRow,
                                const std::vector<const live::LiveRow*>& rows) override {
        std::unique_lock<std::mutex> lock(office_->mu);
        if (office_->hold) {
            office_->holding = true;
            office_->changed.notify_all();
            office_->changed.wait(lock, [&] { return !office_->hold || office_->cancelled; });
            office_->holding = false;
            if (office_->cancelled) return {live::SinkStatus::TimedOut, "cancelled"};
        }
        if (const auto failed = Refused(sheet); !failed.ok()) return failed;
        for (const live::LiveRow* row : rows)
            if (row->View(1) == office_->refusedName)
                return {live::SinkStatus::Other, "the office refused a value"};
        office_->blocks.push_back({sheet, firstRow, static_cast<int>(rows.size())});
        for (std::size_t i = 0; i < rows.size(); ++i) {
            std::vector<std::string>& cells =
                office_->rows[{sheet, firstRow + static_cast<int>(i)}];
            cells.assign(kColumnCount, {});
            for (int k = 0; k < kColumnCount; ++k) cells[k] = rows[i]->Field(k);
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
    live::SinkResult Refused(const std::string& sheet) {
        if (office_->lose != live::SinkStatus::Ok) {
            const live::SinkStatus status = std::exchange(office_->lose, live::SinkStatus::Ok);
            office_->rows.clear();  // a new office loads the workbook as it was saved
            return {status, "the office went away"};
        }
        const auto& names = office_->sheets;
        if (!names.empty() && std::find(names.begin(), names.end(), sheet) == names.end())
            return {live::SinkStatus::NoSheet, "no sheet " + sheet};
        return {};
    }

    std::shared_ptr<FakeOffice> office_;
};

}  // namespace corvane::test
