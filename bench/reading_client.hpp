// Another client of the office while a writer streams into it: a process of its own
// (peers/sheet_reader.py) that reads 20 rows of the sheet in one call every 20 ms and
// tells how long each reading took.
#pragma once

#include <cstdio>
#include <string>

namespace corvane::bench {

struct Readings {
    int count = 0;
    double p50 = 0, p99 = 0, max = 0;  // ms
};

class ReadingClient {
  public:
    // Starts reading sheet `sheet` of the open workbook at `url` for `seconds` seconds.
    ReadingClient(const std::string& url, const std::string& sheet, double seconds) {
        const std::string command = "/usr/bin/python3 '" CORVANE_BENCH_DIR
                                    "/peers/sheet_reader.py' '" +
                                    url + "' '" + sheet + "' " + std::to_string(seconds);
        pipe_ = ::popen(command.c_str(), "r");
    }
    ~ReadingClient() { Take(); }
    ReadingClient(const ReadingClient&) = delete;
    ReadingClient& operator=(const ReadingClient&) = delete;

    // Waits for the client to end and returns what it measured; none when it failed.
    Readings Take() {
        if (pipe_ == nullptr) return readings_;
        if (std::fscanf(pipe_, "%d %lf %lf %lf", &readings_.count, &readings_.p50, &readings_.p99,
                        &readings_.max) != 4)
            readings_ = {};
        ::pclose(pipe_);
        pipe_ = nullptr;
        return readings_;
    }

  private:
    std::FILE* pipe_ = nullptr;
    Readings readings_;
};

}  // namespace corvane::bench
