#include "platform/warning_sink.hpp"

#include <cstdio>

namespace corvane::platform {

void WarningSink::Show(const char* text) const {
    if (handler_ != nullptr) {
        handler_(text, user_);
        return;
    }
    std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
}

}  // namespace corvane::platform
