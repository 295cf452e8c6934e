#include "office/change_watch.hpp"

#include <cppuhelper/implbase1.hxx>

#include <utility>

#include "office/main_thread.hpp"

namespace corvane::office {
namespace {

class Listener : public cppu::WeakImplHelper1<css::util::XModifyListener> {
  public:
    explicit Listener(std::shared_ptr<std::atomic<bool>> changed) : changed_(std::move(changed)) {}

    void SAL_CALL modified(const css::lang::EventObject&) override {
        if (!MainThread::InWork()) changed_->store(true);
    }
    void SAL_CALL disposing(const css::lang::EventObject&) override { changed_->store(true); }

  private:
    const std::shared_ptr<std::atomic<bool>> changed_;
};

}  // namespace

ChangeWatch::ChangeWatch(const css::uno::Reference<css::util::XModifyBroadcaster>& range)
    : changed_(std::make_shared<std::atomic<bool>>(true)), range_(range) {
    range_->addModifyListener(new Listener(changed_));
}

}  // namespace corvane::office
