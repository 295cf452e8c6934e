// Conversions between the host's narrow text and UNO strings.
#pragma once

#include <rtl/ustring.hxx>

#include <string>

namespace corvane::office {

// Host text is UTF-8. Valid UTF-8 becomes the same characters; any other byte
// sequence becomes one character per byte (Latin-1). Never fails.
rtl::OUString FromHostText(const char* text, sal_Int32 length);
rtl::OUString FromHostText(const char* text);

// UTF-8 bytes of a UNO string, for messages.
std::string ToUtf8(const rtl::OUString& text);

}  // namespace corvane::office
