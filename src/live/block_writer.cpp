#include "live/block_writer.hpp"

#include <algorithm>
#include <string_view>
#include <utility>

namespace corvane::live {
namespace {

bool SameLeading(const std::string& leading, const LiveRow& row) {
    std::string_view rest(leading);
    for (int k = 0; k < LiveSink::kLeadingColumns; ++k) {
        const std::string_view field = row.View(k);
        if (rest.substr(0, field.size()) != field) return false;
        rest.remove_prefix(field.size());
        if (k + 1 < LiveSink::kLeadingColumns) {
            if (rest.empty() || rest.front() != '\0') return false;
            rest.remove_prefix(1);
        }
    }
    return rest.empty();
}

// Whether any of the ascending rows `changed` lies in `block`.
bool HoldsChanges(const std::vector<int>& changed, const Block& block) {
    const auto found = std::lower_bound(changed.begin(), changed.end(), block.firstRow);
    return found != changed.end() && *found < block.firstRow + block.rows;
}

}  // namespace

std::string LeadingColumns(const LiveRow& row) {
    std::string leading;
    for (int k = 0; k < LiveSink::kLeadingColumns; ++k) {
        if (k > 0) leading += '\0';
        leading += row.View(k);
    }
    return leading;
}

BlockWriter::BlockWriter(LiveSink& sink, SinkCall call, CallCost startCost, bool learnCost,
                         int sheetRows)
    : sink_(sink),
      call_(std::move(call)),
      startCost_(startCost),
      learnCost_(learnCost),
      sheetRows_(sheetRows),
      estimate_(startCost) {}

int BlockWriter::FirstColumn(const Block& block, const SheetTicks& ticks) const {
    for (int row = block.firstRow; row < block.firstRow + block.rows; ++row) {
        const std::string* leading = ticks.Leading(row);
        if (leading == nullptr || !SameLeading(*leading, *ticks.Tick(row))) return 0;
    }
    return LiveSink::kLeadingColumns;
}

SheetWrite BlockWriter::Write(const std::string& sheet, const std::vector<int>& changed,
                              const SheetTicks& ticks, const CallCost& cost) {
    SheetWrite outcome;
    std::vector<Block> blocks;
    const auto known = [&](int row) { return ticks.Tick(row) != nullptr; };
    if (!PlanBlocks(changed, known, cost, sheetRows_, blocks)) {
        outcome.refused = {ErrorCode::Office, "rows past the end of sheet " + sheet};
        return outcome;
    }
    // Blocks still to write, the next one last. A block the office refuses for a
    // reason of its own rows (a protected cell, a value it will not take) is halved
    // until the refusal is confined to the rows that cause it, so that one bad row
    // does not hold back the up to 999 others of its block.
    std::vector<Block> work(blocks.rbegin(), blocks.rend());
    std::vector<const LiveRow*> rows;
    while (!work.empty()) {
        const Block block = work.back();
        work.pop_back();
        if (!HoldsChanges(changed, block)) continue;
        const int firstColumn = FirstColumn(block, ticks);
        rows.clear();
        for (int row = block.firstRow; row < block.firstRow + block.rows; ++row)
            rows.push_back(ticks.Tick(row));
        Error result;
        bool moved = false;
        const auto callStart = std::chrono::steady_clock::now();
        if (!call_(
                [&] { return sink_.WriteBlock(sheet, block.firstRow, firstColumn, rows, moved); },
                result)) {
            outcome.end = SheetWrite::End::Stopped;
            return outcome;
        }
        const auto callEnd = std::chrono::steady_clock::now();
        if (OfficeLost(result)) {
            outcome.end = SheetWrite::End::Lost;
            outcome.lost = result;
            return outcome;
        }
        if (result.ok() && moved) {
            // Somebody changed the rows since they were read: nothing was written, and
            // the sheet is read again before anything more is.
            outcome.end = SheetWrite::End::Moved;
            return outcome;
        }
        if (!result.ok()) {
            outcome.refused = result;
            if (result == ErrorCode::NoSheet) break;
            if (block.rows > 1) {
                const int half = block.rows / 2;
                work.push_back({block.firstRow + half, block.rows - half});
                work.push_back({block.firstRow, half});
            }
            continue;
        }
        if (learnCost_)
            estimate_.Add(block.rows, std::chrono::duration<double>(callEnd - callStart).count());
        outcome.written.push_back({block, firstColumn, callEnd});
    }
    return outcome;
}

}  // namespace corvane::live
