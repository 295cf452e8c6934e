// Whether someone else changed a range's cells: the office tells a listener of ours of
// every change to the range, within the call or action that made it, before anything
// else runs in the office. Changes made by work of this process on the office's main
// thread (see MainThread) are its own and are not counted.
#pragma once

#include <com/sun/star/uno/Reference.hxx>
#include <com/sun/star/util/XModifyBroadcaster.hpp>
#include <com/sun/star/util/XModifyListener.hpp>

#include <atomic>
#include <memory>

namespace corvane::office {

class ChangeWatch {
  public:
    // Watches `range` (an office cell range) from now on; throws what the office throws.
    // It counts as changed until the first Clear.
    explicit ChangeWatch(const css::uno::Reference<css::util::XModifyBroadcaster>& range);
    // Asks nothing of the office: the listener goes when the connection or the range
    // goes.
    ~ChangeWatch() = default;
    ChangeWatch(const ChangeWatch&) = delete;
    ChangeWatch& operator=(const ChangeWatch&) = delete;

    // Whether anyone else changed the range since the last Clear, or the range is gone.
    bool Changed() const { return changed_->load(); }
    void Clear() { changed_->store(false); }

  private:
    std::shared_ptr<std::atomic<bool>> changed_;
    css::uno::Reference<css::util::XModifyBroadcaster> range_;  // kept, so that it listens
};

}  // namespace corvane::office
