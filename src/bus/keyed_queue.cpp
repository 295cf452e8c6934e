#include "bus/keyed_queue.hpp"

namespace corvane::bus {

KeyedQueue::Put KeyedQueue::Push(const std::string& key, std::string value) {
    const auto found = index_.find(key);
    if (found != index_.end()) {
        found->second->second = std::move(value);
        return Put::Replaced;
    }
    if (bound_ != 0 && entries_.size() >= bound_) return Put::Dropped;
    entries_.emplace_back(key, std::move(value));
    index_.emplace(key, std::prev(entries_.end()));
    return Put::Added;
}

void KeyedQueue::PutBack(const std::string& key, std::string value) {
    if (index_.count(key) != 0) return;
    entries_.emplace_front(key, std::move(value));
    index_.emplace(key, entries_.begin());
}

void KeyedQueue::Take(std::vector<Entry>& out, std::size_t most) {
    std::size_t taken = 0;
    while (!entries_.empty() && (most == 0 || taken < most)) {
        index_.erase(entries_.front().first);
        out.push_back(std::move(entries_.front()));
        entries_.pop_front();
        ++taken;
    }
}

}  // namespace corvane::bus
