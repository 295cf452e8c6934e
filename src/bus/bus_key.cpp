#include "bus/bus_key.hpp"

#include "platform/instrument_key.hpp"

namespace corvane::bus {
namespace {

bool Plain(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '/';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

std::string BusKeyToken(std::string_view text) {
    if (text.empty()) return "=";
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string token;
    token.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (Plain(c)) {
            token += ch;
        } else {
            token += '=';
            token += kHex[c >> 4];
            token += kHex[c & 0xF];
        }
    }
    return token;
}

std::optional<std::string> BusKeyText(std::string_view token) {
    if (token == "=") return std::string();
    if (token.empty()) return std::nullopt;
    std::string text;
    for (std::size_t i = 0; i < token.size(); ++i) {
        const auto c = static_cast<unsigned char>(token[i]);
        if (Plain(c)) {
            text += token[i];
            continue;
        }
        if (c != '=' || i + 2 >= token.size()) return std::nullopt;
        const int high = HexValue(token[i + 1]);
        const int low = HexValue(token[i + 2]);
        if (high < 0 || low < 0) return std::nullopt;
        text += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return text;
}

std::string BusInstrumentKey(std::string_view exchange, std::string_view scrip) {
    const platform::InstrumentName name = platform::CanonicalInstrument(exchange, scrip);
    if (name.exchange.empty()) return {};
    return BusKeyToken(name.exchange) + "." + BusKeyToken(name.scrip);
}

}  // namespace corvane::bus
