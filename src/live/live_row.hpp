// The 42 fields of one instrument's tick as the live table keeps them: one buffer of
// NUL-terminated texts, so that a tick is copied with one allocation at most (none when
// the buffer already has room) and each field can be handed on as a C string.
#pragma once

#include <corvane/corvane.hpp>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::live {

class LiveRow {
  public:
    // Replaces the row by fields[0] to fields[kColumnCount - 1].
    void Assign(const std::string_view* fields);

    // Field k (0 to kColumnCount - 1), NUL-terminated; "" for an empty field and for a
    // row that was never assigned.
    const char* Field(int k) const {
        return text_.empty() ? "" : text_.data() + (k == 0 ? 0 : ends_[k - 1]);
    }
    std::string_view View(int k) const {
        if (text_.empty()) return {};
        const std::uint32_t start = k == 0 ? 0 : ends_[k - 1];
        return {text_.data() + start, ends_[k] - start - 1};
    }

    friend void swap(LiveRow& a, LiveRow& b) noexcept {
        a.text_.swap(b.text_);
        a.ends_.swap(b.ends_);
    }

  private:
    std::string text_;                                // every field followed by a NUL
    std::array<std::uint32_t, kColumnCount> ends_{};  // one past each field's NUL
};

}  // namespace corvane::live
