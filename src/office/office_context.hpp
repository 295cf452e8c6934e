// Reaching the office on the pipe for work that needs no loaded workbook.
#pragma once

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

namespace corvane::office {

// The component context of the office that accepts on the pipe "ooo_pipe", reached
// through the local runtime `local`. Throws the connector's exception
// (css::connection::NoConnectException) when nothing accepts, and
// css::uno::RuntimeException when the office does not hand out its context.
css::uno::Reference<css::uno::XComponentContext> ResolveOfficeContext(
    const css::uno::Reference<css::uno::XComponentContext>& local);

}  // namespace corvane::office
