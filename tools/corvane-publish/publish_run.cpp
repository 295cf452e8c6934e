#include "publish_run.hpp"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "bus/bus_publisher.hpp"
#include "bus/csv_line.hpp"
#include "csv_reader.hpp"
#include "market_record.hpp"

namespace corvane::publish {
namespace {

using namespace std::chrono;
using feed::CsvReader;
using feed::CsvRecord;
using feed::RecordCheck;

// How long the end of a run waits for the records still queued to be sent.
constexpr Timeout kFinalFlush = Timeout::After(seconds(30));

volatile sig_atomic_t stopRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }

// Ctrl-C and SIGTERM end the reading; what was read is still sent. A blocked read
// returns at the signal, as the handler is installed without SA_RESTART.
void CatchStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int ExitFor(const Error& error) {
    switch (error.code()) {
        case ErrorCode::Refused:
            return kExitRefused;
        case ErrorCode::Argument:
            return kExitUsage;
        default:
            return kExitUnreachable;
    }
}

class Lines {
  public:
    Lines(const PublishOptions& options, bus::Publisher& publisher)
        : options_(options), publisher_(publisher), check_(feed::LibraryColumns()) {}

    void Handle(CsvRecord& record) {
        if (record.blank ||
            (record.fields.size() == 1 && feed::Trimmed(record.fields[0]).empty())) {
            return;
        }
        if (first_) {
            first_ = false;
            if (record.error.empty() && check_.IsHeader(record.fields)) return;
        }
        if (!record.error.empty()) return Malformed(record.line, record.error);
        if (const Error refused = check_.Complete(record.fields); !refused.ok()) {
            return Malformed(record.line, refused.message());
        }
        const std::string exchange(feed::Trimmed(record.fields[0]));
        const std::string scrip(feed::Trimmed(record.fields[2]));
        if (exchange.empty()) {
            return Malformed(record.line, "column A (Exchange) is empty: no instrument key");
        }
        if (scrip.empty()) {
            return Malformed(record.line, "column C (Scrip Code) is empty: no instrument key");
        }
        const Error error = publisher_.Publish(exchange, scrip, bus::CsvLine(record.fields));
        if (!error.ok()) Malformed(record.line, error.message());
    }

    uint64_t malformed() const { return malformed_; }

  private:
    void Malformed(long line, const std::string& why) {
        ++malformed_;
        if (!options_.quiet) std::fprintf(stderr, "line %ld: %s\n", line, why.c_str());
    }

    const PublishOptions& options_;
    bus::Publisher& publisher_;
    RecordCheck check_;
    bool first_ = true;
    uint64_t malformed_ = 0;
};

}  // namespace

int RunPublish(const PublishOptions& options) {
    int fd = STDIN_FILENO;
    if (!options.input.empty() && options.input != "-") {
        fd = open(options.input.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            std::fprintf(stderr, "corvane-publish: cannot open %s: %s\n", options.input.c_str(),
                         std::strerror(errno));
            return kExitUsage;
        }
    }
    struct Closer {
        int fd;
        ~Closer() {
            if (fd != STDIN_FILENO) close(fd);
        }
    } closer{fd};

    std::unique_ptr<bus::Publisher> publisher;
    if (const Error error =
            bus::Publisher::Open(options.bus, options.prefix, options.bucket, publisher);
        !error.ok()) {
        std::fprintf(stderr, "corvane-publish: %s\n", error.message().c_str());
        return ExitFor(error);
    }
    CatchStopSignals();

    Lines lines(options, *publisher);
    CsvReader reader;
    CsvRecord record;
    char buffer[65536];
    bool readFailed = false;
    for (;;) {
        if (stopRequested) break;
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            std::fprintf(stderr, "corvane-publish: cannot read the input: %s\n",
                         std::strerror(errno));
            readFailed = true;
            break;
        }
        if (got == 0) break;
        reader.Push(std::string_view(buffer, static_cast<std::size_t>(got)));
        while (reader.Next(record)) lines.Handle(record);
    }
    reader.Finish();
    while (reader.Next(record)) lines.Handle(record);

    const Error flushed = publisher->Flush(kFinalFlush);
    const bus::Publisher::Stats stats = publisher->GetStats();
    if (!options.quiet) {
        std::fprintf(stderr,
                     "published %llu, dropped %llu, malformed %llu, replaced by newer %llu\n",
                     static_cast<unsigned long long>(stats.published),
                     static_cast<unsigned long long>(stats.dropped),
                     static_cast<unsigned long long>(lines.malformed()),
                     static_cast<unsigned long long>(stats.replaced));
    }
    if (!flushed.ok()) {
        std::fprintf(stderr, "corvane-publish: not everything was sent: %s\n",
                     flushed.message().c_str());
        return flushed == ErrorCode::Refused ? kExitRefused : kExitUnreachable;
    }
    if (readFailed) return kExitUsage;
    return lines.malformed() > 0 ? kExitMalformed : kExitOk;
}

}  // namespace corvane::publish
