#include "addin/live_source.hpp"

#include <com/sun/star/awt/AsyncCallback.hpp>
#include <com/sun/star/awt/XCallback.hpp>

#include <algorithm>
#include <string_view>
#include <utility>

#include "bus/csv_line.hpp"
#include "platform/instrument_key.hpp"
#include "platform/scratch_files.hpp"
#include "sheet/record_fields.hpp"

namespace corvane::addin {

using Clock = std::chrono::steady_clock;

namespace {

constexpr std::chrono::milliseconds kLastPause{5000};
// A hand-over to the main thread that never came (its main loop did not run) is made
// again after this.
constexpr std::chrono::milliseconds kHandOverLost{1000};

css::uno::Any Text(const std::string& text) {
    return css::uno::Any(rtl::OStringToOUString(
        rtl::OString(text.data(), static_cast<sal_Int32>(text.size())), RTL_TEXTENCODING_UTF8));
}

}  // namespace

struct LiveSource::Board {
    platform::Mutex mu;
    std::vector<rtl::Reference<LiveResult>> due GUARDED_BY(mu);
    bool handedOver GUARDED_BY(mu) = false;  // a callback waits for the main thread
    Clock::time_point handedOverAt GUARDED_BY(mu);
};

namespace {

// Run by the office on its main thread: tells the results on the board.
class Teller : public cppu::WeakImplHelper1<css::awt::XCallback> {
  public:
    using Board = LiveSource::Board;
    explicit Teller(std::shared_ptr<Board> board) : board_(std::move(board)) {}

    void SAL_CALL notify(const css::uno::Any&) override {
        std::vector<rtl::Reference<LiveResult>> due;
        {
            platform::Lock lock(board_->mu);
            due.swap(board_->due);
            board_->handedOver = false;
        }
        for (const rtl::Reference<LiveResult>& result : due) result->Tell();
    }

  private:
    const std::shared_ptr<Board> board_;
};

}  // namespace

LiveSource::LiveSource(css::uno::Reference<css::uno::XComponentContext> office,
                       std::string settingsFile)
    : office_(std::move(office)),
      settingsFile_(std::move(settingsFile)),
      board_(std::make_shared<Board>()),
      mainThread_(css::awt::AsyncCallback::create(office_)) {
    platform::Lock lock(mu_);
    status_ = new LiveResult(Text("connecting"));
}

LiveSource::~LiveSource() { Stop(); }

rtl::Reference<LiveResult> LiveSource::Result(const std::string& key, int column) {
    platform::Lock lock(mu_);
    StartOnce();
    Instrument& instrument = instruments_[key];
    rtl::Reference<LiveResult>& result = instrument.results[static_cast<std::size_t>(column)];
    if (!result.is())
        result =
            new LiveResult(instrument.known ? instrument.cells[static_cast<std::size_t>(column)]
                                            : css::uno::Any());
    return result;
}

rtl::Reference<LiveResult> LiveSource::Status() {
    platform::Lock lock(mu_);
    StartOnce();
    return status_;
}

std::size_t LiveSource::Subscriptions() const {
    platform::Lock lock(mu_);
    std::size_t listeners = status_->Listeners();
    for (const auto& entry : instruments_)
        for (const rtl::Reference<LiveResult>& result : entry.second.results)
            if (result.is()) listeners += result->Listeners();
    return listeners;
}

void LiveSource::StartOnce() {
    if (started_ || stopping_) return;
    started_ = true;
    thread_ = std::thread([this] { Run(); });
}

void LiveSource::Stop() {
    {
        platform::Lock lock(mu_);
        stopping_ = true;
        if (subscriber_ != nullptr) subscriber_->Stop();
    }
    wake_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool LiveSource::Pause(std::chrono::milliseconds pause) {
    platform::Lock lock(mu_);
    return lock.WaitFor(wake_, pause, [&]() REQUIRES(mu_) { return stopping_; });
}

void LiveSource::Run() {
    // Nothing may leave the thread: it runs inside the office.
    try {
        Follow();
    } catch (const std::exception& e) {
        SetStatus(std::string("failed: ") + e.what());
    } catch (...) {
        SetStatus("failed");
    }
    try {
        TellWhenDue();
    } catch (...) {
    }
    platform::Lock lock(mu_);
    subscriber_ = nullptr;
}

void LiveSource::Follow() {
    if (const Error refused = ReadLiveSettings(settingsFile_, settings_); !refused.ok()) {
        SetStatus("refused: " + refused.message());
        TellWhenDue();
        while (!Pause(std::chrono::hours(1))) {
        }
        return;
    }
    std::unique_ptr<bus::Subscriber> subscriber;
    std::vector<bus::BusMessage> messages;
    while (!Pause(std::chrono::milliseconds(0))) {
        if (!subscriber && !Connect(subscriber)) continue;
        messages.clear();
        const Error read = subscriber->Next(messages, UntilDue());
        Take(messages);
        if (read.ok() && subscriber->GetStats().connected) {
            wasLive_ = true;
            lostAt_.clear();
            SetStatus("live");
        } else {
            Lost("the server at " + settings_.bus.url + " is away");
        }
        if (!read.ok()) {
            platform::Lock lock(mu_);
            subscriber_ = nullptr;
            subscriber.reset();
        }
        TellWhenDue();
    }
}

void LiveSource::Lost(const std::string& why) {
    if (!wasLive_) {
        SetStatus(why);
        return;
    }
    if (lostAt_.empty()) lostAt_ = platform::LocalClockText(std::chrono::system_clock::now());
    SetStatus("stale since " + lostAt_ + ": " + why);
}

bool LiveSource::Connect(std::unique_ptr<bus::Subscriber>& subscriber) {
    const Error opened = bus::Subscriber::OpenBucket(settings_.bus, settings_.bucket, subscriber);
    if (opened.ok()) {
        pause_ = kFirstPause;
        platform::Lock lock(mu_);
        subscriber_ = subscriber.get();
        if (stopping_) subscriber->Stop();
        return true;
    }
    subscriber.reset();
    Lost((opened == ErrorCode::Refused ? "refused: " : "no server: ") + opened.message());
    TellWhenDue();
    Pause(pause_);
    pause_ = std::min(pause_ * 2, kLastPause);
    return false;
}

void LiveSource::Take(const std::vector<bus::BusMessage>& messages) {
    std::vector<std::string> fields;
    std::string_view views[kColumnCount];
    std::array<css::uno::Any, kColumnCount> cells;
    for (const bus::BusMessage& message : messages) {
        // A record that is none is skipped; the next one of its instrument mends it.
        if (!bus::ParseCsvLine(message.payload, fields) || fields.size() < 3) continue;
        fields.resize(kColumnCount);
        const std::string key = platform::InstrumentKey(fields[0], fields[2]);
        if (key.empty()) continue;
        for (int k = 0; k < kColumnCount; ++k) views[k] = fields[static_cast<std::size_t>(k)];
        sheet::StoreRecordFields(cells.data(), views);
        platform::Lock lock(mu_);
        Instrument& instrument = instruments_[key];
        instrument.known = true;
        instrument.cells = cells;
        for (std::size_t k = 0; k < cells.size(); ++k)
            if (instrument.results[k].is() && instrument.results[k]->Update(cells[k]))
                Queue(instrument.results[k]);
    }
}

void LiveSource::SetStatus(const std::string& text) {
    platform::Lock lock(mu_);
    if (status_->Update(Text(text))) Queue(status_);
}

void LiveSource::Queue(const rtl::Reference<LiveResult>& result) {
    platform::Lock lock(board_->mu);
    board_->due.push_back(result);
}

std::chrono::milliseconds LiveSource::UntilDue() {
    const std::chrono::milliseconds idle = std::min(settings_.interval, kFirstPause);
    {
        platform::Lock lock(board_->mu);
        if (board_->due.empty()) return idle;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        lastHandOver_ + settings_.interval - Clock::now());
    return std::clamp(left, std::chrono::milliseconds(1), idle);
}

void LiveSource::TellWhenDue() {
    const Clock::time_point now = Clock::now();
    if (now - lastHandOver_ < settings_.interval) return;
    {
        platform::Lock lock(board_->mu);
        if (board_->due.empty()) return;
        if (board_->handedOver && now - board_->handedOverAt < kHandOverLost) return;
        board_->handedOver = true;
        board_->handedOverAt = now;
    }
    lastHandOver_ = now;
    try {
        mainThread_->addCallback(new Teller(board_), css::uno::Any());
    } catch (...) {
        // The office is ending: nothing is told any more.
    }
}

}  // namespace corvane::addin
