// Host text against a strict UTF-8 decoder: valid UTF-8 gives its characters, anything
// else one character per byte.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_check.hpp"
#include "office/host_text.hpp"

namespace {

// UTF-16 of `bytes` when they are strict UTF-8 (shortest forms, no surrogates, at most
// U+10FFFF); false otherwise.
bool StrictUtf8(const std::uint8_t* bytes, std::size_t size, std::u16string& out) {
    for (std::size_t at = 0; at < size;) {
        const std::uint8_t lead = bytes[at];
        std::size_t length = lead < 0x80   ? 1
                             : lead < 0xC2 ? 0
                             : lead < 0xE0 ? 2
                             : lead < 0xF0 ? 3
                             : lead < 0xF5 ? 4
                                           : 0;
        if (length == 0 || at + length > size) return false;
        char32_t point = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            if ((bytes[at + k] & 0xC0) != 0x80) return false;
            point = (point << 6) | (bytes[at + k] & 0x3F);
        }
        if ((length == 3 && point < 0x800) || (length == 4 && point < 0x10000) ||
            point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
            return false;
        if (point >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((point - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((point - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(point);
        }
        at += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4096) return 0;
    const rtl::OUString text = corvane::office::FromHostText(reinterpret_cast<const char*>(data),
                                                             static_cast<sal_Int32>(size));
    std::u16string expected;
    if (!StrictUtf8(data, size, expected)) {
        expected.clear();
        for (std::size_t k = 0; k < size; ++k) expected += static_cast<char16_t>(data[k]);
    }
    const std::u16string got(reinterpret_cast<const char16_t*>(text.getStr()),
                             static_cast<std::size_t>(text.getLength()));
    FUZZ_CHECK(got == expected);
    return 0;
}
