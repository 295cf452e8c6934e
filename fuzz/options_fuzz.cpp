// The feed's command line: whatever it is given, what it accepts is in bounds.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.hpp"
#include "options.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 1000) return 0;
    // Arguments separated by NUL bytes, as the kernel hands them over.
    std::vector<std::string> args;
    std::string current;
    for (std::size_t k = 0; k < size; ++k) {
        if (data[k] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[k]);
        }
    }
    args.push_back(current);
    if (args.size() > 24) return 0;

    corvane::feed::FeedOptions options;
    const corvane::Error error = corvane::feed::ParseOptions(args, "/usr/bin/soffice", options);
    if (!error.ok()) FUZZ_CHECK(error == corvane::ErrorCode::Argument && !error.message().empty());
    if (!error.ok() || options.help) return 0;
    FUZZ_CHECK(!options.workbook.empty());
    FUZZ_CHECK(options.feed.sheetPerExchange || !options.feed.sheet.empty());
    FUZZ_CHECK(options.feed.firstRow >= (options.feed.titles ? 1 : 0));
    FUZZ_CHECK(options.feed.firstRow <= 1048575);
    FUZZ_CHECK(options.waitSeconds > 0 && options.waitSeconds <= 86400);
    FUZZ_CHECK(options.interval.count() >= 0 && options.interval.count() <= 86400000);
    FUZZ_CHECK(!options.office.empty());
    return 0;
}
