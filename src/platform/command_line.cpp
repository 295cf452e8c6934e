#include "platform/command_line.hpp"

namespace corvane::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Reads the program name: a quoted stretch taken literally (a doubled quote in it is
// one literal quote), or text up to a blank.
const char* ReadProgramName(const char* p, std::string& out) {
    bool quoted = false;
    for (; *p != '\0'; ++p) {
        if (*p == '"' && quoted && p[1] == '"') {
            out += '"';
            ++p;
        } else if (*p == '"') {
            quoted = !quoted;
        } else if (IsBlank(*p) && !quoted) {
            break;
        } else {
            out += *p;
        }
    }
    return p;
}

// Reads one ordinary argument starting at a non-blank character.
const char* ReadArgument(const char* p, std::string& out) {
    bool quoted = false;
    while (*p != '\0' && (quoted || !IsBlank(*p))) {
        if (*p == '\\') {
            std::size_t slashes = 0;
            while (*p == '\\') {
                ++slashes;
                ++p;
            }
            if (*p == '"') {
                out.append(slashes / 2, '\\');
                if (slashes % 2 == 1) {
                    out += '"';
                    ++p;
                }
                // An even count leaves the quote to toggle quoting below.
            } else {
                out.append(slashes, '\\');
            }
            continue;
        }
        if (*p == '"') {
            if (quoted && p[1] == '"') {
                out += '"';
                p += 2;
                continue;
            }
            quoted = !quoted;
            ++p;
            continue;
        }
        out += *p++;
    }
    return p;
}

}  // namespace

std::string QuoteProgramName(const std::string& program) {
    std::string quoted = "\"";
    for (char c : program) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::vector<std::string> SplitCommandLine(const char* commandLine) {
    std::vector<std::string> args;
    if (commandLine == nullptr) return args;
    const char* p = commandLine;
    while (IsBlank(*p)) ++p;
    if (*p == '\0') return args;
    args.emplace_back();
    p = ReadProgramName(p, args.back());
    for (;;) {
        while (IsBlank(*p)) ++p;
        if (*p == '\0') break;
        args.emplace_back();
        p = ReadArgument(p, args.back());
    }
    return args;
}

}  // namespace corvane::platform
