// A record's fields into its row's cell values: text columns hold the field's text,
// numeric columns the number the library reads from it, empty fields nothing.
#include <com/sun/star/uno/Any.hxx>
#include <corvane/corvane.hpp>
#include <rtl/ustring.hxx>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "fuzz_check.hpp"
#include "office/host_text.hpp"
#include "sheet/column_layout.hpp"
#include "sheet/field_numbers.hpp"
#include "sheet/record_fields.hpp"

using namespace corvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    // Fields separated by NUL bytes, the first one feeding the column the first byte names.
    const std::string text(reinterpret_cast<const char*>(data), size);
    MarketWatchRecord record{};
    std::size_t from = 0;
    for (int k = 0; k < kColumnCount && from <= text.size(); ++k) {
        const std::size_t end = std::min(text.find('\0', from), text.size());
        record.fields[k] = text.substr(from, end - from).c_str();
        from = end + 1;
    }
    css::uno::Any cells[kColumnCount];
    sheet::StoreRecordFields(cells, record);
    for (const sheet::Column& column : sheet::ColumnLayout) {
        const CString& field = record.fields[column.index];
        const css::uno::Any& cell = cells[column.index];
        const std::string_view view(field.GetString(), static_cast<std::size_t>(field.GetLength()));
        rtl::OUString stored;
        if (column.kind == sheet::ValueKind::Text || field.IsEmpty()) {
            FUZZ_CHECK(cell >>= stored);
            FUZZ_CHECK(stored == office::FromHostText(field.GetString(), field.GetLength()));
            continue;
        }
        const double expected = column.kind == sheet::ValueKind::Real ? sheet::LeadingReal(view)
                                                                      : sheet::LeadingInteger(view);
        sal_Int32 whole = 0;
        double real = 0;
        if (cell >>= whole) {
            FUZZ_CHECK(column.kind == sheet::ValueKind::Integer && whole == expected);
        } else {
            FUZZ_CHECK(cell >>= real);
            FUZZ_CHECK(real == expected || (std::isnan(real) && std::isnan(expected)));
        }
    }
    return 0;
}
