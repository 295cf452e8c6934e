// The row placement alone: which rows a reading of the key columns gives the table's
// instruments, when a later reading shows rows moved, and when a sheet is full.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "live/row_placement.hpp"
#include "platform/instrument_key.hpp"

namespace corvane::test {
namespace {

using live::Placement;
using live::RowKey;
using live::RowPlacement;

constexpr int kFirst = 1;  // the titles are in row 0

RowKey Key(const std::string& exchange, const std::string& scrip) {
    return {exchange, scrip, false};
}
const RowKey kBlank{};
const RowKey kNote{"", "", false};  // something in column B: no instrument

// Adds instruments 0, 1, ... of sheet 0 by their scrip codes on NSE.
void AddAll(RowPlacement& placement, const std::vector<std::string>& scrips) {
    for (std::uint32_t id = 0; id < scrips.size(); ++id)
        placement.Add(id, 0, platform::InstrumentKey("NSE", scrips[id]));
}

bool Contains(const std::vector<std::uint32_t>& ids, std::uint32_t id) {
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

TEST(RowPlacement, FoundInstrumentsKeepTheirFirstRowAndNothingElseIsGivenAway) {
    RowPlacement placement(kFirst, 100);
    placement.AddSheet();
    AddAll(placement, {"4", "9"});
    // Rows 1 to 5: scrip 4 (spelt otherwise), a note, scrip 4 again, another
    // instrument that never ticked, a blank row.
    const Placement placed = placement.FirstReading(
        0, {Key("nse", "04"), kNote, Key("NSE", "4"), Key("NSE", "7"), kBlank});
    EXPECT_EQ(placed.adopted, 1u);
    EXPECT_EQ(placement.Row(0), 1);
    EXPECT_EQ(placement.Row(1), 6);  // after the last row read
    EXPECT_TRUE(Contains(placed.rewrite, 0) && Contains(placed.rewrite, 1));
    EXPECT_TRUE(placed.refused.empty());

    // A newcomer found in the sheet takes its row; the note's row and the second row of
    // scrip 4 stay nobody's.
    placement.Add(2, 0, platform::InstrumentKey("NSE", "7"));
    placement.Add(3, 0, platform::InstrumentKey("NSE", "5"));
    const Placement added = placement.PlaceNew(0);
    EXPECT_EQ(added.adopted, 1u);
    EXPECT_EQ(placement.Row(2), 4);
    EXPECT_EQ(placement.Row(3), 7);
    const std::vector<std::int32_t> expected{0, -1, -1, 2, -1, 1, 3};
    EXPECT_EQ(placement.Rows(0), expected);
}

TEST(RowPlacement, ALaterReadingFindsRowsMovedOnlyWhenTheSheetChangedUnderTheTable) {
    RowPlacement placement(kFirst, 100);
    placement.AddSheet();
    AddAll(placement, {"1", "2", "3"});
    placement.FirstReading(0, {Key("NSE", "1"), kBlank, Key("NSE", "2")});
    EXPECT_EQ(placement.Row(2), 4);
    placement.MarkWritten(0);
    placement.MarkWritten(1);

    // Unchanged, or a row given but not written yet that now holds its instrument.
    EXPECT_FALSE(placement.LaterReading(0, {Key("NSE", "1"), kBlank, Key("NSE", "2")}).moved);
    EXPECT_FALSE(placement.Moved(0, {Key("NSE", "1"), kBlank, Key("NSE", "2"), Key("NSE", "3")}));
    // Typed into the blank row, or the rows of 1 and 2 swapped by a sort.
    EXPECT_TRUE(placement.Moved(0, {Key("NSE", "1"), kNote, Key("NSE", "2")}));
    const Placement sorted = placement.LaterReading(0, {Key("NSE", "2"), kBlank, Key("NSE", "1")});
    EXPECT_TRUE(sorted.moved);
    EXPECT_EQ(sorted.adopted, 2u);
    EXPECT_EQ(placement.Row(0), 3);
    EXPECT_EQ(placement.Row(1), 1);
    EXPECT_EQ(placement.Row(2), 4);  // its row is still free: it stays
    EXPECT_EQ(sorted.rewrite.size(), 3u);

    // A written row the user emptied: after the next placement the table no longer takes
    // its tick to be there, so an emptied row is not taken for a move again.
    placement.MarkWritten(2);
    EXPECT_TRUE(placement.LaterReading(0, {Key("NSE", "2"), kBlank, Key("NSE", "1")}).moved);
    EXPECT_FALSE(placement.Written(2));
    EXPECT_FALSE(placement.Moved(0, {Key("NSE", "2"), kBlank, Key("NSE", "1")}));
}

TEST(RowPlacement, AFullSheetRefusesForGoodAMissingOneUntilTheNextConnection) {
    RowPlacement placement(kFirst, 4);  // rows 1 to 3
    placement.AddSheet();
    AddAll(placement, {"1"});
    placement.FirstReading(0, {kBlank, kNote});  // row 2 is somebody else's
    EXPECT_EQ(placement.Row(0), 3);
    placement.Add(1, 0, platform::InstrumentKey("NSE", "3"));
    const Placement full = placement.PlaceNew(0);
    EXPECT_EQ(full.refused, std::vector<std::uint32_t>{1});
    EXPECT_EQ(placement.Row(1), -1);

    // The sheet cannot be had: what was placed there is refused with it.
    EXPECT_EQ(placement.RefuseSheet(0), std::vector<std::uint32_t>{0});
    EXPECT_TRUE(placement.Refused(0));
    placement.Reopen();
    EXPECT_FALSE(placement.Refused(0));
    EXPECT_TRUE(placement.Refused(1));
    placement.FirstReading(0, {});
    EXPECT_EQ(placement.Row(0), 3);
    EXPECT_EQ(placement.Row(1), -1);
}

}  // namespace
}  // namespace corvane::test
