#include "sheet/record_fields.hpp"

#include <limits>
#include <string_view>

#include "office/host_text.hpp"
#include "sheet/column_layout.hpp"
#include "sheet/field_numbers.hpp"

namespace corvane::sheet {
namespace {

// Stores one field into its cell's value the way its column wants it.
void StoreField(css::uno::Any& cell, std::string_view text, ValueKind kind) {
    const auto length = static_cast<sal_Int32>(text.size());
    if (kind == ValueKind::Text || length == 0) {
        // An empty text value empties the cell, for the numeric columns too.
        cell <<= office::FromHostText(text.data(), length);
        return;
    }
    if (kind == ValueKind::Real) {
        cell <<= LeadingReal(text);
        return;
    }
    const double value = LeadingInteger(text);
    if (value >= std::numeric_limits<sal_Int32>::min() &&
        value <= std::numeric_limits<sal_Int32>::max()) {
        cell <<= static_cast<sal_Int32>(value);
    } else {
        cell <<= value;  // a cell's number holds it exactly where 32 bits cannot
    }
}

}  // namespace

void StoreRecordFields(css::uno::Any* cells, const MarketWatchRecord& record) {
    for (const Column& column : ColumnLayout) {
        const CString& field = record.fields[column.index];
        StoreField(cells[column.index],
                   {field.GetString(), static_cast<std::size_t>(field.GetLength())}, column.kind);
    }
}

void StoreRecordFields(css::uno::Any* cells, const std::string_view* fields) {
    StoreRecordFields(cells, fields, 0, kColumnCount - 1);
}

void StoreRecordFields(css::uno::Any* cells, const std::string_view* fields, int first, int last) {
    for (int k = first; k <= last && k < kColumnCount; ++k)
        StoreField(cells[k], fields[k], ColumnLayout[k].kind);
}

}  // namespace corvane::sheet
