// The local UNO runtime through which the library reaches the office.
#pragma once

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <string>

namespace corvane::office {

// The program folder of the office installation found when the library was built, and
// its soffice: the office started when the host names none.
std::string BuiltOfficeProgramDir();
std::string BuiltOfficeProgram();

// Bootstraps a local component context from the office installation that
// `officePath` leads to (symbolic links followed), or from the installation found
// when the library was built when it leads to none. Empty when neither holds one.
// Touches no environment variable.
css::uno::Reference<css::uno::XComponentContext> BootstrapLocalRuntime(const char* officePath);

// Disposes the remote bridges of `runtime` and the runtime itself, then clears it.
// Never throws; does nothing for an empty reference.
void ShutDownLocalRuntime(css::uno::Reference<css::uno::XComponentContext>& runtime) noexcept;

}  // namespace corvane::office
