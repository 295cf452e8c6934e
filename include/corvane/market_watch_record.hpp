// The host's counted string and its market-watch record: the layout the host shares
// with the library. corvane.hpp offers them to hosts, and every floor of the library
// takes them from here too.
#pragma once

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

namespace corvane {

// The counted narrow string of the host boundary. One pointer wide; copies share one
// buffer and the last holder frees it. An empty string holds no buffer at all. Its
// length is an int: a text of more than INT_MAX bytes is refused when the string is
// made (std::length_error), so GetLength always tells the whole length.
class CString {
  public:
    CString() noexcept = default;
    // Throws std::length_error for a text longer than INT_MAX bytes.
    CString(const char* text) : data_(Make(text)) {}  // NOLINT: implicit on purpose
    CString(const CString& other) noexcept : data_(other.data_) {
        if (data_ != nullptr) data_->refs.fetch_add(1, std::memory_order_relaxed);
    }
    CString(CString&& other) noexcept : data_(other.data_) { other.data_ = nullptr; }
    CString& operator=(const CString& other) noexcept {
        CString copy(other);
        Swap(copy);
        return *this;
    }
    CString& operator=(CString&& other) noexcept {
        CString taken(static_cast<CString&&>(other));
        Swap(taken);
        return *this;
    }
    ~CString() { Drop(data_); }

    // Byte count; 0 means empty. Never more than INT_MAX (see the constructor).
    int GetLength() const noexcept {
        return data_ == nullptr ? 0 : static_cast<int>(data_->length);
    }
    // NUL-terminated text; never null.
    const char* GetString() const noexcept { return data_ == nullptr ? "" : data_->text; }
    bool IsEmpty() const noexcept { return data_ == nullptr; }
    // Replaces the text by a copy of `text` (null counts as empty). Throws
    // std::length_error, and keeps the text it had, for one longer than INT_MAX bytes.
    void SetString(const char* text) {
        CString fresh(text);
        Swap(fresh);
    }

  private:
    struct Data {
        std::atomic<long> refs;
        std::size_t length;
        char text[1];
    };

    static Data* Make(const char* text) {
        const std::size_t length = text == nullptr ? 0 : std::strlen(text);
        if (length == 0) return nullptr;
        if (length > static_cast<std::size_t>(INT_MAX))
            throw std::length_error("corvane::CString: a text longer than INT_MAX bytes");
        void* raw = ::operator new(offsetof(Data, text) + length + 1);
        Data* data = static_cast<Data*>(raw);
        new (&data->refs) std::atomic<long>(1);
        data->length = length;
        std::memcpy(data->text, text, length + 1);
        return data;
    }
    static void Drop(Data* data) noexcept {
        if (data != nullptr && data->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            data->refs.~atomic();
            ::operator delete(data);
        }
    }
    void Swap(CString& other) noexcept {
        Data* held = data_;
        data_ = other.data_;
        other.data_ = held;
    }

    Data* data_ = nullptr;
};
static_assert(sizeof(CString) == sizeof(void*), "CString must be exactly one pointer wide");

// Number of market-watch columns, A to AP.
inline constexpr int kColumnCount = 42;

// The host's record of one market-watch line: field k feeds column k. The layout is
// shared with the host and must not change.
struct MarketWatchRecord {
    std::uint32_t hostWord;  // the host's own; never read by the library
    CString fields[kColumnCount];
};
static_assert(offsetof(MarketWatchRecord, hostWord) == 0, "hostWord leads the record");
static_assert(offsetof(MarketWatchRecord, fields) == sizeof(void*),
              "fields follow the host word at pointer alignment");
static_assert(sizeof(MarketWatchRecord) == sizeof(void*) * (kColumnCount + 1),
              "nothing but the host word and the 42 fields");

}  // namespace corvane
