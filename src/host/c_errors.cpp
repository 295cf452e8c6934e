#include "host/c_errors.hpp"

#include <com/sun/star/uno/Exception.hpp>
#include <cppuhelper/exc_hlp.hxx>

#include <stdexcept>

#include "office/host_text.hpp"

namespace corvane::c_api {
namespace {

// The library's error codes are the C API's.
constexpr bool Same(ErrorCode code, int value) { return static_cast<int>(code) == value; }
static_assert(Same(ErrorCode::Ok, CORVANE_OK) && Same(ErrorCode::Argument, CORVANE_E_ARGUMENT) &&
              Same(ErrorCode::NotConnected, CORVANE_E_NOT_CONNECTED) &&
              Same(ErrorCode::Connect, CORVANE_E_CONNECT) &&
              Same(ErrorCode::NoSheet, CORVANE_E_NO_SHEET) &&
              Same(ErrorCode::Office, CORVANE_E_OFFICE) && Same(ErrorCode::Save, CORVANE_E_SAVE) &&
              Same(ErrorCode::Internal, CORVANE_E_INTERNAL) &&
              Same(ErrorCode::Load, CORVANE_E_LOAD) &&
              Same(ErrorCode::Timeout, CORVANE_E_TIMEOUT) &&
              Same(ErrorCode::Exists, CORVANE_E_EXISTS) && Same(ErrorCode::Full, CORVANE_E_FULL) &&
              Same(ErrorCode::Refused, CORVANE_E_REFUSED));

// Kept per thread, so that a thread reads its own failure whatever others do.
thread_local std::string lastError;
thread_local int lastCode = CORVANE_OK;

// Fallback when even the description cannot be stored.
constexpr char kOutOfMemory[] = "out of memory";
thread_local bool lastErrorLost = false;

void Store(const std::string& text) noexcept {
    try {
        lastError = text;
        lastErrorLost = false;
    } catch (...) {
        lastErrorLost = true;
    }
}

std::string DescribeUnoException(const css::uno::Exception& e) {
    const rtl::OUString type = cppu::getCaughtException().getValueTypeName();
    std::string text = office::ToUtf8(type);
    const std::string message = office::ToUtf8(e.Message);
    if (!message.empty()) text += ": " + message;
    return text;
}

}  // namespace

const char* LastError() noexcept { return lastErrorLost ? kOutOfMemory : lastError.c_str(); }

int LastErrorCode() noexcept { return lastCode; }

int Fail(int code, const std::string& text) noexcept {
    Store(text);
    lastCode = code;
    return code;
}

int Report(const Error& error) noexcept {
    return error.ok() ? CORVANE_OK : Fail(error.value(), error.message());
}

int FailFromCurrentException(int officeCode) noexcept {
    // Describing the failure may itself run out of memory: that must not escape either.
    try {
        try {
            throw;
        } catch (const css::uno::Exception& e) {
            return Fail(officeCode, DescribeUnoException(e));
        } catch (const std::length_error& e) {
            // A text too long for the library's strings.
            return Fail(CORVANE_E_ARGUMENT, e.what());
        } catch (const std::bad_alloc&) {
            return Fail(CORVANE_E_INTERNAL, kOutOfMemory);
        } catch (const std::exception& e) {
            return Fail(CORVANE_E_INTERNAL, std::string("internal error: ") + e.what());
        } catch (...) {
            return Fail(CORVANE_E_INTERNAL, "internal error: unknown exception");
        }
    } catch (...) {
        lastErrorLost = true;
        lastCode = CORVANE_E_INTERNAL;
        return CORVANE_E_INTERNAL;
    }
}

}  // namespace corvane::c_api
