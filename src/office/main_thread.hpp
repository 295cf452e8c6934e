// Office calls that run as one piece. The office serialises every call from every client
// and every action of the person at the keyboard behind one lock, but only call by call:
// between two calls of ours anything may happen. Work handed to the office's main thread
// runs while that thread holds the lock from start to end (the calls it makes are
// dispatched onto the same thread), so that what the work reads is still so when it
// writes.
#pragma once

#include <com/sun/star/awt/XRequestCallback.hpp>
#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "core/deadline.hpp"
#include "core/error.hpp"
#include "platform/thread_safety.hpp"

namespace corvane::office {

class MainThread {
  public:
    // The office's main thread, reached through the connection's context; nothing is
    // asked of the office until the first Run.
    explicit MainThread(css::uno::Reference<css::uno::XComponentContext> office);

    // Runs `work` on the office's main thread and returns its result: Connect when the
    // office went away, Office for an office exception the work let out. Timeout when
    // the main thread did not come to the work within `limit` (a stopped or busy office,
    // one whose main loop no longer runs) or Cancel was called first:
    // the work is then never started. Work that started runs to its end, which a
    // deadline of the caller's brings about by cutting the connection off.
    Error Run(std::function<Error()> work, Timeout limit);

    // From any thread: a Run waiting for the main thread to come to its work gives up.
    void Cancel();

    struct Handover;  // one Run's, shared with the thread the office calls

  private:
    css::uno::Reference<css::uno::XComponentContext> office_;
    css::uno::Reference<css::awt::XRequestCallback> callbacks_;
    platform::Mutex waitingMu_;
    std::shared_ptr<Handover> waiting_ GUARDED_BY(waitingMu_);  // the Run that waits now
};

// What a caught office exception says, with its type: call from inside a catch block.
std::string DescribeCaught(const css::uno::Exception& e);

}  // namespace corvane::office
