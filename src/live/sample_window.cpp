#include "live/sample_window.hpp"

#include <algorithm>

namespace corvane::live {

void SampleWindow::Add(double milliseconds) {
    if (samples_.size() < capacity_) {
        samples_.push_back(milliseconds);
        return;
    }
    samples_[next_] = milliseconds;
    next_ = (next_ + 1) % capacity_;
}

Percentiles SampleWindow::Summary() const {
    Percentiles summary;
    summary.samples = samples_.size();
    if (samples_.empty()) return summary;
    std::vector<double> sorted(samples_);
    std::sort(sorted.begin(), sorted.end());
    const auto at = [&](double share) {
        return sorted[static_cast<std::size_t>(share * static_cast<double>(sorted.size() - 1))];
    };
    summary.p50 = at(0.50);
    summary.p99 = at(0.99);
    summary.max = sorted.back();
    return summary;
}

}  // namespace corvane::live
