// One run of corvane-publish: reads the input's lines, checks each as corvane-feed does,
// and publishes the sound ones.
#pragma once

#include <cstdint>
#include <string>

#include "publish_options.hpp"

namespace corvane::publish {

inline constexpr int kExitOk = 0;
inline constexpr int kExitMalformed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnreachable = 5;
inline constexpr int kExitRefused = 6;

// Runs the whole publication; reports (line failures, the summary, a fatal error) go to
// standard error. Returns the exit status.
int RunPublish(const PublishOptions& options);

}  // namespace corvane::publish
