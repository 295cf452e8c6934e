// Workbooks made by corvane_create_workbook, reopened in a second office and written to
// through the library: their look survives storing, reloading and every row write.
#include <corvane/corvane.h>
#include <gtest/gtest.h>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/ConditionOperator.hpp>
#include <com/sun/star/sheet/XPrintAreas.hpp>
#include <com/sun/star/sheet/XSheetCondition.hpp>
#include <com/sun/star/sheet/XSheetConditionalEntry.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XUnnamedDatabaseRanges.hpp>
#include <com/sun/star/sheet/XViewFreezable.hpp>
#include <com/sun/star/sheet/XViewSplitable.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/CellHoriJustify.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/util/XCloseable.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/library_init.hpp"
#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

using css::beans::XPropertySet;
using css::uno::Any;
using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using Document = Reference<css::sheet::XSpreadsheetDocument>;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Reference<XPropertySet> Props(const Any& object) {
    return Reference<XPropertySet>(object, UNO_QUERY_THROW);
}
template <typename T>
Reference<XPropertySet> Props(const Reference<T>& object) {
    return Reference<XPropertySet>(object, UNO_QUERY_THROW);
}
template <typename T>
T Get(const Reference<XPropertySet>& object, const char* name) {
    T value{};
    object->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= value;
    return value;
}

class WorkbookCreation : public ::testing::Test {
  protected:
    // The workbooks are made before the test's office runs: the library starts the
    // office for them with the session's command line. The test then reads them in a
    // second office of its own.
    static void SetUpTestSuite() {
        session_ = new OfficeSession;
        dir_ = new TempDir;
        const std::string line = session_->HeadlessCommandLine();
        corvane_workbook_options options{};
        options.command_line = line.c_str();
        const char* exchanges[] = {"NSE", "BSE"};
        createdOds_ = corvane_create_workbook(Path("book.ods").c_str(), exchanges, 2, &options);
        if (createdOds_ == CORVANE_OK)
            createdOds_ =
                corvane_create_workbook(Path("book.fods").c_str(), exchanges, 2, &options);
        options.row_times = 1;
        const char* one[] = {"NSE"};
        createdXlsx_ = corvane_create_workbook(Path("book.xlsx").c_str(), one, 1, &options);
        session_->Adopt(corvane_office_pid());
        session_->Client().Terminate();
        session_->Kill();
        session_->Start();
    }
    static void TearDownTestSuite() {
        delete session_;
        delete dir_;
    }
    void SetUp() override {
        ASSERT_EQ(createdOds_, CORVANE_OK) << corvane_last_error();
        ASSERT_EQ(createdXlsx_, CORVANE_OK) << corvane_last_error();
    }

    static std::string Path(const std::string& name) { return *dir_ / name; }
    // The workbook at `path`, loaded hidden into the test's office.
    static Document Load(const std::string& path) {
        css::beans::PropertyValue hidden;
        hidden.Name = "Hidden";
        hidden.Value <<= true;
        const Document document(session_->Client().Desktop()->loadComponentFromURL(
                                    U(FileUrl(path)), "_blank", 0,
                                    css::uno::Sequence<css::beans::PropertyValue>(&hidden, 1)),
                                UNO_QUERY_THROW);
        return document;
    }
    static void Close(const Document& document) {
        Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
    }
    static Reference<css::sheet::XSpreadsheet> SheetOf(const Document& document,
                                                       const std::string& name) {
        return Reference<css::sheet::XSpreadsheet>(document->getSheets()->getByName(U(name)),
                                                   UNO_QUERY_THROW);
    }
    // The number format code of a cell ("General" for the standard one).
    static std::string FormatCode(const Document& document,
                                  const Reference<css::sheet::XSpreadsheet>& sheet,
                                  const char* cell) {
        const sal_Int32 key =
            Get<sal_Int32>(Props(sheet->getCellRangeByName(U(cell))), "NumberFormat");
        const Reference<css::util::XNumberFormatsSupplier> formats(document, UNO_QUERY_THROW);
        return S(
            Get<rtl::OUString>(Props(formats->getNumberFormats()->getByKey(key)), "FormatString"));
    }
    // What a user sees of the sheet's look, as "what=value" lines.
    static std::map<std::string, std::string> Look(const Document& document,
                                                   const std::string& name) {
        const Reference<css::sheet::XSpreadsheet> sheet = SheetOf(document, name);
        std::map<std::string, std::string> look;
        for (const char* cell : {"B5", "C5", "D5", "E5", "M5", "N5", "Y5", "AG5", "AQ5"})
            look[std::string("format ") + cell] = FormatCode(document, sheet, cell);
        const auto justify = [&](const char* cell) {
            return std::to_string(static_cast<int>(Get<css::table::CellHoriJustify>(
                Props(sheet->getCellRangeByName(U(cell))), "HoriJustify")));
        };
        look["align B9"] = justify("B9") == std::to_string(css::table::CellHoriJustify_LEFT)
                               ? "left"
                               : justify("B9");
        look["align L9"] = justify("L9") == std::to_string(css::table::CellHoriJustify_RIGHT)
                               ? "right"
                               : justify("L9");
        // %Change: green above 0, red below, from row 2 down.
        const Reference<css::container::XIndexAccess> conditions(
            Props(sheet->getCellRangeByName("Y7"))->getPropertyValue("ConditionalFormat"),
            UNO_QUERY_THROW);
        const Reference<css::style::XStyleFamiliesSupplier> styles(document, UNO_QUERY_THROW);
        const Reference<css::container::XNameAccess> cellStyles(
            styles->getStyleFamilies()->getByName("CellStyles"), UNO_QUERY_THROW);
        std::string changes;
        for (sal_Int32 i = 0; i < conditions->getCount(); ++i) {
            const Reference<css::sheet::XSheetConditionalEntry> entry(conditions->getByIndex(i),
                                                                      UNO_QUERY_THROW);
            const Reference<css::sheet::XSheetCondition> condition(entry, UNO_QUERY_THROW);
            const sal_Int32 colour =
                Get<sal_Int32>(Props(cellStyles->getByName(entry->getStyleName())), "CharColor");
            char text[64];
            std::snprintf(text, sizeof text, "%s %s %06X;",
                          condition->getOperator() == css::sheet::ConditionOperator_GREATER ? ">"
                          : condition->getOperator() == css::sheet::ConditionOperator_LESS  ? "<"
                                                                                            : "?",
                          S(condition->getFormula1()).c_str(), static_cast<unsigned>(colour));
            changes += text;
        }
        look["%Change colours"] = changes;
        return look;
    }

    static OfficeSession* session_;
    static TempDir* dir_;
    static int createdOds_;
    static int createdXlsx_;
};
OfficeSession* WorkbookCreation::session_ = nullptr;
TempDir* WorkbookCreation::dir_ = nullptr;
int WorkbookCreation::createdOds_ = -1;
int WorkbookCreation::createdXlsx_ = -1;

const std::map<std::string, std::string> kExpectedLook = {
    {"format B5", "General"},  {"format C5", "0"},
    {"format D5", "#,##0"},    {"format E5", "#,##0.00"},
    {"format M5", "#,##0"},    {"format N5", "#,##0.00"},
    {"format Y5", "0.00"},     {"format AG5", "0.00"},
    {"format AQ5", "General"}, {"align B9", "left"},
    {"align L9", "right"},     {"%Change colours", "> 0 008000;< 0 C00000;"}};

TEST_F(WorkbookCreation, ReopenedWorkbookHasItsSheetsTitlesFormatsPanesFilterAndPrintSetup) {
    for (const std::string file : {"book.ods", "book.fods"}) {
        SCOPED_TRACE(file);
        const Document document = Load(Path(file));
        EXPECT_EQ(document->getSheets()->getElementNames().getLength(), 2);
        const Reference<css::frame::XModel> model(document, UNO_QUERY_THROW);
        const Reference<css::sheet::XSpreadsheetView> view(model->getCurrentController(),
                                                           UNO_QUERY_THROW);
        const Reference<css::sheet::XUnnamedDatabaseRanges> filters(
            Props(document)->getPropertyValue("UnnamedDatabaseRanges"), UNO_QUERY_THROW);
        for (const std::string name : {"NSE", "BSE"}) {
            SCOPED_TRACE(name);
            const Reference<css::sheet::XSpreadsheet> sheet = SheetOf(document, name);
            EXPECT_EQ(Look(document, name), kExpectedLook);

            EXPECT_EQ(S(sheet->getCellByPosition(0, 0)->getFormula()), "Exchange");
            EXPECT_EQ(S(sheet->getCellByPosition(11, 0)->getFormula()), "Last\nTraded Price");
            EXPECT_EQ(Get<sal_Int32>(Props(sheet->getCellByPosition(41, 0)), "CellBackColor"),
                      0xCCFFFF);
            EXPECT_EQ(sheet->getCellByPosition(42, 0)->getFormula().getLength(), 0);

            view->setActiveSheet(sheet);
            const Reference<css::sheet::XViewFreezable> panes(view, UNO_QUERY_THROW);
            const Reference<css::sheet::XViewSplitable> split(view, UNO_QUERY_THROW);
            EXPECT_TRUE(panes->hasFrozenPanes());
            // The only interface that tells where a view is frozen.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
            EXPECT_EQ(split->getSplitColumn(), 2);
            EXPECT_EQ(split->getSplitRow(), 1);
#pragma GCC diagnostic pop

            const sal_Int16 index = name == "NSE" ? 0 : 1;
            ASSERT_TRUE(filters->hasByTable(index));
            EXPECT_TRUE(Get<bool>(Props(filters->getByTable(index)), "AutoFilter"));

            // Widths fit the values: the description is the widest, yields the narrowest.
            const Reference<css::table::XColumnRowRange> columns(
                sheet->getCellRangeByPosition(0, 0, 41, 0), UNO_QUERY_THROW);
            const auto width = [&](sal_Int32 c) {
                return Get<sal_Int32>(Props(columns->getColumns()->getByIndex(c)), "Width");
            };
            EXPECT_GT(width(1), 5000);              // "TATA CONSULTANCY SERVICES LTD"
            EXPECT_GT(width(13), width(11));        // 9,999,999,999.99 against 99,999.99
            EXPECT_LT(width(32), width(11));        // a yield against a price
            EXPECT_LT(width(0) + width(1), 10000);  // repeated on every printed page

            const Reference<XPropertySet> page =
                Props(Reference<css::container::XNameAccess>(
                          Reference<css::style::XStyleFamiliesSupplier>(document, UNO_QUERY_THROW)
                              ->getStyleFamilies()
                              ->getByName("PageStyles"),
                          UNO_QUERY_THROW)
                          ->getByName(Get<rtl::OUString>(Props(sheet), "PageStyle")));
            EXPECT_TRUE(Get<bool>(page, "IsLandscape"));
            EXPECT_GT(Get<sal_Int32>(page, "Width"), Get<sal_Int32>(page, "Height"));
            EXPECT_EQ(Get<sal_Int16>(page, "ScaleToPagesX"), 2);
            EXPECT_EQ(Get<sal_Int16>(page, "ScaleToPagesY"), 0);
            const Reference<css::sheet::XPrintAreas> print(sheet, UNO_QUERY_THROW);
            EXPECT_TRUE(print->getPrintTitleRows());
            EXPECT_EQ(print->getTitleRows().EndRow, 0);
            EXPECT_TRUE(print->getPrintTitleColumns());
            EXPECT_EQ(print->getTitleColumns().StartColumn, 0);
            EXPECT_EQ(print->getTitleColumns().EndColumn, 1);
        }
        Close(document);
    }
}

TEST_F(WorkbookCreation, XlsxWorkbookOpensWithItsFormatsAndTheUpdatedColumn) {
    const Document document = Load(Path("book.xlsx"));
    EXPECT_EQ(document->getSheets()->getElementNames().getLength(), 1);
    std::map<std::string, std::string> expected = kExpectedLook;
    expected["format AQ5"] = "HH:MM:SS.000";
    EXPECT_EQ(Look(document, "NSE"), expected);
    const Reference<css::sheet::XSpreadsheet> sheet = SheetOf(document, "NSE");
    EXPECT_EQ(S(sheet->getCellByPosition(42, 0)->getFormula()), "Updated");
    const Reference<css::frame::XModel> model(document, UNO_QUERY_THROW);
    EXPECT_TRUE(
        Reference<css::sheet::XViewFreezable>(model->getCurrentController(), UNO_QUERY_THROW)
            ->hasFrozenPanes());
    const Reference<css::sheet::XUnnamedDatabaseRanges> filters(
        Props(document)->getPropertyValue("UnnamedDatabaseRanges"), UNO_QUERY_THROW);
    ASSERT_TRUE(filters->hasByTable(0));
    EXPECT_TRUE(Get<bool>(Props(filters->getByTable(0)), "AutoFilter"));
    EXPECT_EQ(Get<sal_Int16>(
                  Props(Reference<css::container::XNameAccess>(
                            Reference<css::style::XStyleFamiliesSupplier>(document, UNO_QUERY_THROW)
                                ->getStyleFamilies()
                                ->getByName("PageStyles"),
                            UNO_QUERY_THROW)
                            ->getByName(Get<rtl::OUString>(Props(sheet), "PageStyle"))),
                  "ScaleToPagesX"),
              2);
    Close(document);
}

TEST_F(WorkbookCreation, RecordBlockAndResetWritesKeepTheFormats) {
    // A workbook of its own, made in the running office and loaded by the library.
    const std::string book = Path("live.ods");
    const char* sheets[] = {"NSE"};
    ASSERT_EQ(corvane_create_workbook(book.c_str(), sheets, 1, nullptr), CORVANE_OK)
        << corvane_last_error();
    ASSERT_EQ(InitUntilConnected({OfficeExecutable().c_str(),
                                  session_->HeadlessCommandLine().c_str(), book.c_str()}),
              1);
    const char* fields[CORVANE_COLUMN_COUNT] = {
        "NSE", "RELIANCE INDUSTRIES LTD", "2885", "194", "2474.57", "28", "2476.55"};
    fields[11] = "2475.56";
    fields[12] = "445600.8";
    fields[24] = "-0.31";
    fields[32] = "7.1775";
    ASSERT_EQ(corvane_write_record("NSE", 4, fields), CORVANE_OK);
    const char* const* block[] = {fields, fields, fields, fields, fields, fields, fields, fields};
    ASSERT_EQ(corvane_write_records("NSE", 1, block, 8), CORVANE_OK);
    ASSERT_EQ(corvane_reset_row("NSE", 8), CORVANE_OK);
    ASSERT_EQ(corvane_write_titles("NSE", 0), CORVANE_OK);

    const Document document = session_->Client().Document(FileUrl(book));
    ASSERT_TRUE(document.is());
    EXPECT_EQ(Look(document, "NSE"), kExpectedLook);
    const Reference<css::sheet::XSpreadsheet> sheet = SheetOf(document, "NSE");
    EXPECT_EQ(sheet->getCellByPosition(12, 4)->getValue(), 445600.8);
    EXPECT_EQ(S(Reference<css::text::XTextRange>(sheet->getCellByPosition(12, 4), UNO_QUERY_THROW)
                    ->getString()),
              "445,601");
    EXPECT_EQ(S(Reference<css::text::XTextRange>(sheet->getCellByPosition(4, 2), UNO_QUERY_THROW)
                    ->getString()),
              "2,474.57");
    EXPECT_EQ(sheet->getCellByPosition(4, 8)->getFormula().getLength(), 0);  // reset
    EXPECT_EQ(FormatCode(document, sheet, "E9"), "#,##0.00");
}

TEST_F(WorkbookCreation, AnExistingFileIsNeverReplaced) {
    const std::string taken = Path("taken.ods");
    { std::ofstream(taken) << "not a workbook, and it stays so"; }
    const char* sheets[] = {"NSE"};
    EXPECT_EQ(corvane_create_workbook(taken.c_str(), sheets, 1, nullptr), CORVANE_E_EXISTS);
    EXPECT_EQ(ReadFile(taken), "not a workbook, and it stays so");
    const std::string before = ReadFile(Path("book.ods"));
    EXPECT_EQ(corvane_create_workbook(Path("book.ods").c_str(), sheets, 1, nullptr),
              CORVANE_E_EXISTS);
    EXPECT_EQ(ReadFile(Path("book.ods")), before);

    // Requests that can never succeed fail before any office is asked.
    const char* twice[] = {"NSE", "nse"};
    const char* badName[] = {"NSE:F&O"};
    EXPECT_EQ(corvane_create_workbook(Path("x.ods").c_str(), twice, 2, nullptr),
              CORVANE_E_ARGUMENT);
    EXPECT_EQ(corvane_create_workbook(Path("x.ods").c_str(), badName, 1, nullptr),
              CORVANE_E_ARGUMENT);
    EXPECT_EQ(corvane_create_workbook(Path("x.xls").c_str(), sheets, 1, nullptr),
              CORVANE_E_ARGUMENT);
    EXPECT_EQ(corvane_create_workbook(Path("x.ods").c_str(), sheets, 0, nullptr),
              CORVANE_E_ARGUMENT);
    EXPECT_EQ(corvane_create_workbook((*dir_ / "no/such/folder.ods").c_str(), sheets, 1, nullptr),
              CORVANE_E_SAVE);
}

}  // namespace
}  // namespace corvane::test
