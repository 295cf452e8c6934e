// One cycle of a live table's writer: the ticks put since the last cycle are taken in,
// each sheet is read where its rows may have moved, its instruments are placed, and its
// titles and changed rows are written; then the flushes it served learn how it ended.
#include "live/live_table.hpp"

#include <algorithm>
#include <utility>

namespace corvane::live {
namespace {

using Clock = std::chrono::steady_clock;

// Ticks moved from the host's side to the writer's under one hold of the lock: enough
// to make the hold worth taking, few enough that a put finding the lock held waits
// about a microsecond.
constexpr std::size_t kCollectChunk = 32;

// How often one cycle reads a sheet again and writes into it when its writes keep
// finding rows that somebody changed since; the rest waits for the next cycle.
constexpr int kMovedAttempts = 4;

double Milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

}  // namespace

// A sheet's rows for the block writer: each row's instrument by the placement, its tick
// and what its row holds from the shadows.
class LiveTable::Ticks : public SheetTicks {
  public:
    Ticks(const LiveTable& table, std::uint32_t sheet)
        : table_(table), ids_(table.placement_.Rows(sheet)) {}

    const LiveRow* Tick(int row) const override {
        const std::int32_t id = IdOf(row);
        return id >= 0 && table_.shadows_[id].known ? &table_.shadows_[id].fields : nullptr;
    }
    const LiveRow* Written(int row) const override {
        const std::int32_t id = IdOf(row);
        if (id < 0 || !table_.placement_.Written(static_cast<std::uint32_t>(id))) return nullptr;
        const Shadow& shadow = table_.shadows_[id];
        switch (shadow.inRow) {
            case Shadow::InRow::Newest:
                return &shadow.fields;
            case Shadow::InRow::Earlier:
                return &shadow.earlier;
            case Shadow::InRow::Unknown:
                break;
        }
        return nullptr;
    }

  private:
    std::int32_t IdOf(int row) const {
        const long at = static_cast<long>(row) - table_.options_.firstRow;
        return at >= 0 && at < static_cast<long>(ids_.size()) ? ids_[at] : -1;
    }

    const LiveTable& table_;
    const std::vector<std::int32_t>& ids_;
};

std::uint64_t LiveTable::Collect() {
    std::uint64_t generation = 0;
    {
        platform::Lock lock(mu_);
        collecting_.swap(dirty_);
        generation = flushServed_ = flushAsked_;
    }
    if (collecting_.empty()) return generation;
    const std::uint32_t highest = *std::max_element(collecting_.begin(), collecting_.end());
    if (highest >= shadows_.size()) shadows_.resize(highest + 1);

    const std::uint64_t replaced = TakeTicks();
    std::uint64_t refused = 0;
    for (const std::uint32_t id : collecting_) {
        Shadow& shadow = shadows_[id];
        if (placement_.Refused(id) && shadow.needsWrite) {
            Unwrite(shadow);
            ++refused;
        }
    }
    collecting_.clear();
    if (replaced > 0 || refused > 0) {
        platform::Lock lock(statsMu_);
        stats_.ticksReplaced += replaced;
        stats_.ticksRefused += refused;
    }
    return generation;
}

std::uint64_t LiveTable::TakeTicks() {
    std::uint64_t replaced = 0;
    for (std::size_t start = 0; start < collecting_.size(); start += kCollectChunk) {
        const std::size_t end = std::min(collecting_.size(), start + kCollectChunk);
        platform::Lock lock(mu_);
        for (std::size_t i = start; i < end; ++i) {
            const std::uint32_t id = collecting_[i];
            Slot& slot = slots_[id];
            Shadow& shadow = shadows_[id];
            if (shadow.firstPut != Clock::time_point()) {
                ++replaced;  // the tick collected before was not written yet
            } else {
                shadow.firstPut = slot.firstPut;
                Rewrite(shadow);
            }
            if (!shadow.known) {
                while (sheetRows_.size() <= slot.sheet)
                    AddSheetRows(sheets_[sheetRows_.size()].name);
                placement_.Add(id, slot.sheet, std::move(slot.key));
            }
            shadow.known = true;
            // The tick its row holds stays, to be compared with the new one.
            if (shadow.inRow == Shadow::InRow::Newest) {
                swap(shadow.earlier, shadow.fields);
                shadow.inRow = Shadow::InRow::Earlier;
            }
            shadow.fields = std::move(slot.pending);  // the old one is freed here, not by a put
            slot.dirty = false;
        }
    }
    return replaced;
}

void LiveTable::AddSheetRows(const std::string& name) {
    sheetRows_.emplace_back();
    sheetRows_.back().name = name;
    sheetRows_.back().titlesNeeded = options_.titles;
    placement_.AddSheet();
}

LiveTable::CycleEnd LiveTable::Cycle(Error& lost) {
    // The one named sheet gets its titles as soon as the office is there.
    if (sheetRows_.empty() && !options_.sheetPerExchange) AddSheetRows(options_.sheet);
    const std::uint64_t generation = Collect();
    const CallCost cost = blocks_.PlanningCost();
    const Clock::time_point started = Clock::now();
    bool wrote = false;
    bool movedLeft = false;  // rows that somebody kept moving under every attempt

    for (std::uint32_t sheet = 0; sheet < sheetRows_.size(); ++sheet) {
        if (placement_.SheetRefused(sheet)) continue;
        bool moved = true;
        for (int attempt = 0; moved && attempt < kMovedAttempts; ++attempt) {
            const CycleEnd end = WriteSheet(sheet, cost, wrote, moved, lost);
            if (end != CycleEnd::Done) return end;
        }
        movedLeft |= moved;
    }

    if (wrote) {
        lastContact_ = Clock::now();
        platform::Lock lock(statsMu_);
        flushTimes_.Add(Milliseconds(Clock::now() - started));
    } else if (Clock::now() - lastContact_ >= options_.checkAfter) {
        // Nothing to write for a while: the office may have gone (or the user closed the
        // workbook) without any write noticing.
        Error result;
        if (!Call([&] { return sink_->Check(); }, result)) return CycleEnd::Stopped;
        lastContact_ = Clock::now();
        if (OfficeLost(result)) {
            lost = result;
            return CycleEnd::Lost;
        }
    }
    // Rows still moving under the writer are written at the next cycle, for the same
    // flushes: they were not refused.
    if (!movedLeft) Settle(generation);
    return CycleEnd::Done;
}

void LiveTable::Settle(std::uint64_t generation) {
    const bool titlesDone = std::none_of(sheetRows_.begin(), sheetRows_.end(),
                                         [](const SheetRows& s) { return s.titlesNeeded; });
    std::uint64_t& outcome = unwritten_ == 0 && titlesDone ? flushWritten_ : flushRefused_;
    bool advanced = false;
    {
        platform::Lock lock(mu_);
        if (generation > outcome) {
            outcome = generation;
            advanced = true;
        }
    }
    if (advanced) written_.notify_all();
}

LiveTable::CycleEnd LiveTable::WriteSheet(std::uint32_t index, const CallCost& cost, bool& wrote,
                                          bool& moved, Error& lost) {
    moved = false;
    const auto ended = [](StepEnd end) {
        return end == StepEnd::Stopped ? CycleEnd::Stopped
               : end == StepEnd::Lost  ? CycleEnd::Lost
                                       : CycleEnd::Done;
    };
    SheetRows& sheet = sheetRows_[index];
    // Rows are placed only by what the sheet holds: read before the first write
    // after a connection, after somebody changed them, and every few seconds.
    if (placement_.Holds(index)) {
        if (!sheet.read || sheet.moved || sink_->KeysChanged(sheet.name) ||
            Clock::now() - sheet.readAt >= options_.keyCheckEvery) {
            const StepEnd read = ReadSheet(index, lost);
            if (read != StepEnd::Done) return ended(read);
        }
        Apply(placement_.PlaceNew(index), sheet);
    }
    const StepEnd titles = WriteTitles(sheet, wrote, lost);
    if (titles != StepEnd::Done) return ended(titles);
    return WriteRows(index, cost, wrote, moved, lost);
}

LiveTable::StepEnd LiveTable::SinkStep(const std::function<Error()>& call, Error& result,
                                       Error& lost) {
    if (!Call(call, result)) return StepEnd::Stopped;
    if (!OfficeLost(result)) return StepEnd::Done;
    lost = result;
    return StepEnd::Lost;
}

LiveTable::StepEnd LiveTable::WriteTitles(SheetRows& sheet, bool& wrote, Error& lost) {
    if (!sheet.titlesNeeded) return StepEnd::Done;
    Error result;
    if (const StepEnd end = SinkStep(
            [&] { return sink_->WriteTitles(sheet.name, options_.firstRow - 1); }, result, lost);
        end != StepEnd::Done)
        return end;
    if (!result.ok()) {
        Record(result);
        return result == ErrorCode::NoSheet ? StepEnd::Skip : StepEnd::Done;
    }
    sheet.titlesNeeded = false;
    wrote = true;
    platform::Lock lock(statsMu_);
    ++stats_.titleRowsWritten;
    return StepEnd::Done;
}

LiveTable::CycleEnd LiveTable::WriteRows(std::uint32_t index, const CallCost& cost, bool& wrote,
                                         bool& moved, Error& lost) {
    const std::vector<std::int32_t>& ids = placement_.Rows(index);
    SheetRows& sheet = sheetRows_[index];
    std::vector<int> changed;
    for (std::size_t at = 0; at < ids.size(); ++at)
        if (ids[at] >= 0 && shadows_[ids[at]].needsWrite)
            changed.push_back(options_.firstRow + static_cast<int>(at));
    if (changed.empty()) return CycleEnd::Done;  // an idle sheet is left alone
    const auto [healFirst, healEnd] = HealSlice(sheet, ids.size());
    const Block whole{options_.firstRow + static_cast<int>(healFirst),
                      static_cast<int>(healEnd - healFirst)};
    const SheetWrite outcome = blocks_.Write(sheet.name, changed, Ticks(*this, index), cost, whole);
    for (const WrittenBlock& written : outcome.written) MarkWritten(index, written);
    wrote |= !outcome.written.empty();
    if (!outcome.refused.ok()) Record(outcome.refused);
    switch (outcome.end) {
        case SheetWrite::End::Done:
            return CycleEnd::Done;
        case SheetWrite::End::Moved:
            // Nothing more is written into the sheet before it was read again.
            sheet.moved = moved = true;
            return CycleEnd::Done;
        case SheetWrite::End::Lost:
            lost = outcome.lost;
            return CycleEnd::Lost;
        case SheetWrite::End::Stopped:
            break;
    }
    return CycleEnd::Stopped;
}

void LiveTable::MarkWritten(std::uint32_t index, const WrittenBlock& written) {
    const std::vector<std::int32_t>& ids = placement_.Rows(index);
    const Block& block = written.block;
    platform::Lock lock(statsMu_);
    if (written.sent) {
        stats_.rowsWritten += static_cast<std::uint64_t>(block.rows);
        stats_.cellsWritten += written.cells;
        ++stats_.blockCalls;
        stats_.cost = blocks_.Estimate();
    }
    for (int row = block.firstRow; row < block.firstRow + block.rows; ++row) {
        const auto id = static_cast<std::uint32_t>(ids[row - options_.firstRow]);
        Shadow& shadow = shadows_[id];
        placement_.MarkWritten(id);
        // A changed row got every column that changed; a bridged one, whose columns are
        // not known, holds its tick only once every column was written.
        if (shadow.needsWrite || written.wholeRows) {
            shadow.inRow = Shadow::InRow::Newest;
            shadow.earlier = LiveRow();
        }
        if (!shadow.needsWrite) continue;
        if (shadow.firstPut != Clock::time_point())
            staleness_.Add(Milliseconds(written.end - shadow.firstPut));
        shadow.firstPut = Clock::time_point();
        shadow.needsWrite = false;
        --unwritten_;
    }
}

LiveTable::StepEnd LiveTable::ReadSheet(std::uint32_t index, Error& lost) {
    SheetRows& sheet = sheetRows_[index];
    std::vector<RowKey> keys;
    Error result;
    const bool create = options_.sheetPerExchange && options_.addSheets;
    // Reading and placing: what keeping rows in place costs the writer.
    struct Timed {
        LiveTable& table;
        Clock::time_point start = Clock::now();
        ~Timed() {
            platform::Lock lock(table.statsMu_);
            ++table.stats_.keyReads;
            table.stats_.keyReadSeconds +=
                std::chrono::duration<double>(Clock::now() - start).count();
        }
    } timed{*this};
    if (const StepEnd end =
            SinkStep([&] { return sink_->ReadKeys(sheet.name, options_.firstRow, create, keys); },
                     result, lost);
        end != StepEnd::Done)
        return end;
    if (result == ErrorCode::NoSheet && options_.sheetPerExchange) {
        // Every other exchange, and every copy, goes on without this one.
        Refuse(index, result.message().empty() ? "the workbook has no sheet \"" + sheet.name + "\""
                                               : result.message());
        return StepEnd::Skip;
    }
    if (!result.ok()) {
        Record(result);
        return StepEnd::Skip;
    }
    sheet.readAt = Clock::now();
    sheet.moved = false;
    // The first reading since a connection may find another copy of the workbook: every
    // row is rewritten whole.
    const bool whole = !sheet.read;
    if (!sheet.read) {
        sheet.read = true;
        // A clean sheet is made once, at the sheet's first reading: later connections
        // find the table's own rows there, and whatever the user has typed since.
        if (options_.cleanSheet && !sheet.cleaned && !keys.empty()) {
            const StepEnd cleaned = Clean(sheet, keys, lost);
            if (cleaned != StepEnd::Done) return cleaned;
        }
        sheet.cleaned = true;
        Apply(placement_.FirstReading(index, keys), sheet);
    } else {
        const Placement placement = placement_.LaterReading(index, keys);
        Apply(placement, sheet);
        if (placement.moved) {
            platform::Lock lock(statsMu_);
            ++stats_.reorders;
        }
    }
    if (whole)
        for (const std::int32_t id : placement_.Rows(index))
            if (id >= 0) shadows_[id].ForgetRow();
    return StepEnd::Done;
}

std::pair<std::size_t, std::size_t> LiveTable::HealSlice(SheetRows& sheet, std::size_t rows) {
    // Someone may have typed over a live cell that the instrument's ticks do not change:
    // the cycles rewrite rows whole, in turn, as many as are due by the time since the
    // last: a stretch of rows, or a fifth of the sheet, whichever is more, for each
    // period of the key readings. Every row is so within five periods, within one on a
    // sheet of up to a stretch, and no cycle carries much of it.
    const Clock::time_point now = Clock::now();
    if (rows == 0 || sheet.healAt == Clock::time_point()) {
        sheet.healAt = now;
        return {0, 0};
    }
    const std::size_t perPeriod = std::min(
        rows, std::max<std::size_t>(static_cast<std::size_t>(kMaxBlockRows), (rows + 4) / 5));
    const double periods = std::chrono::duration<double>(now - sheet.healAt).count() /
                           std::chrono::duration<double>(options_.keyCheckEvery).count();
    sheet.healAt = now;
    // A sheet that was idle for long takes up one period's share, not all it missed.
    sheet.healDue = std::min(static_cast<double>(perPeriod), sheet.healDue + periods * perPeriod);
    const auto slice = static_cast<std::size_t>(sheet.healDue);
    sheet.healDue -= static_cast<double>(slice);
    if (sheet.healFrom >= rows) sheet.healFrom = 0;
    const std::size_t first = sheet.healFrom;
    sheet.healFrom = first + slice >= rows ? 0 : first + slice;
    return {first, std::min(rows, first + slice)};
}

LiveTable::StepEnd LiveTable::Clean(SheetRows& sheet, std::vector<RowKey>& keys, Error& lost) {
    const int count = static_cast<int>(keys.size());
    Error result;
    if (const StepEnd end = SinkStep(
            [&] { return sink_->ClearRows(sheet.name, options_.firstRow, count); }, result, lost);
        end != StepEnd::Done)
        return end;
    if (!result.ok()) {
        Record(result);
        sheet.read = false;
        return StepEnd::Skip;
    }
    keys.clear();
    return StepEnd::Done;
}

void LiveTable::Apply(const Placement& placement, const SheetRows& sheet) {
    // An instrument placed in another row finds there nothing of what it holds.
    for (const std::uint32_t id : placement.rewrite) {
        Shadow& shadow = shadows_[id];
        Rewrite(shadow);
        shadow.ForgetRow();
    }
    std::uint64_t refused = 0;
    for (const std::uint32_t id : placement.refused) {
        Record({ErrorCode::Office, "sheet " + sheet.name + " has no row left for an instrument"});
        Shadow& shadow = shadows_[id];
        if (shadow.needsWrite) {
            Unwrite(shadow);
            ++refused;
        }
    }
    if (placement.adopted > 0 || refused > 0) {
        platform::Lock lock(statsMu_);
        stats_.rowsAdopted += placement.adopted;
        stats_.ticksRefused += refused;
    }
}

void LiveTable::Refuse(std::uint32_t index, const std::string& why) {
    SheetRows& sheet = sheetRows_[index];
    sheet.titlesNeeded = false;
    std::uint64_t refused = 0;
    for (const std::uint32_t id : placement_.RefuseSheet(index)) {
        Shadow& shadow = shadows_[id];
        if (shadow.needsWrite) {
            Unwrite(shadow);
            ++refused;
        }
    }
    {
        platform::Lock lock(mu_);
        for (SheetPlace& place : sheets_)
            if (place.name == sheet.name) place.refused = true;
    }
    {
        platform::Lock lock(statsMu_);
        stats_.ticksRefused += refused;
    }
    Record({ErrorCode::NoSheet, why + ": the instruments of " + sheet.name + " are refused"});
}

void LiveTable::Rewrite(Shadow& shadow) {
    if (shadow.needsWrite) return;
    shadow.needsWrite = true;
    ++unwritten_;
}

void LiveTable::Unwrite(Shadow& shadow) {
    if (!shadow.needsWrite) return;
    shadow.needsWrite = false;
    shadow.firstPut = Clock::time_point();
    --unwritten_;
}

void LiveTable::MarkAllForRewrite() {
    // The office may hold another copy of the workbook now: every sheet is read again
    // before it is written, and a sheet that could not be had is tried again (an
    // instrument refused for a full sheet stays refused).
    placement_.Reopen();
    for (std::uint32_t id = 0; id < shadows_.size(); ++id)
        if (shadows_[id].known && !placement_.Refused(id)) Rewrite(shadows_[id]);
    for (SheetRows& sheet : sheetRows_) {
        sheet.titlesNeeded = options_.titles;
        sheet.read = false;
    }
    platform::Lock lock(mu_);
    for (SheetPlace& place : sheets_) place.refused = false;
}

}  // namespace corvane::live
