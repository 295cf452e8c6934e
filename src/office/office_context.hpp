// Reaching the office on the pipe for work that needs no loaded workbook.
#pragma once

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <chrono>

namespace corvane::office {

// The component context of the office that accepts on the pipe "ooo_pipe", reached
// through the local runtime `local`. Throws the connector's exception
// (css::connection::NoConnectException) when nothing accepts, and
// css::uno::RuntimeException when the office does not hand out its context.
css::uno::Reference<css::uno::XComponentContext> ResolveOfficeContext(
    const css::uno::Reference<css::uno::XComponentContext>& local);

// Waits, at most `longest`, until the local runtime has no bridge left: an office
// that was told to end closes its connections before its process exits.
void WaitUntilBridgesEnd(const css::uno::Reference<css::uno::XComponentContext>& local,
                         std::chrono::milliseconds longest);

}  // namespace corvane::office
