// How an office is started on a profile of its own: its command line and the seed of a
// fresh profile. The library's live tables, the tool and the tests start their offices
// by these two functions. Needs no UNO: the tool and the tests compile it in.
#pragma once

#include <string>
#include <vector>

#include "office/office_pipe.hpp"

namespace corvane::office {

// The library's default command line for `program` when the host names none: the
// quoted program, no window, and UNO connections accepted on the pipe.
std::string DefaultOfficeCommandLine(const std::string& program);

// The file URL of the absolute path `path`: every byte but letters, digits and "/-._~"
// percent-encoded.
std::string PathFileUrl(const std::string& path);

// The arguments (program excluded) of an office that runs headless, or `invisible`
// (on the display, with no window), on the profile folder `profileDir`, does not
// restore documents or show its logo, and accepts UNO connections on `pipe`.
std::vector<std::string> ProfileOfficeArguments(const std::string& profileDir, bool invisible,
                                                const std::string& pipe = kOfficePipe);

// The same as one command line, `program` first in double quotes, as
// platform::SplitCommandLine splits it again.
std::string ProfileOfficeCommandLine(const std::string& program, const std::string& profileDir,
                                     bool invisible, const std::string& pipe = kOfficePipe);

// Writes the seed of a fresh profile (data/office-profile.xcu: it spares the office its
// first-start work and dialogs) into `profileDir`, unless the profile has its settings
// already. Returns false when they could not be written.
bool SeedProfile(const std::string& profileDir);

}  // namespace corvane::office
