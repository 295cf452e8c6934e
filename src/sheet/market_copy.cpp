#include "sheet/market_copy.hpp"

#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>

#include <vector>

#include "office/connection.hpp"
#include "office/host_text.hpp"
#include "office/save_copy.hpp"
#include "sheet/column_layout.hpp"
#include "sheet/market_format.hpp"

namespace corvane::sheet {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;

// Whether `sheet`'s row `row` begins with the first two column titles.
bool HoldsTitles(const Reference<css::sheet::XSpreadsheet>& sheet, int row) {
    const Reference<css::sheet::XCellRangeData> cells(
        sheet->getCellRangeByPosition(0, row, kFrozenColumns - 1, row), UNO_QUERY);
    if (!cells.is()) return false;
    const css::uno::Sequence<css::uno::Sequence<css::uno::Any>> values = cells->getDataArray();
    if (values.getLength() != 1 || values[0].getLength() != kFrozenColumns) return false;
    for (sal_Int32 column = 0; column < kFrozenColumns; ++column) {
        rtl::OUString text;
        if (!(values[0][column] >>= text) ||
            text != rtl::OUString::createFromAscii(ColumnLayout[column].title))
            return false;
    }
    return true;
}

}  // namespace

std::optional<WorkbookFormat> PaneFormatOf(std::string_view path) {
    if (office::EndsWithIgnoringCase(path, ".ods")) return WorkbookFormat::Ods;
    if (office::EndsWithIgnoringCase(path, ".fods")) return WorkbookFormat::Fods;
    if (office::EndsWithIgnoringCase(path, ".xlsx")) return WorkbookFormat::Xlsx;
    return std::nullopt;
}

Error SaveMarketCopy(office::Session& session, const char* path, int titleRow) {
    Error status = office::SaveCopy(session, path);
    const std::optional<WorkbookFormat> format = PaneFormatOf(path);
    if (!status.ok() || !format || titleRow < 0) return status;
    const Reference<css::sheet::XSpreadsheetDocument> document(session.Workbook(), UNO_QUERY);
    if (!document.is()) return status;
    const Reference<css::container::XIndexAccess> sheets(document->getSheets(), UNO_QUERY);
    if (!sheets.is()) return status;
    std::vector<std::string> names;
    std::vector<bool> frozen;
    bool any = false;
    for (sal_Int32 i = 0; i < sheets->getCount(); ++i) {
        const Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(i), UNO_QUERY);
        const Reference<css::container::XNamed> named(sheet, UNO_QUERY);
        names.push_back(named.is() ? office::ToUtf8(named->getName()) : std::string());
        frozen.push_back(sheet.is() && HoldsTitles(sheet, titleRow));
        any = any || frozen.back();
    }
    if (!any) return status;
    FreezeStoredPanes(session.Context(), office::FromHostText(office::MakeFileUrl(path).c_str()),
                      *format, names, frozen, kFrozenColumns, titleRow + 1);
    return status;
}

}  // namespace corvane::sheet
