// corvane-publish: publishes a market watch from CSV to a NATS server.
#include <cstdio>
#include <string>
#include <vector>

#include "publish_options.hpp"
#include "publish_run.hpp"

int main(int argc, char** argv) {
    using namespace corvane::publish;
    const std::vector<std::string> args(argv + 1, argv + argc);
    PublishOptions options;
    if (const corvane::Error error = ParseOptions(args, options); !error.ok()) {
        std::fprintf(stderr, "corvane-publish: %s\n(--help lists the options)\n",
                     error.message().c_str());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }
    return RunPublish(options);
}
