// Connecting the library to an office that is still starting.
#pragma once

#include <corvane/corvane.hpp>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace corvane::test {

// Calls CorvaneInitFunc with `config` until it connects, half a second apart and at most
// `attempts` times, and returns its last result. The lines the failed attempts print
// are swallowed. Inline: it binds to whichever copy of the library the test links.
inline short InitUntilConnected(const std::vector<CString>& config, int attempts = 120) {
    short result = -1;
    for (int attempt = 0; attempt < attempts && result < 0; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(500));
        ::testing::internal::CaptureStdout();
        result = CorvaneInitFunc(config);
        ::testing::internal::GetCapturedStdout();
    }
    return result;
}

}  // namespace corvane::test
