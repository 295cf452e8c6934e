// Live tables in-process against a fake office: the block plan, nothing lost across
// flush and close while ticks keep coming, recovery after the office is lost, and puts
// that go on while the office is stuck.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_live_sink.hpp"
#include "live/live_table.hpp"

namespace corvane::test {
namespace {

using live::Block;
using live::LiveTable;
using live::TableOptions;
using live::TableState;
using std::chrono::milliseconds;

constexpr Timeout kAmple = Timeout::After(milliseconds(60000));
constexpr int kLtp = 11;  // the field that carries each tick's value in these tests

std::vector<std::string> Tick(const std::string& exchange, int scrip, const std::string& ltp) {
    std::vector<std::string> fields(kColumnCount);
    fields[0] = exchange;
    fields[1] = "Instrument " + std::to_string(scrip);
    fields[2] = std::to_string(scrip);
    fields[kLtp] = ltp;
    return fields;
}

ErrorCode Put(LiveTable& table, const std::vector<std::string>& fields) {
    std::vector<std::string_view> views(fields.begin(), fields.end());
    return table.Put(views.data()).code();
}

// Flushes only when asked: the writer's own pace is an hour.
TableOptions Manual(const std::string& sheet) {
    TableOptions options;
    options.sheet = sheet;
    options.interval = std::chrono::hours(1);
    options.backoffFirst = milliseconds(5);
    options.backoffLast = milliseconds(20);
    return options;
}

TEST(BlockPlan, BridgesCheapGapsOfKnownRowsOnlyAndStaysWithinStretchesAndTheSheet) {
    const live::CallCost cost{1.0, 0.1};  // a gap of fewer than 10 rows is worth bridging
    const auto all = [](int) { return true; };
    // Rows 1 to 30 known: the blocks' ends are more than half a call from their bounds.
    const auto some = [](int row) { return row >= 1 && row <= 30; };
    std::vector<Block> blocks;

    ASSERT_TRUE(live::PlanBlocks({1, 2, 12, 23, 24}, some, cost, 100, blocks));
    EXPECT_EQ(blocks, (std::vector<Block>{{1, 12}, {23, 2}}));  // gap 9 bridged, gap 10 not

    // Row 3 was never seen: not bridged, and the blocks widen up to it.
    ASSERT_TRUE(live::PlanBlocks(
        {1, 6}, [](int row) { return row >= 1 && row != 3 && row <= 30; }, cost, 100, blocks));
    EXPECT_EQ(blocks, (std::vector<Block>{{1, 2}, {4, 3}}));

    std::vector<int> many;
    for (int row = 0; row < 2500; ++row) many.push_back(row * 2);  // every other row
    ASSERT_TRUE(live::PlanBlocks(many, all, cost, live::kSheetRows, blocks));
    ASSERT_EQ(blocks.size(), 5u);
    for (std::size_t i = 0; i < blocks.size(); ++i)
        EXPECT_EQ(blocks[i],
                  (Block{static_cast<int>(i) * live::kMaxBlockRows, live::kMaxBlockRows}));

    EXPECT_FALSE(live::PlanBlocks({3, 7, live::kSheetRows}, all, cost, live::kSheetRows, blocks));
    EXPECT_TRUE(blocks.empty());
}

// A stream that changes a third of the rows each time, different ones, is written in the
// same blocks each time: the rows of each stretch that the table knows.
TEST(BlockPlan, BlocksOfASteadyStreamCoverTheSameRowsEachTime) {
    const live::CallCost cost{1.0, 0.01};
    const auto known = [](int row) { return row >= 1 && row <= 2500; };
    const std::vector<Block> want{{1, 999}, {1000, 1000}, {2000, 501}};
    unsigned next = 7;
    for (int round = 0; round < 3; ++round) {
        std::vector<int> changed;
        for (int row = 1; row <= 2500; ++row)
            if ((next = next * 1103515245u + 12345u) >> 16 & 1 && row % 3 != round)
                changed.push_back(row);
        std::vector<Block> blocks;
        ASSERT_TRUE(live::PlanBlocks(changed, known, cost, live::kSheetRows, blocks));
        EXPECT_EQ(blocks, want) << "round " << round;
    }
}

TEST(BlockPlan, LearnsTheCostOfACallFromMeasuredCalls) {
    live::CallCostEstimate estimate({0.010, 0.001});  // a poor first guess
    for (int round = 0; round < 20; ++round)
        for (const int rows : {1, 7, 40, 160, 600}) estimate.Add(rows, 0.0009 + 0.000033 * rows);
    EXPECT_NEAR(estimate.Current().perCall, 0.0009, 0.0001);
    EXPECT_NEAR(estimate.Current().perRow, 0.000033, 0.000003);

    // Then only full blocks, on an office grown a fifth slower: they cannot tell the call
    // from its rows, and the split learnt before must survive, or gaps would no longer
    // be bridged once changes thin out again.
    for (int round = 0; round < 300; ++round) estimate.Add(1000, 1.2 * (0.0009 + 0.033));
    const live::CallCost cost = estimate.Current();
    // The blocks of the change of pace blur the split somewhat.
    EXPECT_NEAR(cost.perCall / cost.perRow, 0.0009 / 0.000033, 0.0009 / 0.000033 / 2);
    EXPECT_NEAR(cost.perCall + 1000 * cost.perRow, 1.2 * (0.0009 + 0.033), 0.0005);
}

class LiveTableTest : public ::testing::Test {
  protected:
    std::unique_ptr<LiveTable> Open(TableOptions options) {
        return std::make_unique<LiveTable>(
            std::move(options), std::make_unique<FakeLiveSink>(office),
            [this](TableState state, const Error&) { states.push_back(state); });
    }
    std::shared_ptr<FakeOffice> office = std::make_shared<FakeOffice>();
    std::vector<TableState> states;  // written on the writer thread, read after Close
};

TEST_F(LiveTableTest, MergedGapsCarryTheTablesNewestValuesAndNothingPastTheSheetIsWritten) {
    TableOptions options = Manual("NSE");
    options.learnCost = false;
    options.startCost = {1.0, 0.01};
    options.sheetRows = 9;  // rows 1 to 8 hold instruments
    auto table = Open(options);
    ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);  // the titles
    for (int scrip = 1; scrip <= 8; ++scrip)
        ASSERT_EQ(Put(*table, Tick("NSE", scrip, "1")), ErrorCode::Ok);
    EXPECT_EQ(Put(*table, Tick("NSE", 9, "1")), ErrorCode::Full);
    EXPECT_EQ(Put(*table, Tick(" NSE ", 3, "3.5")), ErrorCode::Ok);  // scrip 3 again
    EXPECT_EQ(Put(*table, Tick("NSE", 0, "")), ErrorCode::Full);
    EXPECT_EQ(Put(*table, Tick("", 4, "1")), ErrorCode::Argument);
    ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
    EXPECT_EQ(office->Cell("NSE", 0, 0), "<titles>");
    EXPECT_EQ(office->Cell("NSE", 3, kLtp), "3.5");
    EXPECT_EQ(office->Cell("NSE", 9, 0), "<none>");

    ASSERT_EQ(Put(*table, Tick("NSE", 2, "2.25")), ErrorCode::Ok);
    ASSERT_EQ(Put(*table, Tick("NSE", 5, "5.25")), ErrorCode::Ok);
    ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
    ASSERT_EQ(table->Close(kAmple).code(), ErrorCode::Ok);

    ASSERT_EQ(office->blocks.size(), 2u);
    // Rows 2 to 5 in one block, widened to every row the table knows.
    EXPECT_EQ(office->blocks[1].firstRow, 1);
    EXPECT_EQ(office->blocks[1].rows, 8);
    EXPECT_EQ(office->Cell("NSE", 2, kLtp), "2.25");
    EXPECT_EQ(office->Cell("NSE", 3, kLtp), "3.5");  // the gap: the newest tick, not the first
    EXPECT_EQ(office->Cell("NSE", 3, 1), "Instrument 3");
    EXPECT_EQ(office->Cell("NSE", 5, kLtp), "5.25");
    EXPECT_EQ(office->Cell("NSE", 8, kLtp), "1");
    const auto stats = table->Stats();
    EXPECT_EQ(stats.ticksPut, 11u);
    EXPECT_EQ(stats.ticksReplaced, 1u);
    EXPECT_EQ(stats.rowsWritten, 16u);
    EXPECT_EQ(stats.blockCalls, 2u);
    EXPECT_EQ(Put(*table, Tick("NSE", 1, "9")), ErrorCode::NotConnected);
}

// What the fake office was sent since block `from`: the columns of each call.
std::vector<std::vector<live::ColumnSpan>> ColumnsSent(FakeOffice& office, std::size_t from) {
    std::lock_guard<std::mutex> lock(office.mu);
    std::vector<std::vector<live::ColumnSpan>> sent;
    for (std::size_t i = from; i < office.blocks.size(); ++i)
        sent.push_back(office.blocks[i].columns);
    return sent;
}

TEST_F(LiveTableTest, OnlyChangedColumnsAreSentAndWholeRowsAfterAReconnectionOrAReorder) {
    TableOptions options = Manual("NSE");
    options.learnCost = false;  // 1 ms a call, 30 us a row of 42 cells
    auto table = Open(options);
    std::vector<std::vector<std::string>> ticks;
    for (int scrip = 1; scrip <= 100; ++scrip) ticks.push_back(Tick("NSE", scrip, "1"));
    const auto putAll = [&](int count) {
        for (int i = 0; i < count; ++i) ASSERT_EQ(Put(*table, ticks[i]), ErrorCode::Ok);
        ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
    };
    const std::vector<live::ColumnSpan> whole{{0, kColumnCount - 1}};
    putAll(100);
    // The writer may take the first rows before the last are put: in whole rows all.
    ASSERT_FALSE(ColumnsSent(*office, 0).empty());
    for (const auto& columns : ColumnsSent(*office, 0)) EXPECT_EQ(columns, whole);

    // D to N and AE of 100 rows: the 16 columns between cost more than a range more.
    for (auto& tick : ticks) {
        for (int k = 3; k <= 13; ++k) tick[k] = "2";
        tick[30] = "2";
    }
    std::size_t sent = office->blocks.size();
    putAll(100);
    EXPECT_EQ(ColumnsSent(*office, sent),
              (std::vector<std::vector<live::ColumnSpan>>{{{3, 13}, {30, 30}}}));
    // The same columns of 5 rows: one range over the gap is cheaper.
    for (int i = 0; i < 5; ++i) ticks[i][3] = ticks[i][30] = "3";
    sent = office->blocks.size();
    putAll(5);
    EXPECT_EQ(ColumnsSent(*office, sent), (std::vector<std::vector<live::ColumnSpan>>{{{3, 30}}}));
    // A tick equal to what its row holds sends nothing.
    sent = office->blocks.size();
    putAll(1);
    EXPECT_EQ(office->blocks.size(), sent);
    EXPECT_EQ(office->Cell("NSE", 1, 30), "3");
    EXPECT_EQ(office->Cell("NSE", 100, 13), "2");
    EXPECT_EQ(office->Cell("NSE", 100, 2), "100");

    // A new connection to the same workbook, then a reorder the write finds: whole rows.
    {
        std::lock_guard<std::mutex> lock(office->mu);
        office->lose = ErrorCode::Connect;
        office->keepsRows = true;
    }
    ticks[0][kLtp] = "4";
    sent = office->blocks.size();
    putAll(1);
    for (const auto& columns : ColumnsSent(*office, sent)) EXPECT_EQ(columns, whole);
    {
        std::lock_guard<std::mutex> lock(office->mu);
        std::swap(office->rows[{"NSE", 1}], office->rows[{"NSE", 2}]);
    }
    ticks[0][kLtp] = "5";
    sent = office->blocks.size();
    putAll(1);
    EXPECT_EQ(table->Stats().reorders, 1u);
    const auto afterReorder = ColumnsSent(*office, sent);
    ASSERT_FALSE(afterReorder.empty());
    for (const auto& columns : afterReorder) EXPECT_EQ(columns, whole);
    EXPECT_EQ(office->Cell("NSE", 2, kLtp), "5");
    EXPECT_EQ(office->Cell("NSE", 2, 30), "3");
    EXPECT_EQ(office->Cell("NSE", 1, 2), "2");
    ASSERT_EQ(table->Close(kAmple).code(), ErrorCode::Ok);
}

TEST_F(LiveTableTest, NothingPutBeforeAFlushOrTheCloseIsLostWhileOthersPut) {
    TableOptions options = Manual("");
    options.sheetPerExchange = true;
    options.interval = milliseconds(2);
    auto table = Open(options);

    constexpr int kThreads = 4, kInstruments = 250, kTicks = 25000;
    std::vector<std::thread> producers;
    for (int t = 0; t < kThreads; ++t)
        producers.emplace_back([&, t] {
            const std::string exchange = t % 2 ? "BSE" : "NSE";
            for (int i = 0; i < kTicks; ++i) {
                const int scrip = 1000 * t + i % kInstruments;
                EXPECT_EQ(Put(*table, Tick(exchange, scrip, std::to_string(i))), ErrorCode::Ok);
            }
        });
    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(Put(*table, Tick("MCX", 7, std::to_string(round))), ErrorCode::Ok);
        ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
        EXPECT_EQ(office->Cell("MCX", 1, kLtp), std::to_string(round));
    }
    for (std::thread& producer : producers) producer.join();
    ASSERT_EQ(table->Close(kAmple).code(), ErrorCode::Ok);

    std::map<std::string, int> seen;
    for (const auto& [where, cells] : office->rows) {
        if (cells.size() != kColumnCount) continue;
        const int scrip = std::stoi(cells[2]);
        if (cells[0] == "MCX") continue;
        ++seen[cells[0]];
        EXPECT_EQ(cells[kLtp], std::to_string(kTicks - kInstruments + scrip % 1000)) << scrip;
    }
    EXPECT_EQ(seen["NSE"], 2 * kInstruments);
    EXPECT_EQ(seen["BSE"], 2 * kInstruments);
    for (const auto& block : office->blocks) EXPECT_LE(block.rows, live::kMaxBlockRows);
    EXPECT_EQ(table->Stats().ticksPut, static_cast<std::uint64_t>(kThreads * kTicks + 20));
}

TEST_F(LiveTableTest, AfterTheOfficeIsLostTitlesAndEveryInstrumentsNewestRowComeBack) {
    for (const ErrorCode cause : {ErrorCode::Connect, ErrorCode::Timeout}) {
        SCOPED_TRACE(static_cast<int>(cause));
        office = std::make_shared<FakeOffice>();
        states.clear();
        TableOptions options = Manual("");
        options.sheetPerExchange = true;
        auto table = Open(options);
        for (int scrip = 1; scrip <= 300; ++scrip)
            ASSERT_EQ(Put(*table, Tick(scrip % 2 ? "BSE" : "NSE", scrip, "1")), ErrorCode::Ok);
        ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);

        {
            std::lock_guard<std::mutex> lock(office->mu);
            office->lose = cause;
            office->failedRecoveries = 2;
            // Then the workbook does not load once: waited out, not the end of the table.
            office->reloadResult = {ErrorCode::Office, "the workbook did not load"};
        }
        // "nse" is the exchange, and the sheet, of NSE, as in the office.
        ASSERT_EQ(Put(*table, Tick("nse", 10, "10.5")), ErrorCode::Ok);
        ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
        ASSERT_EQ(table->Close(kAmple).code(), ErrorCode::Ok);

        EXPECT_EQ(office->Cell("NSE", 0, 0), "<titles>");
        EXPECT_EQ(office->Cell("BSE", 0, 0), "<titles>");
        EXPECT_EQ(office->rows.size(), 302u);
        EXPECT_EQ(office->Cell("NSE", 5, kLtp), "10.5");  // scrip 10: the fifth on NSE
        EXPECT_EQ(office->Cell("BSE", 150, 2), "299");
        EXPECT_EQ(office->recoveries, 4);
        const auto stats = table->Stats();
        EXPECT_EQ(stats.restarts, 1u);
        EXPECT_EQ(stats.state, TableState::Live);
        EXPECT_EQ(stats.lastFailure.message(), "the workbook did not load");
        EXPECT_EQ(states, (std::vector<TableState>{TableState::Live, TableState::Recovering,
                                                   TableState::Live}));
    }
}

TEST_F(LiveTableTest, PutsReturnWhileTheOfficeIsStuckAndFlushAndCloseSayWhatIsMissing) {
    auto table = Open(Manual("NSE"));
    office->hold = true;
    ASSERT_EQ(Put(*table, Tick("NSE", 1, "1")), ErrorCode::Ok);
    EXPECT_EQ(table->Flush(Timeout::After(milliseconds(1))).code(), ErrorCode::Timeout);
    office->WaitHolding();
    for (int i = 0; i < 20000; ++i)
        ASSERT_EQ(Put(*table, Tick("NSE", i % 2000, std::to_string(i))), ErrorCode::Ok);
    {
        std::lock_guard<std::mutex> lock(office->mu);
        EXPECT_TRUE(office->holding);  // every put above returned while the write was held
        EXPECT_TRUE(office->blocks.empty());
    }
    EXPECT_EQ(table->Flush(Timeout::After(milliseconds(20))).code(), ErrorCode::Timeout);

    office->Release();
    ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
    EXPECT_EQ(office->Cell("NSE", 1, kLtp), "18001");
    EXPECT_EQ(office->Cell("NSE", 2000, kLtp), "19999");  // scrip 1999, the last newcomer

    {
        std::lock_guard<std::mutex> lock(office->mu);
        office->hold = true;
    }
    ASSERT_EQ(Put(*table, Tick("NSE", 5, "final")), ErrorCode::Ok);
    EXPECT_EQ(table->Flush(Timeout::After(milliseconds(1))).code(), ErrorCode::Timeout);
    office->WaitHolding();
    EXPECT_EQ(table->Close(Timeout::After(milliseconds(20))).code(), ErrorCode::Timeout);
    EXPECT_EQ(office->cancels, 1);
    EXPECT_EQ(table->Stats().ticksPut, 20002u);
}

TEST_F(LiveTableTest, RefusedRowsAreReportedAndHoldBackNoOtherRow) {
    auto table = Open(Manual("NSE"));
    for (int scrip = 1; scrip <= 40; ++scrip)
        ASSERT_EQ(Put(*table, Tick("NSE", scrip, "1")), ErrorCode::Ok);
    std::vector<std::string> refused = Tick("NSE", 17, "2");
    refused[1] = office->refusedName;
    ASSERT_EQ(Put(*table, refused), ErrorCode::Ok);
    EXPECT_EQ(table->Flush(kAmple).code(), ErrorCode::Office);
    EXPECT_EQ(table->Stats().lastFailure.code(), ErrorCode::Office);
    // Row 17 may hold its first tick, written before the refused one came; never that one.
    for (int row = 1; row <= 40; ++row) {
        if (row == 17)
            EXPECT_NE(office->Cell("NSE", row, kLtp), "2");
        else
            EXPECT_EQ(office->Cell("NSE", row, kLtp), "1") << row;
    }

    ASSERT_EQ(Put(*table, Tick("NSE", 17, "3")), ErrorCode::Ok);  // a value it takes
    EXPECT_EQ(table->Close(kAmple).code(), ErrorCode::Ok);
    EXPECT_EQ(office->Cell("NSE", 17, kLtp), "3");
}

TEST_F(LiveTableTest, InstrumentsKeepTheRowsTheSheetHoldsThemInEvenWhenTheUserMovesThem) {
    office->Put("NSE", 1, "NSE", "4", "old 4");
    office->Put("NSE", 2, "NSE", "2", "old 2");  // an instrument that does not tick
    office->Put("NSE", 4, "nse", "0003", "old 3");
    office->Put("NSE", 5, "", "");  // a person's note in column B: no instrument
    office->rows[{"NSE", 5}][1] = "note";
    TableOptions options = Manual("NSE");
    options.keyCheckEvery = milliseconds(1);
    auto table = Open(options);
    for (const int scrip : {3, 1, 4})
        ASSERT_EQ(Put(*table, Tick("NSE", scrip, "new")), ErrorCode::Ok);
    ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
    EXPECT_EQ(office->Cell("NSE", 1, 2), "4");
    EXPECT_EQ(office->Cell("NSE", 4, 2), "3");
    EXPECT_EQ(office->Cell("NSE", 6, 2), "1");  // new: after the last row used
    EXPECT_EQ(office->Cell("NSE", 2, kLtp), "old 2");
    EXPECT_EQ(office->Cell("NSE", 3, 0), "<none>");  // a blank row between is not written
    EXPECT_EQ(office->Cell("NSE", 5, 1), "note");
    EXPECT_EQ(table->Stats().rowsAdopted, 2u);

    {  // the user swaps the rows of 4 and 3
        std::lock_guard<std::mutex> lock(office->mu);
        std::swap(office->rows[{"NSE", 1}], office->rows[{"NSE", 4}]);
    }
    std::this_thread::sleep_for(milliseconds(5));  // past the next key reading
    ASSERT_EQ(Put(*table, Tick("NSE", 4, "newer")), ErrorCode::Ok);
    ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
    EXPECT_EQ(office->Cell("NSE", 4, 2), "4");
    EXPECT_EQ(office->Cell("NSE", 4, kLtp), "newer");
    EXPECT_EQ(office->Cell("NSE", 1, 2), "3");
    EXPECT_EQ(office->Cell("NSE", 2, kLtp), "old 2");
    EXPECT_EQ(table->Stats().reorders, 1u);
    ASSERT_EQ(table->Close(kAmple).code(), ErrorCode::Ok);

    // A clean sheet: what was there goes, and the instruments take the rows in turn; only
    // once, so that what the user typed since stays through a reconnection.
    office->Put("NSE", 9, "NSE", "9", "old 9");
    options.cleanSheet = true;
    table = Open(options);
    ASSERT_EQ(Put(*table, Tick("NSE", 3, "clean")), ErrorCode::Ok);
    ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
    office->Put("NSE", 4, "", "");
    office->rows[{"NSE", 4}][1] = "typed";
    {
        std::lock_guard<std::mutex> lock(office->mu);
        office->lose = ErrorCode::Connect;
        office->keepsRows = true;
    }
    std::this_thread::sleep_for(milliseconds(5));  // past the next key reading
    ASSERT_EQ(Put(*table, Tick("NSE", 7, "clean")), ErrorCode::Ok);
    ASSERT_EQ(table->Close(kAmple).code(), ErrorCode::Ok);
    EXPECT_EQ(office->Cell("NSE", 1, 2), "3");
    EXPECT_EQ(office->Cell("NSE", 4, 1), "typed");
    EXPECT_EQ(office->Cell("NSE", 5, 2), "7");
    for (const int row : {2, 3, 9}) EXPECT_EQ(office->Cell("NSE", row, 0), "<none>") << row;
}

// A value typed over a live cell that its instrument's ticks do not change comes back
// to the tick's: the writes rewrite rows whole in turn, a stretch of rows (or a fifth of
// a large sheet) per period of the key readings; and no write carries more cells than a
// block may.
TEST_F(LiveTableTest, ValuesTypedOverLiveCellsAreRewrittenWithinFiveReadings) {
    TableOptions options = Manual("NSE");
    options.keyCheckEvery = milliseconds(50);
    auto table = Open(options);
    constexpr int kInstruments = 2500;
    for (int scrip = 1; scrip <= kInstruments; ++scrip)
        ASSERT_EQ(Put(*table, Tick("NSE", scrip, "1")), ErrorCode::Ok);
    ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
    {
        std::lock_guard<std::mutex> lock(office->mu);
        for (const int row : {10, 1200, 2400}) office->rows[{"NSE", row}][1] = "typed";
    }
    for (int round = 0; round < 5; ++round) {
        std::this_thread::sleep_for(milliseconds(55));  // a reading period: 1,000 rows due
        for (int scrip = 1; scrip <= kInstruments; ++scrip)
            ASSERT_EQ(Put(*table, Tick("NSE", scrip, std::to_string(round + 2))), ErrorCode::Ok);
        ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
    }
    ASSERT_EQ(table->Close(kAmple).code(), ErrorCode::Ok);
    EXPECT_GE(table->Stats().keyReads, 5u);
    for (const int row : {10, 1200, 2400})
        EXPECT_EQ(office->Cell("NSE", row, 1), "Instrument " + std::to_string(row)) << row;
    // Whole rows go in parts small enough not to hold the office up for long.
    for (const auto& write : office->blocks) {
        int width = 0;
        for (const live::ColumnSpan& span : write.columns) width += span.Width();
        EXPECT_LE(write.rows * width, live::kMaxBlockCells);
    }
}

// Each cycle that writes rewrites a few rows whole besides the changed cells, in a block
// of their own, as a new instrument's row is: what was typed over a live cell comes back
// without every write of the sheet carrying whole rows.
TEST_F(LiveTableTest, RowsRewrittenWholeGoInABlockOfTheirOwn) {
    TableOptions options = Manual("NSE");
    options.learnCost = false;                  // 1 ms a call, 30 us a row of 42 cells
    options.keyCheckEvery = milliseconds(100);  // every row once in 100 ms
    auto table = Open(options);
    for (int scrip = 1; scrip <= 100; ++scrip)
        ASSERT_EQ(Put(*table, Tick("NSE", scrip, "1")), ErrorCode::Ok);
    ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
    {
        std::lock_guard<std::mutex> lock(office->mu);
        for (int row = 1; row <= 100; ++row) office->rows[{"NSE", row}][1] = "typed";
    }
    for (int round = 0; round < 12; ++round) {
        std::this_thread::sleep_for(milliseconds(10));  // a tenth of the rows due
        const std::size_t sent = office->blocks.size();
        for (int scrip = 1; scrip <= 100; ++scrip)
            ASSERT_EQ(Put(*table, Tick("NSE", scrip, std::to_string(round + 2))), ErrorCode::Ok);
        // A new instrument, written whole, in the last round.
        if (round == 11) {
            ASSERT_EQ(Put(*table, Tick("NSE", 101, "new")), ErrorCode::Ok);
        }
        ASSERT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
        std::lock_guard<std::mutex> lock(office->mu);
        int cells = 0;
        for (std::size_t i = sent; i < office->blocks.size(); ++i)
            for (const live::ColumnSpan& span : office->blocks[i].columns)
                cells += office->blocks[i].rows * span.Width();
        EXPECT_LT(cells, 100 * kColumnCount / 2) << "round " << round;
    }
    ASSERT_EQ(table->Close(kAmple).code(), ErrorCode::Ok);
    for (int row = 1; row <= 100; ++row) {
        EXPECT_EQ(office->Cell("NSE", row, 1), "Instrument " + std::to_string(row)) << row;
        EXPECT_EQ(office->Cell("NSE", row, kLtp), "13") << row;
    }
    EXPECT_EQ(office->Cell("NSE", 101, 2), "101");
    EXPECT_EQ(office->Cell("NSE", 101, kLtp), "new");
}

TEST_F(LiveTableTest, AnExchangeWithoutASheetGetsOneOrAloneIsRefused) {
    office->sheets = {"NSE", "BSE"};
    TableOptions options = Manual("");
    options.sheetPerExchange = true;
    auto table = Open(options);
    ASSERT_EQ(Put(*table, Tick("MCX", 1, "1")), ErrorCode::Ok);
    ASSERT_EQ(table->Close(kAmple).code(), ErrorCode::Ok);
    EXPECT_EQ(office->Cell("MCX", 1, kLtp), "1");

    office = std::make_shared<FakeOffice>();
    office->sheets = {"NSE", "BSE"};
    office->takesSheets = false;
    table = Open(options);
    ASSERT_EQ(Put(*table, Tick("NSE", 1, "1")), ErrorCode::Ok);
    ASSERT_EQ(Put(*table, Tick("MCX", 1, "1")), ErrorCode::Ok);
    EXPECT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);  // so a copy can be stored
    const int reads = office->keyReads;
    EXPECT_EQ(Put(*table, Tick("mcx", 1, "2")), ErrorCode::NoSheet);
    ASSERT_EQ(Put(*table, Tick("NSE", 1, "2")), ErrorCode::Ok);
    EXPECT_EQ(table->Flush(kAmple).code(), ErrorCode::Ok);
    EXPECT_EQ(office->keyReads, reads);  // the missing sheet is not asked for again
    const auto stats = table->Stats();
    EXPECT_EQ(stats.ticksRefused, 2u);
    EXPECT_NE(stats.lastFailure.message().find("MCX"), std::string::npos);
    ASSERT_EQ(table->Close(kAmple).code(), ErrorCode::Ok);
    EXPECT_EQ(office->Cell("NSE", 1, kLtp), "2");
    EXPECT_EQ(office->Cell("MCX", 1, 0), "<none>");
}

TEST_F(LiveTableTest, AWorkbookThatDoesNotLoadFailsTheTableAndAMissingSheetIsReported) {
    office->openResult = {ErrorCode::Office, "the workbook did not load"};
    auto table = Open(Manual("NSE"));
    EXPECT_EQ(Put(*table, Tick("NSE", 1, "1")), ErrorCode::Ok);
    EXPECT_EQ(table->Flush(kAmple).code(), ErrorCode::Office);
    EXPECT_EQ(table->Stats().state, TableState::Failed);
    EXPECT_EQ(table->Stats().lastFailure.message(), "the workbook did not load");
    EXPECT_EQ(table->Close(kAmple).code(), ErrorCode::Office);

    office = std::make_shared<FakeOffice>();
    office->sheets = {"NSE"};
    table = Open(Manual("Missing"));
    EXPECT_EQ(Put(*table, Tick("NSE", 1, "1")), ErrorCode::Ok);
    EXPECT_EQ(table->Flush(kAmple).code(), ErrorCode::NoSheet);
    EXPECT_EQ(table->Stats().lastFailure.code(), ErrorCode::NoSheet);
    EXPECT_EQ(table->Stats().state, TableState::Live);
    EXPECT_EQ(table->Close(kAmple).code(), ErrorCode::NoSheet);
    EXPECT_TRUE(office->rows.empty());
}

}  // namespace
}  // namespace corvane::test
