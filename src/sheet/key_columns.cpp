#include "sheet/key_columns.hpp"

#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/defaults.hpp"
#include "office/host_text.hpp"
#include "platform/instrument_key.hpp"

namespace corvane::sheet {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;

// The columns a key is read from: A (exchange) to C (scrip code).
constexpr sal_Int32 kLastKeyColumn = 2;

// A key cell's value as text (see KeyOfCells).
std::string KeyText(const css::uno::Any& value) {
    double number = 0;
    if (value >>= number) {
        char text[400];  // the longest whole double in fixed form has 309 digits
        const auto end =
            std::trunc(number) == number
                ? std::to_chars(text, text + sizeof(text), number, std::chars_format::fixed)
                : std::to_chars(text, text + sizeof(text), number);
        return std::string(text, end.ptr);
    }
    rtl::OUString string;
    value >>= string;
    return office::ToUtf8(string);
}

bool Blank(const css::uno::Any& value) {
    rtl::OUString string;
    return !value.hasValue() || ((value >>= string) && string.isEmpty());
}

}  // namespace

RowKey KeyOfCells(const css::uno::Sequence<css::uno::Any>& cells) {
    RowKey key;
    if (cells.getLength() < 3) return key;
    key.blank = Blank(cells[0]) && Blank(cells[1]) && Blank(cells[2]);
    if (key.blank) return key;
    key.exchange = KeyText(cells[0]);
    key.scrip = KeyText(cells[2]);
    return key;
}

Error ReadKeyColumns(const SheetHandle& sheet, int firstRow, std::vector<RowKey>& keys) {
    keys.clear();
    // The last row whose key columns hold anything: the rows below are blank there.
    namespace Flags = css::sheet::CellFlags;
    const Reference<css::sheet::XCellRangesQuery> query(
        sheet->getCellRangeByPosition(0, firstRow, kLastKeyColumn, defaults::kSheetRows - 1),
        UNO_QUERY);
    if (!query.is()) return {ErrorCode::Office, "the key columns cannot be read"};
    const Reference<css::sheet::XSheetCellRanges> filled =
        query->queryContentCells(Flags::VALUE | Flags::DATETIME | Flags::STRING | Flags::FORMULA);
    sal_Int32 lastRow = -1;
    if (filled.is())
        for (const css::table::CellRangeAddress& range : filled->getRangeAddresses())
            lastRow = std::max(lastRow, range.EndRow);
    if (lastRow < firstRow) return {};
    const Reference<css::sheet::XCellRangeData> data(
        sheet->getCellRangeByPosition(0, firstRow, kLastKeyColumn, lastRow), UNO_QUERY);
    if (!data.is()) return {ErrorCode::Office, "the key columns give no values"};
    const css::uno::Sequence<css::uno::Sequence<css::uno::Any>> values = data->getDataArray();
    keys.resize(static_cast<std::size_t>(values.getLength()));
    std::size_t usedRows = 0;
    for (sal_Int32 i = 0; i < values.getLength(); ++i) {
        RowKey& key = keys[static_cast<std::size_t>(i)];
        key = KeyOfCells(values[i]);
        if (!key.blank) usedRows = static_cast<std::size_t>(i) + 1;
    }
    keys.resize(usedRows);  // the rows below the last one used in columns A to C
    return {};
}

Reference<css::sheet::XCellRangeData> KeyColumns(const SheetHandle& sheet, int firstRow, int rows) {
    return {sheet->getCellRangeByPosition(0, firstRow, kLastKeyColumn, firstRow + rows - 1),
            UNO_QUERY};
}

Error CompareKeys(const Reference<css::sheet::XCellRangeData>& keys,
                  const std::vector<std::string>& expected, KeysFound& found) {
    found = KeysFound::Expected;
    if (!keys.is()) return {ErrorCode::Office, "the key columns cannot be read"};
    const css::uno::Sequence<css::uno::Sequence<css::uno::Any>> now = keys->getDataArray();
    if (static_cast<std::size_t>(now.getLength()) != expected.size()) {
        found = KeysFound::Reshaped;
        return {};
    }
    for (sal_Int32 i = 0; i < now.getLength(); ++i) {
        const RowKey key = KeyOfCells(now[i]);
        if (key.blank) {
            found = KeysFound::Blank;
        } else if (platform::InstrumentKey(key.exchange, key.scrip) !=
                   expected[static_cast<std::size_t>(i)]) {
            found = KeysFound::Other;
            return {};
        }
    }
    return {};
}

}  // namespace corvane::sheet
