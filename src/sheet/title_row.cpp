#include "sheet/title_row.hpp"

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/table/XCell.hpp>

#include <cstring>

#include "office/host_text.hpp"
#include "sheet/column_layout.hpp"

namespace corvane::sheet {

void WriteTitleCell(const SheetHandle& sheet, sal_Int32 column, sal_Int32 row,
                    std::string_view text, sal_Int32 backColor, sal_Int32 charColor) {
    const css::uno::Reference<css::table::XCell> cell = sheet->getCellByPosition(column, row);
    if (!cell.is()) {
        throw css::uno::RuntimeException("the sheet gave no cell at the title's position");
    }
    cell->setFormula(office::FromHostText(text.data(), static_cast<sal_Int32>(text.size())));
    if (backColor == kKeepColor && charColor == kKeepColor) return;

    const css::uno::Reference<css::beans::XPropertySet> properties(cell, css::uno::UNO_QUERY);
    if (!properties.is()) return;
    if (backColor != kKeepColor) {
        properties->setPropertyValue("CellBackColor", css::uno::Any(backColor));
    }
    if (charColor != kKeepColor) {
        properties->setPropertyValue("CharColor", css::uno::Any(charColor));
    }
}

void WriteHeaderRow(const SheetHandle& sheet, int row) {
    for (const Column& column : ColumnLayout) {
        WriteTitleCell(sheet, column.index, row, column.title, TitleBackColor, TitleCharColor);
    }
}

void WriteTitleRow(const SheetHandle& sheet, int row, bool rowTimes) {
    WriteHeaderRow(sheet, row);
    if (rowTimes)
        WriteTitleCell(sheet, kUpdatedColumn.index, row, kUpdatedColumn.title, TitleBackColor,
                       TitleCharColor);
}

}  // namespace corvane::sheet
