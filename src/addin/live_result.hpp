// One live value as Calc holds it: the result of a LIVE call, shared by every cell that
// shows the same field of the same instrument. Calc listens to it and is told each new
// value; until it has one, the value is void and the cells show #N/A.
#pragma once

#include <com/sun/star/sheet/XResultListener.hpp>
#include <com/sun/star/sheet/XVolatileResult.hpp>
#include <cppuhelper/implbase1.hxx>

#include <cstddef>
#include <utility>
#include <vector>

#include "platform/thread_safety.hpp"

namespace corvane::addin {

class LiveResult : public cppu::WeakImplHelper1<css::sheet::XVolatileResult> {
  public:
    // With the value known when Calc first asks (void: none yet).
    explicit LiveResult(css::uno::Any value = {}) : value_(std::move(value)) {}

    // Calc's: a listener is told the value at once when there is one.
    void SAL_CALL
    addResultListener(const css::uno::Reference<css::sheet::XResultListener>& listener) override;
    void SAL_CALL
    removeResultListener(const css::uno::Reference<css::sheet::XResultListener>& listener) override;

    // From any thread: `value` is the newest. True when the listeners are to be told and
    // were not due to be already (so that the caller queues the result once).
    bool Update(const css::uno::Any& value);
    // On the office's main thread: tells every listener the newest value. No lock is
    // held while a listener runs; a listener that fails is dropped.
    void Tell();
    std::size_t Listeners() const;

  private:
    // Tells one listener `value`; false when the listener is gone.
    bool TellOne(const css::uno::Reference<css::sheet::XResultListener>& listener,
                 const css::uno::Any& value);

    mutable platform::Mutex mu_;
    css::uno::Any value_ GUARDED_BY(mu_);
    bool due_ GUARDED_BY(mu_) = false;  // a value the listeners were not told yet
    std::vector<css::uno::Reference<css::sheet::XResultListener>> listeners_ GUARDED_BY(mu_);
};

}  // namespace corvane::addin
