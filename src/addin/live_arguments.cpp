#include "addin/live_arguments.hpp"

#include <charconv>
#include <cmath>

#include "office/host_text.hpp"
#include "sheet/column_layout.hpp"

namespace corvane::addin {
namespace {

// A whole number's text; "" for one with a fraction or beyond 15 digits.
std::string WholeText(double number) {
    if (!std::isfinite(number) || std::trunc(number) != number || std::fabs(number) >= 1e15)
        return {};
    char text[32];
    const auto end = std::to_chars(text, text + sizeof(text), static_cast<long long>(number));
    return std::string(text, end.ptr);
}

}  // namespace

std::string CodeText(const css::uno::Any& code) {
    double number = 0;
    if (code >>= number) return WholeText(number);
    rtl::OUString text;
    if (code >>= text) return office::ToUtf8(text);
    return {};
}

int FieldColumn(const css::uno::Any& field) {
    std::string text;
    double number = 0;
    if (field >>= number) {
        text = WholeText(number);
    } else {
        rtl::OUString name;
        if (!(field >>= name)) return -1;
        text = office::ToUtf8(name);
        const int column = sheet::ColumnNamed(text);
        if (column >= 0) return column;
    }
    int value = 0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || parsed.ec != std::errc() || parsed.ptr != text.data() + text.size())
        return -1;
    return value >= 1 && value <= kColumnCount ? value - 1 : -1;
}

}  // namespace corvane::addin
