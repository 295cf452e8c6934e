#include "sheet/market_format.hpp"

#include <com/sun/star/awt/FontWeight.hpp>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNameContainer.hpp>
#include <com/sun/star/i18n/NumberFormatIndex.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/Locale.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/sheet/ConditionOperator.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XPrintAreas.hpp>
#include <com/sun/star/sheet/XSheetConditionalEntries.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUnnamedDatabaseRanges.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/table/CellHoriJustify.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/CellVertJustify2.hpp>
#include <com/sun/star/table/XColumnRowRange.hpp>
#include <com/sun/star/table/XTableColumns.hpp>
#include <com/sun/star/table/XTableRows.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormats.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>

#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "core/defaults.hpp"
#include "office/host_text.hpp"
#include "office/main_thread.hpp"
#include "sheet/column_layout.hpp"
#include "sheet/title_row.hpp"

namespace corvane::sheet {
namespace {

using css::beans::PropertyValue;
using css::beans::XPropertySet;
using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY_THROW;

constexpr sal_Int32 kLastRow = defaults::kSheetRows - 1;  // a sheet's last row, zero-based

// A record column, or the update time's column right of them.
const Column& ColumnAt(sal_Int32 index) {
    return index < kColumnCount ? ColumnLayout[static_cast<std::size_t>(index)] : kUpdatedColumn;
}

// %Change, column Y.
constexpr sal_Int32 kChangeColumn = ColumnWithLook(Look::Change);
static_assert(kChangeColumn >= 0, "the column table has a %Change column");
constexpr sal_Int32 kGainColor = 0x008000;  // green
constexpr sal_Int32 kLossColor = 0xC00000;  // red
constexpr sal_Int16 kPagesAcross = 2;
constexpr sal_Int32 kPageMargin = 1000;  // 1 cm, in 1/100 mm
// Time of day with milliseconds; the code is read as en-US writes it.
constexpr char kTimeFormat[] = "HH:MM:SS.000";
// Scratch sheet in which the office measures the column widths.
constexpr char kMeasureSheet[] = "corvane-measure";

const char* TitleOf(sal_Int32 column) { return ColumnAt(column).title; }

// The two lines of a title ("" for the second of a one-line title).
std::pair<std::string, std::string> TitleLines(sal_Int32 column) {
    const std::string title = TitleOf(column);
    const std::size_t feed = title.find('\n');
    if (feed == std::string::npos) return {title, ""};
    return {title.substr(0, feed), title.substr(feed + 1)};
}

Reference<XPropertySet> Properties(const Reference<css::uno::XInterface>& object) {
    return Reference<XPropertySet>(object, UNO_QUERY_THROW);
}

struct NumberFormats {
    std::array<sal_Int32, 7> keys{};  // by Look
    sal_Int32 Of(Look look) const { return keys[static_cast<std::size_t>(look)]; }
};

NumberFormats FormatKeys(const Reference<css::sheet::XSpreadsheetDocument>& document) {
    const Reference<css::util::XNumberFormatsSupplier> supplier(document, UNO_QUERY_THROW);
    const Reference<css::util::XNumberFormats> formats = supplier->getNumberFormats();
    const Reference<css::util::XNumberFormatTypes> types(formats, UNO_QUERY_THROW);
    // The built-in formats of the document's language: separators as its users write them.
    const css::lang::Locale language;
    namespace Index = css::i18n::NumberFormatIndex;
    NumberFormats result;
    const auto set = [&](Look look, sal_Int32 key) {
        result.keys[static_cast<std::size_t>(look)] = key;
    };
    set(Look::Text, types->getFormatIndex(Index::NUMBER_STANDARD, language));
    set(Look::Code, types->getFormatIndex(Index::NUMBER_INT, language));
    set(Look::Quantity, types->getFormatIndex(Index::NUMBER_1000INT, language));
    set(Look::Price, types->getFormatIndex(Index::NUMBER_1000DEC2, language));
    set(Look::Change, types->getFormatIndex(Index::NUMBER_DEC2, language));
    set(Look::Yield, types->getFormatIndex(Index::NUMBER_DEC2, language));
    const css::lang::Locale english("en", "US", "");
    sal_Int32 time = formats->queryKey(kTimeFormat, english, false);
    if (time < 0) time = formats->addNew(kTimeFormat, english);
    set(Look::Time, time);
    return result;
}

// Number format and alignment of every cell of the columns, in one call per run of
// columns that look alike.
void FormatColumns(const Reference<css::sheet::XSpreadsheet>& sheet, sal_Int32 columns,
                   const NumberFormats& formats) {
    sal_Int32 first = 0;
    while (first < columns) {
        const Look look = ColumnAt(first).look;
        sal_Int32 last = first;
        while (last + 1 < columns && ColumnAt(last + 1).look == look) ++last;
        const Reference<XPropertySet> cells =
            Properties(sheet->getCellRangeByPosition(first, 0, last, kLastRow));
        if (look != Look::Text) cells->setPropertyValue("NumberFormat", Any(formats.Of(look)));
        cells->setPropertyValue("HoriJustify",
                                Any(look == Look::Text ? css::table::CellHoriJustify_LEFT
                                                       : css::table::CellHoriJustify_RIGHT));
        first = last + 1;
    }
}

void MakeTitleRowLook(const Reference<css::sheet::XSpreadsheet>& sheet, sal_Int32 columns) {
    const Reference<XPropertySet> titles =
        Properties(sheet->getCellRangeByPosition(0, 0, columns - 1, 0));
    titles->setPropertyValue("IsTextWrapped", Any(true));
    titles->setPropertyValue("HoriJustify", Any(css::table::CellHoriJustify_CENTER));
    titles->setPropertyValue("VertJustify", Any(css::table::CellVertJustify2::CENTER));
    titles->setPropertyValue("CharWeight", Any(css::awt::FontWeight::BOLD));
}

Reference<css::table::XTableColumns> ColumnsOf(const Reference<css::sheet::XSpreadsheet>& sheet,
                                               sal_Int32 columns) {
    const Reference<css::table::XColumnRowRange> range(
        sheet->getCellRangeByPosition(0, 0, columns - 1, 0), UNO_QUERY_THROW);
    return range->getColumns();
}

// Widths (1/100 mm) that fit each column's title lines, in bold as the title row shows
// them, and its typical widest value in its format, as the office measures them on a
// scratch sheet that it then removes.
std::vector<sal_Int32> MeasureWidths(const Reference<css::sheet::XSpreadsheetDocument>& document,
                                     sal_Int32 columns, const NumberFormats& formats) {
    const Reference<css::sheet::XSpreadsheets> sheets = document->getSheets();
    const Reference<css::container::XIndexAccess> indexed(sheets, UNO_QUERY_THROW);
    sheets->insertNewByName(kMeasureSheet, static_cast<sal_Int16>(indexed->getCount()));
    const Reference<css::sheet::XSpreadsheet> scratch(sheets->getByName(kMeasureSheet),
                                                      UNO_QUERY_THROW);
    FormatColumns(scratch, columns, formats);
    Properties(scratch->getCellRangeByPosition(0, 1, columns - 1, 2))
        ->setPropertyValue("CharWeight", Any(css::awt::FontWeight::BOLD));

    // Row 1: the typical values; rows 2 and 3: the title lines.
    Sequence<Sequence<Any>> values(3);
    Sequence<Any>* rows = values.getArray();
    for (sal_Int32 r = 0; r < 3; ++r) rows[r].realloc(columns);
    for (sal_Int32 c = 0; c < columns; ++c) {
        const Column& column = ColumnAt(c);
        rows[0].getArray()[c] = column.widestText != nullptr
                                    ? Any(rtl::OUString::createFromAscii(column.widestText))
                                    : Any(column.widestNumber);
        const auto [first, second] = TitleLines(c);
        rows[1].getArray()[c] <<= rtl::OUString::createFromAscii(first.c_str());
        rows[2].getArray()[c] <<= rtl::OUString::createFromAscii(second.c_str());
    }
    const Reference<css::sheet::XCellRangeData> data(
        scratch->getCellRangeByPosition(0, 0, columns - 1, 2), UNO_QUERY_THROW);
    data->setDataArray(values);

    const Reference<css::table::XTableColumns> measured = ColumnsOf(scratch, columns);
    Properties(measured)->setPropertyValue("OptimalWidth", Any(true));
    std::vector<sal_Int32> widths(static_cast<std::size_t>(columns), 0);
    for (sal_Int32 c = 0; c < columns; ++c) {
        Properties(Reference<css::uno::XInterface>(measured->getByIndex(c), UNO_QUERY_THROW))
            ->getPropertyValue("Width") >>= widths[static_cast<std::size_t>(c)];
    }
    sheets->removeByName(kMeasureSheet);
    return widths;
}

Reference<css::container::XNameContainer> StyleFamily(
    const Reference<css::sheet::XSpreadsheetDocument>& document, const char* family) {
    const Reference<css::style::XStyleFamiliesSupplier> supplier(document, UNO_QUERY_THROW);
    return Reference<css::container::XNameContainer>(
        supplier->getStyleFamilies()->getByName(rtl::OUString::createFromAscii(family)),
        UNO_QUERY_THROW);
}

// A new style of `family` named `name`, made by the document.
Reference<XPropertySet> NewStyle(const Reference<css::sheet::XSpreadsheetDocument>& document,
                                 const char* family, const char* service, const char* name) {
    const Reference<css::lang::XMultiServiceFactory> factory(document, UNO_QUERY_THROW);
    const Reference<css::uno::XInterface> style =
        factory->createInstance(rtl::OUString::createFromAscii(service));
    StyleFamily(document, family)->insertByName(rtl::OUString::createFromAscii(name), Any(style));
    return Properties(style);
}

bool HasStyle(const Reference<css::sheet::XSpreadsheetDocument>& document, const char* family,
              const char* name) {
    return StyleFamily(document, family)->hasByName(rtl::OUString::createFromAscii(name));
}

// The styles of a market-watch sheet that the document lacks.
void MakeStyles(const Reference<css::sheet::XSpreadsheetDocument>& document) {
    if (!HasStyle(document, "CellStyles", kGainStyle))
        NewStyle(document, "CellStyles", "com.sun.star.style.CellStyle", kGainStyle)
            ->setPropertyValue("CharColor", Any(kGainColor));
    if (!HasStyle(document, "CellStyles", kLossStyle))
        NewStyle(document, "CellStyles", "com.sun.star.style.CellStyle", kLossStyle)
            ->setPropertyValue("CharColor", Any(kLossColor));
    if (HasStyle(document, "PageStyles", kPageStyle)) return;

    // Landscape, scaled so that the columns take two pages across however long the
    // sheet grows; pages run left to right, then down, so that the two halves of the
    // same rows follow each other; grid lines guide the eye along a row.
    const Reference<XPropertySet> page =
        NewStyle(document, "PageStyles", "com.sun.star.style.PageStyle", kPageStyle);
    sal_Int32 width = 0;
    sal_Int32 height = 0;
    page->getPropertyValue("Width") >>= width;
    page->getPropertyValue("Height") >>= height;
    page->setPropertyValue("IsLandscape", Any(true));
    page->setPropertyValue("Width", Any(std::max(width, height)));
    page->setPropertyValue("Height", Any(std::min(width, height)));
    for (const char* margin : {"LeftMargin", "RightMargin", "TopMargin", "BottomMargin"})
        page->setPropertyValue(rtl::OUString::createFromAscii(margin), Any(kPageMargin));
    page->setPropertyValue("ScaleToPagesX", Any(kPagesAcross));
    page->setPropertyValue("ScaleToPagesY", Any(sal_Int16(0)));  // as many as it takes
    page->setPropertyValue("PrintDownFirst", Any(false));
    page->setPropertyValue("PrintGrid", Any(true));
}

PropertyValue Named(const char* name, const Any& value) {
    return PropertyValue(rtl::OUString::createFromAscii(name), 0, value,
                         css::beans::PropertyState_DIRECT_VALUE);
}

void ColourChanges(const Reference<css::sheet::XSpreadsheet>& sheet) {
    const Reference<XPropertySet> changes =
        Properties(sheet->getCellRangeByPosition(kChangeColumn, 1, kChangeColumn, kLastRow));
    const Reference<css::sheet::XSheetConditionalEntries> entries(
        changes->getPropertyValue("ConditionalFormat"), UNO_QUERY_THROW);
    const auto add = [&](css::sheet::ConditionOperator condition, const char* style) {
        const PropertyValue entry[] = {
            Named("Operator", Any(condition)), Named("Formula1", Any(rtl::OUString("0"))),
            Named("StyleName", Any(rtl::OUString::createFromAscii(style)))};
        entries->addNew(Sequence<PropertyValue>(entry, 3));
    };
    add(css::sheet::ConditionOperator_GREATER, kGainStyle);
    add(css::sheet::ConditionOperator_LESS, kLossStyle);
    changes->setPropertyValue("ConditionalFormat", Any(entries));
}

css::table::CellRangeAddress Address(sal_Int16 sheet, sal_Int32 firstColumn, sal_Int32 firstRow,
                                     sal_Int32 lastColumn, sal_Int32 lastRow) {
    return css::table::CellRangeAddress(sheet, firstColumn, firstRow, lastColumn, lastRow);
}

void SetUpPrinting(const Reference<css::sheet::XSpreadsheet>& sheet, sal_Int16 index,
                   sal_Int32 columns) {
    Properties(sheet)->setPropertyValue("PageStyle", Any(rtl::OUString(kPageStyle)));
    const Reference<css::sheet::XPrintAreas> print(sheet, UNO_QUERY_THROW);
    print->setTitleRows(Address(index, 0, 0, columns - 1, kFrozenRows - 1));
    print->setPrintTitleRows(true);
    print->setTitleColumns(Address(index, 0, 0, kFrozenColumns - 1, kLastRow));
    print->setPrintTitleColumns(true);
}

// The sheet's own autofilter over every row of its columns, buttons in the title row.
void AddAutoFilter(const Reference<css::sheet::XSpreadsheetDocument>& document, sal_Int16 index,
                   sal_Int32 columns) {
    const Reference<css::sheet::XUnnamedDatabaseRanges> ranges(
        Properties(document)->getPropertyValue("UnnamedDatabaseRanges"), UNO_QUERY_THROW);
    ranges->setByTable(Address(index, 0, 0, columns - 1, kLastRow));
    Properties(Reference<css::uno::XInterface>(ranges->getByTable(index), UNO_QUERY_THROW))
        ->setPropertyValue("AutoFilter", Any(true));
}

void WriteTitles(const Reference<css::sheet::XSpreadsheet>& sheet, sal_Int32 columns) {
    WriteTitleRow(sheet, 0, columns > kRowTimeColumn);
    // The titles were written into columns of their final widths: fit the row to them.
    const Reference<css::table::XColumnRowRange> row(sheet->getCellRangeByPosition(0, 0, 0, 0),
                                                     UNO_QUERY_THROW);
    Properties(row->getRows())->setPropertyValue("OptimalHeight", Any(true));
}

}  // namespace

sal_Int32 MarketColumnCount(const MarketSheetOptions& options) {
    return options.rowTimes ? kColumnCount + 1 : kColumnCount;
}

namespace {

// What formatting sheets needs from the document: number formats, styles and widths.
struct SheetLook {
    sal_Int32 columns = 0;
    NumberFormats formats;
    std::vector<sal_Int32> widths;
};

SheetLook PrepareLook(const Reference<css::sheet::XSpreadsheetDocument>& document,
                      const MarketSheetOptions& options) {
    SheetLook look;
    look.columns = MarketColumnCount(options);
    look.formats = FormatKeys(document);
    MakeStyles(document);
    look.widths = MeasureWidths(document, look.columns, look.formats);
    return look;
}

// The market-watch look for sheet `index` of the document.
void FormatSheet(const Reference<css::sheet::XSpreadsheetDocument>& document, sal_Int16 index,
                 const SheetLook& look) {
    const Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
    const Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(index), UNO_QUERY_THROW);
    FormatColumns(sheet, look.columns, look.formats);
    const Reference<css::table::XTableColumns> sheetColumns = ColumnsOf(sheet, look.columns);
    for (sal_Int32 c = 0; c < look.columns; ++c) {
        Properties(Reference<css::uno::XInterface>(sheetColumns->getByIndex(c), UNO_QUERY_THROW))
            ->setPropertyValue("Width", Any(look.widths[static_cast<std::size_t>(c)]));
    }
    MakeTitleRowLook(sheet, look.columns);
    WriteTitles(sheet, look.columns);
    ColourChanges(sheet);
    SetUpPrinting(sheet, index, look.columns);
    AddAutoFilter(document, index, look.columns);
}

}  // namespace

void FormatMarketSheets(const Reference<css::sheet::XSpreadsheetDocument>& document,
                        const MarketSheetOptions& options) {
    const SheetLook look = PrepareLook(document, options);
    const Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < sheets->getCount(); ++i)
        FormatSheet(document, static_cast<sal_Int16>(i), look);
}

void AddMarketSheet(const Reference<css::sheet::XSpreadsheetDocument>& document,
                    const rtl::OUString& name, const MarketSheetOptions& options) {
    // The sheet is inserted first: a name the office refuses leaves nothing behind.
    const Reference<css::sheet::XSpreadsheets> sheets = document->getSheets();
    const Reference<css::container::XIndexAccess> indexed(sheets, UNO_QUERY_THROW);
    const sal_Int16 index = static_cast<sal_Int16>(indexed->getCount());
    sheets->insertNewByName(name, index);
    FormatSheet(document, index, PrepareLook(document, options));
}

Error AddMarketSheetNamed(const Reference<css::sheet::XSpreadsheetDocument>& document,
                          const std::string& name, const MarketSheetOptions& options) {
    try {
        AddMarketSheet(document, office::FromHostText(name.c_str()), options);
    } catch (const css::lang::DisposedException&) {
        throw;
    } catch (const css::uno::Exception& e) {
        return {ErrorCode::NoSheet, "the workbook has no sheet \"" + name +
                                        "\" and took no new one (" + office::DescribeCaught(e) +
                                        ")"};
    }
    return {};
}

}  // namespace corvane::sheet
