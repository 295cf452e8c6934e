// Command-line splitting against the Microsoft C runtime's argument rules (written out
// here after the runtime's own parser), and quoting: a quoted program name and
// arguments quoted by those rules come back exactly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.hpp"
#include "platform/command_line.hpp"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<std::string> RuntimeSplit(const char* p) {
    std::vector<std::string> args;
    while (IsBlank(*p)) ++p;
    if (*p == '\0') return args;
    // The program name: quotes toggle and are dropped; inside quotes a doubled quote is
    // one literal quote (as for the other arguments; a Linux path may hold one).
    std::string name;
    bool inQuotes = false;
    for (; *p != '\0'; ++p) {
        if (*p == '"') {
            if (inQuotes && p[1] == '"') {
                name += '"';
                ++p;
            } else {
                inQuotes = !inQuotes;
            }
            continue;
        }
        if (!inQuotes && IsBlank(*p)) break;
        name += *p;
    }
    args.push_back(name);
    for (;;) {
        while (IsBlank(*p)) ++p;
        if (*p == '\0') break;
        std::string arg;
        inQuotes = false;
        for (;;) {
            bool copy = true;
            std::size_t slashes = 0;
            while (*p == '\\') {
                ++p;
                ++slashes;
            }
            if (*p == '"') {
                if (slashes % 2 == 0) {
                    if (inQuotes && p[1] == '"') {
                        ++p;  // a doubled quote inside quotes: one literal quote
                    } else {
                        copy = false;
                        inQuotes = !inQuotes;
                    }
                }
                slashes /= 2;
            }
            arg.append(slashes, '\\');
            if (*p == '\0' || (!inQuotes && IsBlank(*p))) break;
            if (copy) arg += *p;
            ++p;
        }
        args.push_back(arg);
    }
    return args;
}

// An argument as the runtime's rules read it back: in quotes, backslashes before a quote
// (and at the end) doubled, each quote escaped.
std::string QuoteArgument(const std::string& arg) {
    std::string out = "\"";
    std::size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
        slashes = 0;
        if (c == '"') {
            out += '"';
            continue;
        }
        out += c;
    }
    out.append(slashes * 2, '\\');
    return out + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 2000) return 0;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string line = text.substr(0, text.find('\0'));
    FUZZ_CHECK(corvane::platform::SplitCommandLine(line.c_str()) == RuntimeSplit(line.c_str()));

    // The pieces between line feeds, as a program name and its arguments.
    std::vector<std::string> pieces;
    std::size_t from = 0;
    for (std::size_t at; (at = line.find('\n', from)) != std::string::npos; from = at + 1)
        pieces.push_back(line.substr(from, at - from));
    pieces.push_back(line.substr(from));
    std::string joined = corvane::platform::QuoteProgramName(pieces[0]);
    for (std::size_t k = 1; k < pieces.size(); ++k) joined += " " + QuoteArgument(pieces[k]);
    FUZZ_CHECK(corvane::platform::SplitCommandLine(joined.c_str()) == pieces);
    return 0;
}
