#include "live/live_row.hpp"

namespace corvane::live {

void LiveRow::Assign(const std::string_view* fields) {
    std::size_t size = kHeader;
    for (int k = 0; k < kColumnCount; ++k) size += fields[k].size() + 1;
    taken_ = std::chrono::system_clock::now();
    data_.clear();
    data_.reserve(size);
    data_.resize(kHeader);
    for (int k = 0; k < kColumnCount; ++k) {
        data_.append(fields[k]);
        data_.push_back('\0');
        const auto end = static_cast<std::uint32_t>(data_.size());
        std::memcpy(&data_[sizeof(end) * k], &end, sizeof(end));
    }
}

}  // namespace corvane::live
