#include "office/main_thread.hpp"

#include <com/sun/star/awt/AsyncCallback.hpp>
#include <com/sun/star/awt/XCallback.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <cppuhelper/exc_hlp.hxx>
#include <cppuhelper/implbase1.hxx>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

#include "office/host_text.hpp"

namespace corvane::office {

// One Run's hand-over between the thread that waits and the thread the office calls.
struct MainThread::Handover {
    std::mutex mu;
    std::condition_variable done;
    std::function<Error()> work;  // emptied by whichever side takes it first
    bool finished = false;
    bool cancelled = false;
    Error result;
};

namespace {

Error RunCatching(const std::function<Error()>& work) {
    try {
        return work();
    } catch (const css::lang::DisposedException& e) {
        return {ErrorCode::Connect, "the office went away: " + ToUtf8(e.Message)};
    } catch (const css::uno::Exception& e) {
        return {ErrorCode::Office, DescribeCaught(e)};
    } catch (const std::exception& e) {
        return {ErrorCode::Internal, e.what()};
    } catch (...) {
        return {ErrorCode::Internal, "the office work failed"};
    }
}

// Called by the office on its main thread, over the connection, on a thread of this
// process that the office's calls made from there come back to.
class Trampoline : public cppu::WeakImplHelper1<css::awt::XCallback> {
  public:
    using Handover = MainThread::Handover;
    explicit Trampoline(std::shared_ptr<Handover> handover) : handover_(std::move(handover)) {}

    void SAL_CALL notify(const css::uno::Any&) override {
        std::function<Error()> work;
        {
            std::lock_guard<std::mutex> lock(handover_->mu);
            work = std::move(handover_->work);
            handover_->work = nullptr;
        }
        if (!work) return;  // the waiter gave up before the office came to it
        Error result = RunCatching(work);
        std::lock_guard<std::mutex> lock(handover_->mu);
        handover_->result = std::move(result);
        handover_->finished = true;
        handover_->done.notify_all();
    }

  private:
    const std::shared_ptr<Handover> handover_;
};

}  // namespace

std::string DescribeCaught(const css::uno::Exception& e) {
    const std::string type = ToUtf8(cppu::getCaughtException().getValueTypeName());
    const std::string message = ToUtf8(e.Message);
    return message.empty() ? type : type + ": " + message;
}

MainThread::MainThread(css::uno::Reference<css::uno::XComponentContext> office)
    : office_(std::move(office)) {}

Error MainThread::Run(std::function<Error()> work, Timeout limit) {
    auto handover = std::make_shared<Handover>();
    handover->work = std::move(work);
    try {
        if (!callbacks_.is()) callbacks_ = css::awt::AsyncCallback::create(office_);
        callbacks_->addCallback(new Trampoline(handover), css::uno::Any());
    } catch (const css::lang::DisposedException& e) {
        callbacks_.clear();
        return {ErrorCode::Connect, "the office went away: " + ToUtf8(e.Message)};
    } catch (const css::uno::Exception& e) {
        callbacks_.clear();
        return {ErrorCode::Office, DescribeCaught(e)};
    }
    {
        platform::Lock waiting(waitingMu_);
        waiting_ = handover;
    }
    std::unique_lock<std::mutex> lock(handover->mu);
    const auto settled = [&] { return handover->finished || handover->cancelled; };
    if (limit.IsWithoutEnd())
        handover->done.wait(lock, settled);
    else
        handover->done.wait_for(lock, limit.Length(), settled);
    Error result;
    if (handover->work) {
        handover->work = nullptr;  // never started: it never will be
        result = {ErrorCode::Timeout, handover->cancelled
                                          ? std::string("the office work was cancelled")
                                          : "the office's main thread did not come to the "
                                            "work within " +
                                                std::to_string(limit.Length().count()) + " ms"};
    } else {
        // Started: it runs to its end, which a deadline of the caller's brings about by
        // cutting the connection off.
        handover->done.wait(lock, [&] { return handover->finished; });
        result = std::move(handover->result);
    }
    lock.unlock();
    platform::Lock waiting(waitingMu_);
    waiting_.reset();
    return result;
}

void MainThread::Cancel() {
    std::shared_ptr<Handover> handover;
    {
        platform::Lock waiting(waitingMu_);
        handover = waiting_;
    }
    if (!handover) return;
    std::lock_guard<std::mutex> lock(handover->mu);
    handover->cancelled = true;
    handover->done.notify_all();
}

}  // namespace corvane::office
