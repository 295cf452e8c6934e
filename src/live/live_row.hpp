// The 42 fields of one instrument's tick as the live table keeps them: one buffer that
// holds where each field ends, then every field as a NUL-terminated text. A tick is
// copied with one allocation, moved between the host's side and the writer's by
// swapping one pointer, and each field can be handed on as a C string.
#pragma once

#include "corvane/market_watch_record.hpp"

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

namespace corvane::live {

class LiveRow {
  public:
    // Replaces the row by fields[0] to fields[kColumnCount - 1], taken now.
    void Assign(const std::string_view* fields);

    // When the row was last assigned (the epoch for a row never assigned).
    std::chrono::system_clock::time_point Taken() const { return taken_; }

    // Field k (0 to kColumnCount - 1), NUL-terminated; "" for an empty field and for a
    // row that was never assigned.
    const char* Field(int k) const { return data_.empty() ? "" : data_.data() + Start(k); }
    std::string_view View(int k) const {
        if (data_.empty()) return {};
        return {data_.data() + Start(k), End(k) - Start(k) - 1};
    }

    friend void swap(LiveRow& a, LiveRow& b) noexcept {
        a.data_.swap(b.data_);
        std::swap(a.taken_, b.taken_);
    }

  private:
    static constexpr std::size_t kHeader = sizeof(std::uint32_t) * kColumnCount;

    // One past field k's NUL, from the start of the buffer.
    std::uint32_t End(int k) const {
        std::uint32_t end;
        std::memcpy(&end, data_.data() + sizeof(end) * k, sizeof(end));
        return end;
    }
    std::uint32_t Start(int k) const { return k == 0 ? kHeader : End(k - 1); }

    std::string data_;  // empty, or kHeader bytes of field ends and then the fields
    std::chrono::system_clock::time_point taken_;
};

}  // namespace corvane::live
