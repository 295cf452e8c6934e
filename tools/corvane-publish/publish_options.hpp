// The command line of corvane-publish.
#pragma once

#include <string>
#include <vector>

#include "bus/bus_settings.hpp"
#include "core/error.hpp"

namespace corvane::publish {

struct PublishOptions {
    std::string input;  // "" or "-": standard input
    bus::BusSettings bus;
    std::string prefix = "md";
    std::string bucket;  // "" for none
    bool quiet = false;
    bool help = false;
};

// Reads the arguments after the program name and fills `options`. Argument, saying what
// is wrong, for a command line that cannot be run.
Error ParseOptions(const std::vector<std::string>& args, PublishOptions& options);

// The text of --help.
std::string HelpText();

}  // namespace corvane::publish
