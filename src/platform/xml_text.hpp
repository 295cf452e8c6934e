// Text written into XML documents.
#pragma once

#include <string>
#include <string_view>

namespace corvane::platform {

// `text` escaped for an XML attribute value or element content: & < > " and ' become
// entity references, every other byte stays as it is.
std::string XmlEscaped(std::string_view text);

}  // namespace corvane::platform
