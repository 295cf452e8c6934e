// Reaching an office for work that needs no loaded workbook (creating one, or only
// making sure an office accepts): the office on the pipe, or one the session's provider
// starts and waits for.
#pragma once

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <string>

#include "core/error.hpp"
#include "office/office_provider.hpp"
#include "office/session.hpp"

namespace corvane::host {

// The error of a call the session's deadline cut off, told as `function`'s.
Error OfficeTimedOut(const office::Session& session, const std::string& function);

// The component context of the office on the pipe, else of one started with `launch`
// (null: none is started) and waited for up to `waitSeconds` (at most a day). Connect
// when the office cannot be started or none came, Timeout when the one started did not
// accept in time or a call ran past the session's deadline.
Error ReachOfficeContext(const office::OfficeLaunch* launch, double waitSeconds,
                         const std::string& function,
                         css::uno::Reference<css::uno::XComponentContext>& context);

}  // namespace corvane::host
