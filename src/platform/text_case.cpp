#include "platform/text_case.hpp"

#include <locale.h>
#include <wctype.h>

#include <vector>

namespace corvane::platform {
namespace {

// Code points of `text` when it is valid UTF-8 (no surrogates, no overlong forms).
bool DecodeUtf8(std::string_view text, std::vector<char32_t>& out) {
    for (std::size_t at = 0; at < text.size();) {
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
        const unsigned char lead = byte(0);
        std::size_t length;
        char32_t point;
        if (lead < 0x80) {
            length = 1;
            point = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            point = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            point = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            point = lead & 0x07;
        } else {
            return false;
        }
        if (at + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((byte(k) & 0xC0) != 0x80) return false;
            point = (point << 6) | (byte(k) & 0x3F);
        }
        const bool overlong = (length == 3 && point < 0x800) || (length == 4 && point < 0x10000);
        if (overlong || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return false;
        out.push_back(point);
        at += length;
    }
    return true;
}

void EncodeUtf8(char32_t point, std::string& out) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (point >> 18));
        out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

// Upper case of one character by Unicode's simple case mapping, whatever locale the
// process has set.
char32_t Upper(char32_t point) {
    static const locale_t unicode = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
    if (point >= 'a' && point <= 'z') return point - 'a' + 'A';
    if (point < 0x80 || unicode == nullptr) return point;
    const wint_t upper = ::towupper_l(static_cast<wint_t>(point), unicode);
    return upper > 0x10FFFF ? point : static_cast<char32_t>(upper);
}

}  // namespace

std::string UpperCaseUtf8(std::string_view text) {
    std::string upper(text);
    bool ascii = true;
    for (char& c : upper) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        ascii &= static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii) return upper;  // exchange codes and most sheet names: no decoding needed
    upper.clear();
    std::vector<char32_t> points;
    if (!DecodeUtf8(text, points)) {
        points.clear();
        for (char c : text) points.push_back(static_cast<unsigned char>(c));
    }
    for (char32_t point : points) EncodeUtf8(Upper(point), upper);
    return upper;
}

}  // namespace corvane::platform
