// Splitting of a Windows-style command line into program arguments.
#pragma once

#include <string>
#include <vector>

namespace corvane::platform {

// Splits `commandLine` the way the Microsoft C runtime builds argv: blanks and tabs
// separate arguments, double quotes group, 2n backslashes before a quote give n
// backslashes and toggle quoting, 2n+1 give n backslashes and a literal quote, two
// quotes inside a quoted stretch give a literal quote, and other backslashes are
// literal. The first token (the program name) ends at the closing quote or the first
// blank, with no backslash rules, as the runtime reads it; as in the other arguments,
// two quotes inside its quoted stretch give a literal quote, which a Linux path may hold.
std::vector<std::string> SplitCommandLine(const char* commandLine);

// `program` as the first token of a command line: in double quotes, a quote inside it
// doubled, so that SplitCommandLine gives back exactly `program`.
std::string QuoteProgramName(const std::string& program);

}  // namespace corvane::platform
