// Office profiles (user installations): which one a running office uses, and throw-away
// ones that no office uses any more.
#pragma once

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <chrono>
#include <string>

namespace corvane::office {

// The profile folder's file URL of the office whose component context is `office`
// (its "$(user)" path without the trailing "/user"), or "" when it does not tell.
// Office exceptions pass to the caller.
std::string OfficeProfileUrl(const css::uno::Reference<css::uno::XComponentContext>& office);

// Whether two file URLs of folders name the same folder, spelling aside (a trailing
// slash, escaped or unescaped characters).
bool SameFolderUrl(const std::string& a, const std::string& b);

// Removes the folders named `prefix` followed by anything in `directory` that are older
// than `age` and that no office provably uses (see ProfileInUse). Returns how many.
int RemoveUnusedProfiles(const std::string& directory, const std::string& prefix,
                         std::chrono::seconds age);

}  // namespace corvane::office
