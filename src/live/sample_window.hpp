// The most recent samples of a duration, for percentiles over a sliding window.
#pragma once

#include <cstddef>
#include <vector>

namespace corvane::live {

struct Percentiles {
    double p50 = 0, p99 = 0, max = 0;  // milliseconds
    std::size_t samples = 0;           // how many the window held
};

class SampleWindow {
  public:
    explicit SampleWindow(std::size_t capacity) : capacity_(capacity) {}

    void Add(double milliseconds);
    Percentiles Summary() const;

  private:
    std::size_t capacity_;
    std::vector<double> samples_;
    std::size_t next_ = 0;  // the slot the next sample replaces once the window is full
};

}  // namespace corvane::live
