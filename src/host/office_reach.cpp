#include "host/office_reach.hpp"

#include <com/sun/star/connection/NoConnectException.hpp>

#include <algorithm>

#include "core/deadline.hpp"
#include "host/session_instance.hpp"
#include "office/local_runtime.hpp"
#include "office/office_context.hpp"
#include "office/office_pipe.hpp"

namespace corvane::host {
namespace {

using css::uno::Reference;
using css::uno::XComponentContext;

constexpr double kLongestWaitSeconds = 86400;

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

Reference<XComponentContext> TryResolve(const Reference<XComponentContext>& runtime) {
    try {
        return office::ResolveOfficeContext(runtime);
    } catch (const css::connection::NoConnectException&) {
        return {};
    }
}

// The office on the pipe, under the session's call deadline: a stopped office accepts
// the connection but never completes it. Ok with `context` empty when nobody accepts,
// Timeout when the deadline passed.
Error ResolveWithinDeadline(office::Session& link, const std::string& function,
                            Reference<XComponentContext>& context) {
    office::CallDeadline deadline(link);
    try {
        context = TryResolve(link.Runtime());
    } catch (...) {
        if (deadline.TimedOut()) return OfficeTimedOut(link, function);
        throw;
    }
    if (deadline.TimedOut()) {
        context.clear();
        return OfficeTimedOut(link, function);
    }
    return {};
}

}  // namespace

Error OfficeTimedOut(const office::Session& link, const std::string& function) {
    return {ErrorCode::Timeout, function + ": the office did not answer within " +
                                    std::to_string(link.Config().callTimeout.Length().count()) +
                                    " ms; the connection was dropped"};
}

Error ReachOfficeContext(const office::OfficeLaunch* launch, double waitSeconds,
                         const std::string& function, Reference<XComponentContext>& context) {
    office::Session& link = TheSession();
    const std::string program =
        launch != nullptr && !launch->program.empty() ? launch->program : link.Config().officePath;
    if (!link.StartRuntime(program))
        return {ErrorCode::Connect, "no office installation found to connect through"};
    Error timedOut;
    const Error reached = TheOffices().Acquire(
        DeadlineAfterSeconds(std::min(waitSeconds, kLongestWaitSeconds)),
        [&]() -> Error {
            timedOut = ResolveWithinDeadline(link, function, context);
            if (!timedOut.ok()) return timedOut;
            if (context.is()) return {};
            return {ErrorCode::Connect, "nobody accepts on the pipe"};
        },
        launch);
    if (reached.ok()) {
        link.Observer().BridgeUp();
        return {};
    }
    if (!timedOut.ok()) return timedOut;
    if (launch == nullptr)
        return {ErrorCode::Connect, "no office accepts connections on the pipe \"" +
                                        std::string(office::kOfficePipe) + "\""};
    if (reached == ErrorCode::Office)
        return {ErrorCode::Connect,
                "no office accepts connections on the pipe \"" + std::string(office::kOfficePipe) +
                    "\", and there is no office program at " + Quoted(program) + " to start"};
    const std::string how = launch->commandLine.empty() ? "headless on a profile of its own"
                                                        : "with " + launch->commandLine;
    return {ErrorCode::Timeout, "the office started " + how +
                                    " did not accept connections on the pipe \"" +
                                    office::kOfficePipe + "\" in time"};
}

}  // namespace corvane::host
