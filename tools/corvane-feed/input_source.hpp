// The feed's input: a file or standard input, read as it arrives; a stop request ends
// a wait for more.
#pragma once

#include <string>

#include "core/error.hpp"
#include "feed_loop.hpp"
#include "stop_signals.hpp"

namespace corvane::feed {

class InputSource : public ByteSource {
  public:
    explicit InputSource(const StopSignals& stop) : stop_(stop) {}
    ~InputSource() override;
    InputSource(const InputSource&) = delete;
    InputSource& operator=(const InputSource&) = delete;

    // Opens `path`, or takes standard input for "" and "-". Argument, saying why, for a
    // file that cannot be read.
    corvane::Error Open(const std::string& path);

    Status Read(std::string& chunk) override;
    std::string Error() const override { return error_; }
    bool StopRequested() const override { return stop_.Requested(); }

  private:
    const StopSignals& stop_;
    int fd_ = -1;
    bool owned_ = false;
    std::string error_;
};

}  // namespace corvane::feed
