// Batched record writes and fast writes in-process, against fake sheets and a fake
// document: the exact office calls per block, the values, what is released, and what
// happens when the office fails.
#include <gtest/gtest.h>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <corvane/corvane.hpp>

#include <string>
#include <vector>

#include "fakes/fake_workbook.hpp"
#include "host/session_instance.hpp"
#include "support/office_client.hpp"
#include "support/records.hpp"

namespace corvane::test {
namespace {

using css::uno::Any;
using sheet_fakes::FakeDocument;
using sheet_fakes::FakeSheet;
using sheet_fakes::FakeSheetCollection;
using sheet_fakes::Workbook;
using Calls = std::vector<std::string>;
using Records = std::vector<const MarketWatchRecord*>;

class BatchedRows : public ::testing::Test {
  protected:
    void SetUp() override {
        collection->sheets["NSE"] = sheet;
        host::TheSession().AdoptWorkbook({}, collection.get(), "");
    }
    void TearDown() override {
        CorvaneSetFastWrites(0);
        host::TheSession().ForgetOffice();
    }

    short Write(int firstRow, const Records& records) {
        return CorvaneInsertUpdateRows("NSE", firstRow, records.data(),
                                       static_cast<int>(records.size()));
    }
    // Calls and blocks since the last look.
    Calls TakeCalls() { return std::exchange(book->calls, {}); }
    Calls TakeBlocks() { return std::exchange(book->blocks, {}); }

    std::shared_ptr<Workbook> book = std::make_shared<Workbook>();
    rtl::Reference<FakeSheetCollection> collection = new FakeSheetCollection(book);
    rtl::Reference<FakeSheet> sheet = new FakeSheet(book);
    MarketWatchRecord a = RecordOf({"NSE", "Reliance", "500325", "1,200", "2450.5", "", "N/A"});
    MarketWatchRecord b = RecordOf({"BSE", "Infosys", "12.75", " -3", "1e3"});
};

TEST_F(BatchedRows, ABlockCostsTheLookupAndThreeCallsWithTheRecordConversions) {
    ASSERT_EQ(Write(5, {&a, &b, &a}), 1);
    EXPECT_EQ(TakeCalls(),
              (Calls{"getByName NSE", "queryInterface XSpreadsheet", "getCellRangeByName A6:AP8",
                     "queryInterface XCellRangeData", "setDataArray"}));
    const sheet_fakes::Values block = book->written;
    ASSERT_EQ(block.getLength(), 3);

    // Each row holds exactly what the single-row export stores for its record.
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(CorvaneInsertUpdate("NSE", 0, const_cast<MarketWatchRecord*>(i == 1 ? &b : &a)),
                  1);
        EXPECT_EQ(block[i], book->written[0]) << "row " << i;
    }
    EXPECT_EQ(block[0][2], Any(sal_Int32(500325)));
    EXPECT_EQ(block[0][5], Any(rtl::OUString()));
    EXPECT_EQ(block[1][4], Any(1000.0));
}

TEST_F(BatchedRows, LargeCountsGoOutInBlocksOfAThousandRowsOfOneRange) {
    const Records records(2500, &a);
    ASSERT_EQ(Write(0, records), 1);
    EXPECT_EQ(
        TakeCalls(),
        (Calls{"getByName NSE", "queryInterface XSpreadsheet", "getCellRangeByName A1:AP2500",
               "getCellRangeByPosition 0,0,41,999", "queryInterface XCellRangeData", "setDataArray",
               "getCellRangeByPosition 0,1000,41,1999", "queryInterface XCellRangeData",
               "setDataArray", "getCellRangeByPosition 0,2000,41,2499",
               "queryInterface XCellRangeData", "setDataArray"}));
    EXPECT_EQ(TakeBlocks(),
              (Calls{"A1:AP2500@0,0,41,999 1000x42", "A1:AP2500@0,1000,41,1999 1000x42",
                     "A1:AP2500@0,2000,41,2499 500x42"}));

    // Exactly one block's worth is still one block.
    ASSERT_EQ(Write(0, Records(1000, &b)), 1);
    EXPECT_EQ(TakeBlocks(), (Calls{"A1:AP1000 1000x42"}));
}

TEST_F(BatchedRows, NullRecordsAreSkippedWithoutShiftingOrReadingTheOthers) {
    ASSERT_EQ(Write(10, {&a, nullptr, &b, &a, nullptr, nullptr, &b}), 1);
    EXPECT_EQ(TakeBlocks(), (Calls{"A11:AP17@0,0,41,0 1x42", "A11:AP17@0,2,41,3 2x42",
                                   "A11:AP17@0,6,41,6 1x42"}));
    EXPECT_EQ(book->written[0][1], Any(U("Infosys")));

    // Leading and trailing NULLs narrow the range; the rest is one block again.
    ASSERT_EQ(Write(10, {nullptr, nullptr, &a, &b, nullptr}), 1);
    EXPECT_EQ(TakeBlocks(), (Calls{"A13:AP14 2x42"}));
    for (const std::string& call : TakeCalls()) EXPECT_NE(call, "getDataArray");

    // Nothing but NULLs: the sheet is found and nothing else is asked of the office.
    ASSERT_EQ(Write(-5, {nullptr, nullptr}), 1);
    EXPECT_EQ(TakeCalls(), (Calls{"getByName NSE", "queryInterface XSpreadsheet"}));
}

TEST_F(BatchedRows, CountsAndArraysThatWriteNothing) {
    const MarketWatchRecord* one[] = {&a};
    EXPECT_EQ(CorvaneInsertUpdateRows("NSE", 0, one, -1), -1);
    EXPECT_EQ(CorvaneInsertUpdateRows("NSE", 0, nullptr, 3), -1);
    EXPECT_EQ(CorvaneInsertUpdateRows("", 0, one, 1), -1);
    EXPECT_EQ(TakeCalls(), Calls());

    EXPECT_EQ(CorvaneInsertUpdateRows("NSE", 0, one, 0), 1);
    EXPECT_EQ(CorvaneInsertUpdateRows("NSE", 0, nullptr, 0), 1);
    EXPECT_EQ(CorvaneInsertUpdateRows("BSE", 0, one, 0), -1);  // the sheet still must exist
    EXPECT_EQ(TakeCalls(), (Calls{"getByName NSE", "queryInterface XSpreadsheet", "getByName NSE",
                                  "queryInterface XSpreadsheet", "getByName BSE"}));

    EXPECT_EQ(CorvaneInsertUpdateRows("NSE", 7, one, 1), 1);
    EXPECT_EQ(TakeBlocks(), (Calls{"A8:AP8 1x42"}));
    host::TheSession().ForgetOffice();
    EXPECT_EQ(CorvaneInsertUpdateRows("NSE", 7, one, 1), -1);
    EXPECT_EQ(TakeCalls(),
              (Calls{"getByName NSE", "queryInterface XSpreadsheet", "getCellRangeByName A8:AP8",
                     "queryInterface XCellRangeData", "setDataArray"}));
}

TEST_F(BatchedRows, EveryFailureReleasesEverythingAndKeepsOnlyTheBlocksBefore) {
    Records records(2100, &a);
    records[1500] = nullptr;
    const oslInterlockedCount sheetCount = sheet->RefCount();
    const oslInterlockedCount collectionCount = collection->RefCount();
    book->recording = false;
    ASSERT_EQ(Write(0, records), 1);
    const long calls = book->callCount;
    ASSERT_EQ(calls, 2 + 1 + 3 * 3);  // lookup, whole range, three blocks
    for (long failing = 0; failing < calls; ++failing) {
        const std::string where = "call " + std::to_string(failing);
        book->callCount = 0;
        book->writes = 0;
        book->throwAt = failing;
        if (failing == 0) {
            EXPECT_EQ(Write(0, records), -1) << where;  // the lookup: no such sheet
        } else {
            EXPECT_THROW(Write(0, records), css::uno::RuntimeException) << where;
        }
        // Blocks (rows 0-999, 1000-1499, 1501-2099) take calls 3-5, 6-8 and 9-11.
        const long blocksDone = failing < 3 ? 0 : (failing - 3) / 3;
        EXPECT_EQ(book->writes, blocksDone) << where;
        EXPECT_EQ(sheet->RefCount(), sheetCount) << where;
        EXPECT_EQ(collection->RefCount(), collectionCount) << where;
        EXPECT_EQ(book->liveRanges, 0) << where;
    }
}

class FastWrites : public BatchedRows {
  protected:
    void Load(const rtl::Reference<FakeDocument>& workbook) {
        host::TheSession().AdoptWorkbook(workbook.get(), host::TheSession().Sheets(), "");
        TakeCalls();
    }
    rtl::Reference<FakeDocument> document = new FakeDocument(book);
};

const Calls kTurnOff = {"queryInterface XPropertySet", "getPropertyValue IsUndoEnabled",
                        "setPropertyValue IsUndoEnabled false",
                        "getPropertyValue IsAdjustHeightEnabled",
                        "setPropertyValue IsAdjustHeightEnabled false"};
const Calls kTurnOn = {"setPropertyValue IsAdjustHeightEnabled true",
                       "setPropertyValue IsUndoEnabled true"};

TEST_F(FastWrites, AreSetOnceOnTheWorkbookAndRestoredWhenTurnedOff) {
    Load(document);
    CorvaneSetFastWrites(1);
    EXPECT_EQ(TakeCalls(), kTurnOff);
    EXPECT_FALSE(document->undoEnabled);
    EXPECT_EQ(document->heightLocks, 1);

    // Writes cost nothing extra, and turning it on again changes nothing.
    ASSERT_EQ(Write(0, {&a}), 1);
    CorvaneSetFastWrites(1);
    MarketWatchRecord record = a;
    ASSERT_EQ(CorvaneInsertUpdate("NSE", 1, &record), 1);
    for (const std::string& call : TakeCalls()) EXPECT_EQ(call.find("Property"), std::string::npos);

    CorvaneSetFastWrites(0);
    EXPECT_EQ(TakeCalls(), kTurnOn);
    EXPECT_TRUE(document->undoEnabled);
    EXPECT_EQ(document->heightLocks, 0);
    CorvaneSetFastWrites(0);
    ASSERT_EQ(CorvaneResetRecord("NSE", 1), 1);
    for (const std::string& call : TakeCalls()) EXPECT_EQ(call.find("Property"), std::string::npos);
}

TEST_F(FastWrites, TitleRowsAreWrittenWithRowHeightsAdjusting) {
    Load(document);
    CorvaneSetFastWrites(1);
    TakeCalls();
    ASSERT_EQ(CorvaneSetHeaderString("NSE", 0), 1);
    const Calls calls = TakeCalls();
    ASSERT_EQ(calls.size(), 2u + 2u + 42u * 5u);
    EXPECT_EQ(calls[2], "setPropertyValue IsAdjustHeightEnabled true");
    EXPECT_EQ(calls[3], "getCellByPosition 0,0");
    EXPECT_EQ(calls.back(), "setPropertyValue IsAdjustHeightEnabled false");
    EXPECT_EQ(document->heightLocks, 1);

    // A failing office leaves the title row's error as the only one reported.
    book->recording = false;
    book->callCount = 0;
    book->throwAt = 2;
    EXPECT_EQ(CorvaneSetHeaderString("NSE", 0), 1);
    book->callCount = 0;
    book->throwAt = 2 + 1 + 42 * 5;
    EXPECT_EQ(CorvaneSetHeaderString("NSE", 0), 1);
    book->throwAt = 4;
    book->callCount = 0;
    EXPECT_THROW(CorvaneSetHeaderString("NSE", 0), css::uno::RuntimeException);
    book->throwAt = -1;
    EXPECT_EQ(document->heightLocks, 1);
    CorvaneSetFastWrites(0);
    EXPECT_EQ(document->heightLocks, 0);
}

TEST_F(FastWrites, ReachAWorkbookLoadedLaterOnItsFirstWriteAndFreeTheOldOne) {
    CorvaneSetFastWrites(1);  // nothing loaded yet: nothing to do
    EXPECT_EQ(TakeCalls(), Calls());
    Load(document);
    ASSERT_EQ(Write(0, {&a}), 1);
    Calls expected = {"getByName NSE", "queryInterface XSpreadsheet"};
    expected.insert(expected.end(), kTurnOff.begin(), kTurnOff.end());
    expected.insert(expected.end(),
                    {"getCellRangeByName A1:AP1", "queryInterface XCellRangeData", "setDataArray"});
    EXPECT_EQ(TakeCalls(), expected);

    // A reconnection loads another workbook: the first goes back to how it was.
    rtl::Reference<FakeDocument> second = new FakeDocument(book);
    const oslInterlockedCount firstCount = document->RefCount();
    Load(second);
    ASSERT_EQ(CorvaneResetRecord("NSE", 0), 1);
    EXPECT_TRUE(document->undoEnabled);
    EXPECT_EQ(document->heightLocks, 0);
    EXPECT_FALSE(second->undoEnabled);
    EXPECT_EQ(second->heightLocks, 1);
    EXPECT_LT(document->RefCount(), firstCount);  // the link no longer holds it
}

TEST_F(FastWrites, OfficeErrorsAreSwallowedAndTheWritesGoOn) {
    Load(document);
    book->recording = false;
    // Each of the five calls fails in turn; nothing is raised and the write is made.
    for (long failing = 0; failing < 5; ++failing) {
        book->callCount = 0;
        book->throwAt = failing;
        EXPECT_NO_THROW(CorvaneSetFastWrites(1)) << failing;
        book->throwAt = -1;
        const long writes = book->writes;
        EXPECT_EQ(Write(0, {&a}), 1) << failing;
        EXPECT_EQ(book->writes, writes + 1) << failing;
        CorvaneSetFastWrites(0);
        // Only what was turned off is turned back on.
        EXPECT_TRUE(document->undoEnabled) << failing;
        EXPECT_EQ(document->heightLocks, 0) << failing;
    }

    // A workbook without settings is asked once, not on every write.
    document->offersSettings = false;
    book->recording = true;
    CorvaneSetFastWrites(1);
    ASSERT_EQ(Write(0, {&a}), 1);
    Calls expected = {"queryInterface XPropertySet",   "getByName NSE",
                      "queryInterface XSpreadsheet",   "getCellRangeByName A1:AP1",
                      "queryInterface XCellRangeData", "setDataArray"};
    EXPECT_EQ(TakeCalls(), expected);

    // Restoring on an office that fails reports nothing either.
    document->offersSettings = true;
    CorvaneSetFastWrites(0);
    Load(document);
    CorvaneSetFastWrites(1);
    book->callCount = 0;
    book->throwAt = 0;
    EXPECT_NO_THROW(CorvaneSetFastWrites(0));
    book->throwAt = -1;
}

TEST_F(FastWrites, ForgettingTheOfficeDropsTheWorkbookWithoutAnOfficeCall) {
    const oslInterlockedCount before = document->RefCount();
    Load(document);
    CorvaneSetFastWrites(1);
    TakeCalls();
    host::TheSession().ForgetOffice();
    EXPECT_EQ(TakeCalls(), Calls());
    EXPECT_EQ(document->RefCount(), before);
    EXPECT_FALSE(document->undoEnabled);  // left as it is, as the office is left running
}

}  // namespace
}  // namespace corvane::test
