// The library's one way of telling how an operation ended: a code and, on failure, what
// happened in words. The codes are the C API's result codes, so an error is made once,
// where the failure is found, and reaches the C, C++ and Python callers as it is.
#pragma once

#include <string>
#include <utility>

namespace corvane {

// The values are those of the CORVANE_E_* result codes of corvane.h.
enum class ErrorCode : int {
    Ok = 0,
    Argument = -1,      // a required argument is missing, empty or out of range
    NotConnected = -2,  // no workbook is loaded, or the table is closed
    Connect = -3,       // no office (or bus server) answered, or it went away
    NoSheet = -4,       // the workbook has no sheet of that name
    Office = -5,        // the office raised an error or refused a value
    Save = -6,          // a copy could not be stored
    Internal = -7,      // anything else (out of memory, ...)
    Load = -8,          // the office answered but the workbook did not load
    Timeout = -9,       // no answer within the deadline
    Exists = -10,       // the file to create exists already
    Full = -11,         // a new instrument's row would lie past the sheet's last row
    Refused = -12,      // the bus server refused the client, a subject or a bucket
};

class Error {
  public:
    // Success.
    Error() = default;
    Error(ErrorCode code, std::string message) : code_(code), message_(std::move(message)) {}

    bool ok() const { return code_ == ErrorCode::Ok; }
    ErrorCode code() const { return code_; }
    // The C API's result code.
    int value() const { return static_cast<int>(code_); }
    const std::string& message() const { return message_; }

    bool operator==(ErrorCode code) const { return code_ == code; }
    bool operator!=(ErrorCode code) const { return code_ != code; }

  private:
    ErrorCode code_ = ErrorCode::Ok;
    std::string message_;
};

}  // namespace corvane
