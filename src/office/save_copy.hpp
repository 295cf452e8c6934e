// Storing a copy of the loaded workbook in a file.
#pragma once

#include <string>
#include <string_view>

#include "core/error.hpp"
#include "office/session.hpp"

namespace corvane::office {

// Whether `text` ends with the lower-case `suffix`, whatever the letter case of `text`.
bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix);

// The office's export filter for the format that `path`'s extension names (any letter
// case), or null for an extension the library does not store.
const char* ExportFilterFor(std::string_view path);

// Stores a copy of the session's workbook at `path` (a relative path is taken against
// the current directory; an existing file is replaced) in the format its extension
// names; the open document is not changed. Ok, Argument for an unknown extension,
// NotConnected, or Save. Office exceptions other than a refused write pass to the caller.
Error SaveCopy(Session& session, const char* path);

}  // namespace corvane::office
