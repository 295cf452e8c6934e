// The command line of corvane-publish.
#pragma once

#include <string>
#include <vector>

#include "bus/bus_settings.hpp"

namespace corvane::publish {

struct PublishOptions {
    std::string input;  // "" or "-": standard input
    bus::BusSettings bus;
    std::string prefix = "md";
    std::string bucket;  // "" for none
    bool quiet = false;
    bool help = false;
};

// Reads the arguments after the program name. Returns "" and fills `options`, or the
// reason the command line is wrong.
std::string ParseOptions(const std::vector<std::string>& args, PublishOptions& options);

// The text of --help.
std::string HelpText();

}  // namespace corvane::publish
