// Corvane: mirrors a market watch into a spreadsheet open in a running office suite.
//
// The host loads libcorvane.so and calls the exports below from one thread at a time.
// Arguments passed by value belong to the library for the call; a record pointer is
// only borrowed for the call.
#pragma once

#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#if defined(CORVANE_BUILDING_LIBRARY)
#define CORVANE_API __attribute__((visibility("default")))
#else
#define CORVANE_API
#endif

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

extern "C" {

// Stores the configuration {office executable, office command line, workbook path}
// (further elements are ignored), starts the office unless one still answers, connects
// over the pipe "ooo_pipe" and loads the workbook. Returns the workbook's sheet count
// (recorded by the first successful connection), or -1 when the connection failed.
// A newly started office usually needs a second call once it accepts connections.
CORVANE_API short CorvaneInitFunc(std::vector<corvane::CString> config);

// 1 while the office still serves the loaded workbook, otherwise 0. Never throws.
CORVANE_API int CorvaneIsRunning();

// Row operations on the named sheet; `row` is zero-based (row 0 is the sheet's row 1).
// Each returns 1 once the sheet was found and the row written, -1 for an empty name, an
// unknown sheet or no connection. An office error while the row is written (a row
// outside the sheet, an office that went away) reaches the caller as the UNO exception.
CORVANE_API short CorvaneSetHeaderString(corvane::CString sheet, int row);
CORVANE_API short CorvaneInsertUpdate(corvane::CString sheet, int row,
                                      corvane::MarketWatchRecord* record);
CORVANE_API short CorvaneResetRecord(corvane::CString sheet, int row);

// Writes records[i] into zero-based row firstRow + i of the named sheet, for i from 0 to
// count - 1, with the conversions of CorvaneInsertUpdate, in one write per block of up
// to 1000 rows and with one sheet lookup per call. A NULL records[i] leaves that row
// exactly as it is; the other rows keep their places. Returns 1 once the sheet was
// found and the rows written (count 0: the sheet is looked up, nothing is written), and
// -1 for an empty name, an unknown sheet or no connection, and, without any office
// call, for a negative count or a NULL array with count > 0. An office error reaches
// the caller as the UNO exception, as for CorvaneInsertUpdate; when a row to be written
// lies outside the sheet, nothing is written. The records are only borrowed.
CORVANE_API short CorvaneInsertUpdateRows(corvane::CString sheet, int firstRow,
                                          const corvane::MarketWatchRecord* const* records,
                                          int count);

// Fast writes (off by default): non-zero turns the loaded workbook's undo recording and
// automatic row-height adjustment off, and keeps them off in any workbook loaded later,
// so that every write costs roughly a quarter to a third less. The price: the user cannot
// undo the library's writes, turning it on clears the workbook's undo history, and a
// record row written meanwhile keeps its height even when a text holds a line feed
// (title rows still get their full height). Zero turns back on what the library
// turned off. Office errors are not reported; writes then go on as without. Never
// throws.
CORVANE_API void CorvaneSetFastWrites(int enabled);

// The deadline for every call into the office, in milliseconds; 0 (the default) waits as
// long as the office takes. With a deadline, an export whose office call is not answered
// in time drops the connection: the row operations then raise the UNO exception
// com::sun::star::lang::DisposedException, CorvaneInitFunc returns -1,
// CorvaneIsRunning returns 0, and the next CorvaneInitFunc connects anew. The probe
// waits 10 seconds at most when no deadline is set.
CORVANE_API void CorvaneSetCallTimeout(int milliseconds);

// Where configuration warnings go ("OpenOffice Configuration Missing!" and the missing
// workbook). By default each is one line on standard error; a handler replaces that,
// and a null handler restores it. The library waits for the handler to return.
CORVANE_API void CorvaneSetWarningHandler(void (*handler)(const char* text, void* user),
                                          void* user);

}  // extern "C"
