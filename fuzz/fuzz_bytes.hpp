// A fuzz target's input, read a byte at a time; zeros once it is used up.
#pragma once

#include <cstddef>
#include <cstdint>

class FuzzBytes {
  public:
    FuzzBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Next() {
        if (size_ == 0) return 0;
        --size_;
        return *data_++;
    }
    bool More() const { return size_ > 0; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};
