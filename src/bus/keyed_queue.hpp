// A queue that holds at most one value per key: a newer value replaces the queued one in
// its place, so a reader or a sender that falls behind gets each key's newest value once
// instead of a backlog. Not locked: its owner guards it.
#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace corvane::bus {

class KeyedQueue {
  public:
    enum class Put { Added, Replaced, Dropped };

    // `bound`: most keys held; a value of a further key is dropped. 0: no bound.
    explicit KeyedQueue(std::size_t bound = 0) : bound_(bound) {}

    Put Push(const std::string& key, std::string value);
    // Puts back a value taken earlier that could not be handled, unless a newer value of
    // its key has come meanwhile. Ignores the bound: the value was held before.
    void PutBack(const std::string& key, std::string value);
    // Moves up to `most` of the oldest entries (0: all) into `out`, in queue order.
    void Take(std::vector<std::pair<std::string, std::string>>& out, std::size_t most = 0);

    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

  private:
    using Entry = std::pair<std::string, std::string>;
    std::size_t bound_;
    std::list<Entry> entries_;
    std::unordered_map<std::string, std::list<Entry>::iterator> index_;
};

}  // namespace corvane::bus
