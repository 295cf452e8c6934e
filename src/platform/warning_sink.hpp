// Where configuration warnings for the user go.
#pragma once

namespace corvane::platform {

using WarningHandler = void (*)(const char* text, void* user);

// Shows warnings to the user: through the host's handler when it installed one,
// otherwise as one line on standard error. Show returns once the handler has.
class WarningSink {
  public:
    void SetHandler(WarningHandler handler, void* user) noexcept {
        handler_ = handler;
        user_ = user;
    }
    void Show(const char* text) const;

  private:
    WarningHandler handler_ = nullptr;
    void* user_ = nullptr;
};

}  // namespace corvane::platform
