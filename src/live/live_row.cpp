#include "live/live_row.hpp"

namespace corvane::live {

void LiveRow::Assign(const std::string_view* fields) {
    std::size_t size = 0;
    for (int k = 0; k < kColumnCount; ++k) size += fields[k].size() + 1;
    text_.clear();
    text_.reserve(size);
    for (int k = 0; k < kColumnCount; ++k) {
        text_.append(fields[k]);
        text_.push_back('\0');
        ends_[k] = static_cast<std::uint32_t>(text_.size());
    }
}

}  // namespace corvane::live
