// A live table's rows written into a workbook open in a real office, over a session of
// the table's own. The office is either one the sink starts and owns (on a profile it is
// given or a throw-away one), or one that accepts on the pipe already, which the sink
// attaches to and reconnects to when it answers again. An owned office is tied to the
// host process (it ends with it), is killed by its process group and started anew when
// it is gone or, when headless, stuck past the call deadline; one on a display is waited
// for instead. An office found on the pipe that runs on another profile is never the
// sink's own: nothing is loaded into it and it is never ended.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "core/deadline.hpp"
#include "core/defaults.hpp"
#include "core/error.hpp"
#include "live/live_sink.hpp"
#include "office/main_thread.hpp"
#include "office/office_provider.hpp"
#include "office/session.hpp"
#include "platform/thread_safety.hpp"
#include "sheet/fast_writes.hpp"
#include "sheet/kept_blocks.hpp"
#include "sheet/row_frame.hpp"

namespace corvane::live {

struct OfficeSinkOptions {
    std::string workbook;  // the workbook's path
    // Whether the sink starts the office and owns it, or attaches to the one accepting
    // on the pipe.
    bool owned = false;
    std::string officePath;  // owned: the office program; "" for the installation built for
    std::string profile;     // owned: its profile directory; "" for a throw-away one
    bool visible = false;    // owned: --invisible (documents shown on a display), else --headless
    // The longest one call into the office may take before the connection is cut off.
    Timeout callTimeout = Timeout::After(std::chrono::milliseconds(defaults::kCallTimeoutMs));
    // Loading the workbook and storing a copy of it: their own, longer deadlines.
    Timeout loadTimeout = Timeout::After(std::chrono::milliseconds(defaults::kLoadTimeoutMs));
    Timeout saveTimeout = Timeout::After(std::chrono::milliseconds(defaults::kSaveTimeoutMs));
    // Owned: the longest a started office may take to accept before it is started anew.
    std::chrono::milliseconds startLimit{60000};
    // Undo recording and row-height adjustment off. Always so in an owned office that is
    // not visible: nobody works in it, so nobody misses them.
    bool fastWrites = false;
    bool rowTimes = false;  // each row's last update time into the column right of AP
    // The zero-based row of the titles: copies keep it and the rows above in view, in
    // every sheet it holds the titles in; -1 for none.
    int titleRow = 0;
    // Told, at close, why an owned office was left running (other documents open in it).
    std::function<void(const std::string& text)> notice;
};

class OfficeSink final : public LiveSink, private office::SessionObserver {
  public:
    explicit OfficeSink(OfficeSinkOptions options);
    // Owned: closes the workbook unsaved and ends the office unless other documents are
    // open in it (then it runs on, untied, with its profile, and `notice` is told), and
    // removes a throw-away profile. Attached: drops the connection; the office keeps the
    // workbook open.
    ~OfficeSink() override;
    OfficeSink(const OfficeSink&) = delete;
    OfficeSink& operator=(const OfficeSink&) = delete;

    Error Open() override;
    Error Recover(const Error& cause, bool& restarted) override;
    Error WriteTitles(const std::string& sheet, int row) override;
    int RowColumns() const override { return kColumnCount + (options_.rowTimes ? 1 : 0); }
    // Reads the rows' key columns and writes the block's ranges in one step on the
    // office's main thread, where nothing else runs in between.
    Error WriteBlock(const std::string& sheet, int firstRow, const std::vector<ColumnSpan>& columns,
                     const std::vector<const LiveRow*>& rows, bool& moved) override;
    Error ReadKeys(const std::string& sheet, int firstRow, bool create,
                   std::vector<RowKey>& keys) override;
    Error ClearRows(const std::string& sheet, int firstRow, int count) override;
    Error Check() override;
    void Cancel() override;

    // From any thread: stores a copy of the workbook at `path` (format by extension),
    // waiting at most `wait` for a call of the writer thread to end first. Ok, Argument
    // (an unknown extension), Save, NotConnected (no workbook while the office is being
    // recovered), Timeout, or Connect when the office went away.
    Error SaveCopy(const std::string& path, std::chrono::milliseconds wait);

    // The process id of the office (soffice.bin) the sink started that runs now, or 0.
    pid_t OfficePid() const { return provider_.OfficePid(); }

  private:
    using Clock = std::chrono::steady_clock;

    // Connects through the provider (owned: starting the office first when it does not
    // run, and waiting for it to accept).
    Error Attach() REQUIRES(use_);
    Error ConnectOnce() REQUIRES(use_);
    void Drop() noexcept REQUIRES(use_);  // cuts the connection and forgets its objects
    sheet::SheetHandle SheetNamed(const std::string& name, Error& result) REQUIRES(use_);
    Error Alive() REQUIRES(use_);
    // A write the office refused: whether it was the workbook or office that went.
    Error Confirm(Error refused) REQUIRES(use_);
    // Runs `operation` (returning an Error) under the call deadline, turning
    // exceptions into results.
    template <typename Operation>
    Error Guarded(Operation&& operation) REQUIRES(use_);
    template <typename Operation>
    Error Guarded(Operation&& operation, Timeout limit) REQUIRES(use_);
    // Guarded, and run on the office's main thread as one step (see MainThread): for
    // every operation that changes cells, so that the key watches know them as ours.
    template <typename Operation>
    Error OnMainThread(Operation&& operation) REQUIRES(use_);
    void ForgetSheets() noexcept REQUIRES(use_);
    // Whether the office that answered is one this sink may use.
    Error Admit(const css::uno::Reference<css::uno::XComponentContext>& office) override
        REQUIRES(use_);
    // A failed connection's diagnostic line ends its error, which becomes the table's
    // last failure: it is not printed.
    void ConnectionFailed(const std::string&) override {}
    void OfficeForgotten() noexcept override REQUIRES(use_);
    // At destruction: true when the owned office was asked to end and agreed.
    bool EndOwnedOffice() noexcept REQUIRES(use_);

    const OfficeSinkOptions options_;
    // Every call that uses the session holds use_; Cancel alone does not, and reaches
    // only the runtime's copy under runtimeMu_, the provider's cancellation and the
    // atomics.
    platform::TimedMutex use_;
    office::OfficeProvider provider_;
    sheet::FastWrites fastWrites_ GUARDED_BY(use_);
    office::Session session_ GUARDED_BY(use_);
    std::unordered_map<std::string, sheet::SheetHandle> sheets_ GUARDED_BY(use_);
    // Each sheet's ranges of its recent block writes, released with the sheets.
    std::unordered_map<std::string, sheet::KeptBlocks> kept_ GUARDED_BY(use_);
    office::CallDeadline* deadline_ GUARDED_BY(use_) = nullptr;  // the running call's guard
    std::atomic<bool> cancelled_{false};
    platform::Mutex runtimeMu_;
    // The runtime's copy that Cancel cuts off, and the connection's main thread, whose
    // waiting Cancel ends.
    css::uno::Reference<css::uno::XComponentContext> runtime_ GUARDED_BY(runtimeMu_);
    std::shared_ptr<office::MainThread> mainThread_ GUARDED_BY(runtimeMu_);
};

}  // namespace corvane::live
