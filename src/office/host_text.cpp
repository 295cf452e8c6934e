#include "office/host_text.hpp"

#include <rtl/textcvt.h>

#include <cstring>

namespace corvane::office {

rtl::OUString FromHostText(const char* text, sal_Int32 length) {
    if (text == nullptr || length <= 0) return rtl::OUString();
    rtl_uString* converted = nullptr;
    const bool ok = rtl_convertStringToUString(&converted, text, length, RTL_TEXTENCODING_UTF8,
                                               RTL_TEXTTOUNICODE_FLAGS_UNDEFINED_ERROR |
                                                   RTL_TEXTTOUNICODE_FLAGS_MBUNDEFINED_ERROR |
                                                   RTL_TEXTTOUNICODE_FLAGS_INVALID_ERROR);
    rtl::OUString result(converted, SAL_NO_ACQUIRE);
    if (ok) return result;
    return rtl::OUString(text, length, RTL_TEXTENCODING_ISO_8859_1);
}

rtl::OUString FromHostText(const char* text) {
    return text == nullptr ? rtl::OUString()
                           : FromHostText(text, static_cast<sal_Int32>(std::strlen(text)));
}

std::string ToUtf8(const rtl::OUString& text) {
    const rtl::OString bytes = rtl::OUStringToOString(text, RTL_TEXTENCODING_UTF8);
    return std::string(bytes.getStr(), static_cast<std::size_t>(bytes.getLength()));
}

}  // namespace corvane::office
