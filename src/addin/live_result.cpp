#include "addin/live_result.hpp"

#include <com/sun/star/sheet/ResultEvent.hpp>

#include <algorithm>

namespace corvane::addin {

void LiveResult::addResultListener(
    const css::uno::Reference<css::sheet::XResultListener>& listener) {
    if (!listener.is()) return;
    css::uno::Any value;
    {
        platform::Lock lock(mu_);
        listeners_.push_back(listener);
        value = value_;
    }
    if (value.hasValue()) TellOne(listener, value);
}

void LiveResult::removeResultListener(
    const css::uno::Reference<css::sheet::XResultListener>& listener) {
    platform::Lock lock(mu_);
    const auto found = std::find(listeners_.begin(), listeners_.end(), listener);
    if (found != listeners_.end()) listeners_.erase(found);
}

bool LiveResult::Update(const css::uno::Any& value) {
    platform::Lock lock(mu_);
    if (value_ == value) return false;
    value_ = value;
    if (due_) return false;
    due_ = true;
    return true;
}

void LiveResult::Tell() {
    css::uno::Any value;
    std::vector<css::uno::Reference<css::sheet::XResultListener>> listeners;
    {
        platform::Lock lock(mu_);
        due_ = false;
        value = value_;
        listeners = listeners_;
    }
    for (const auto& listener : listeners)
        if (!TellOne(listener, value)) removeResultListener(listener);
}

std::size_t LiveResult::Listeners() const {
    platform::Lock lock(mu_);
    return listeners_.size();
}

bool LiveResult::TellOne(const css::uno::Reference<css::sheet::XResultListener>& listener,
                         const css::uno::Any& value) {
    try {
        listener->modified(css::sheet::ResultEvent(static_cast<cppu::OWeakObject*>(this), value));
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace corvane::addin
