#include "live/office_sink.hpp"

#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XCellRange.hpp>

#include <cstdint>
#include <utility>

#include "core/deadline.hpp"
#include "office/connection.hpp"
#include "office/host_text.hpp"
#include "office/office_api.hpp"
#include "office/save_copy.hpp"
#include "office/shutdown.hpp"
#include "platform/instrument_key.hpp"
#include "sheet/fast_writes.hpp"
#include "sheet/kept_blocks.hpp"
#include "sheet/key_columns.hpp"
#include "sheet/market_copy.hpp"
#include "sheet/market_format.hpp"
#include "sheet/row_block.hpp"
#include "sheet/row_reset.hpp"
#include "sheet/title_row.hpp"

namespace corvane::live {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;

// How long an owned office that agreed to end is given to exit before it is killed.
constexpr std::chrono::seconds kEndGrace{10};

office::ProviderOptions ProviderFor(const OfficeSinkOptions& options) {
    office::ProviderOptions provider;
    provider.source = options.owned ? office::OfficeSource::Own : office::OfficeSource::Attach;
    provider.launch.program = options.officePath;
    provider.launch.profile = options.profile;
    provider.launch.visible = options.visible;
    provider.workbook = options.workbook;
    provider.startLimit = options.startLimit;
    return provider;
}

bool FastWritesWanted(const OfficeSinkOptions& options) {
    return options.fastWrites || (options.owned && !options.visible);
}

std::string Milliseconds(Timeout limit) { return std::to_string(limit.Length().count()) + " ms"; }

}  // namespace

OfficeSink::OfficeSink(OfficeSinkOptions options)
    : options_(std::move(options)), provider_(ProviderFor(options_)) {
    office::SessionConfig config;
    config.officePath = options_.officePath;
    config.workbookPath = options_.workbook;
    config.callTimeout = options_.callTimeout;
    session_.Configure(std::move(config));
    // Nothing the session would print reaches the host's output (see ConnectionFailed).
    session_.SetWarningHandler([](const char*, void*) {}, nullptr);
    session_.Observe(*this);
}

OfficeSink::~OfficeSink() {
    const platform::TimedLock lock(use_);
    const bool ending = EndOwnedOffice();
    Drop();
    provider_.Release(ending ? kEndGrace : std::chrono::seconds(0));
    session_.Release();
}

bool OfficeSink::EndOwnedOffice() noexcept {
    if (!options_.owned || provider_.Pid() == 0) return false;
    // A headless office that cannot be asked is killed. One on a display that cannot be
    // asked may hold a person's work: it is never killed.
    bool leftRunning = options_.visible;
    std::string why = "the office did not answer at close";
    if (!cancelled_ && session_.Workbook().is()) {
        int othersOpen = 0;
        const Error result = Guarded([&]() REQUIRES(use_) {
            return office::CloseWorkbookAndIdleOffice(session_, othersOpen);
        });
        if (result.ok()) return true;  // it ends
        why = result.message();
        leftRunning = othersOpen > 0 || options_.visible;
    }
    if (!leftRunning || provider_.Pid() == 0) return false;
    // It runs on by itself, with its profile: ours no longer.
    const std::string profile = provider_.Profile();
    provider_.Keep();
    if (options_.notice)
        options_.notice("the live table's office keeps running on the profile \"" + profile +
                        "\": " + why);
    return false;
}

template <typename Operation>
Error OfficeSink::Guarded(Operation&& operation) {
    return Guarded(std::forward<Operation>(operation), options_.callTimeout);
}

template <typename Operation>
Error OfficeSink::Guarded(Operation&& operation, Timeout limit) {
    office::CallDeadline deadline(session_, limit);
    deadline_ = &deadline;
    Error result;
    try {
        result = operation();
    } catch (const css::lang::DisposedException& e) {
        result = {ErrorCode::Connect, "the office went away: " + office::ToUtf8(e.Message)};
    } catch (const css::uno::Exception& e) {
        result = {ErrorCode::Office, office::DescribeCaught(e)};
    }
    deadline_ = nullptr;
    if (deadline.TimedOut()) {
        ForgetSheets();
        return {ErrorCode::Timeout, "the office did not answer within " + Milliseconds(limit)};
    }
    if (result == ErrorCode::Connect) Drop();
    return result;
}

template <typename Operation>
Error OfficeSink::OnMainThread(Operation&& operation) {
    std::shared_ptr<office::MainThread> main;
    {
        const platform::Lock lock(runtimeMu_);
        main = mainThread_;
    }
    if (!main) return {ErrorCode::Connect, "the office is not connected"};
    return Guarded([&]() REQUIRES(use_) {
        return main->Run(std::function<Error()>(std::forward<Operation>(operation)),
                         options_.callTimeout);
    });
}

void OfficeSink::ForgetSheets() noexcept {
    kept_.clear();
    sheets_.clear();
}

Error OfficeSink::Admit(const Reference<css::uno::XComponentContext>& office) {
    // Whatever answers on the pipe before an owned office started, or after it died, may
    // be a person's office.
    if (Error admitted = provider_.Admit(office); !admitted.ok()) return admitted;
    // Loading a large workbook takes longer than a call.
    if (deadline_ != nullptr && !deadline_->Restart(options_.loadTimeout))
        return deadline_->Expired();
    return {};
}

void OfficeSink::Drop() noexcept {
    ForgetSheets();
    {
        const platform::Lock lock(runtimeMu_);
        mainThread_.reset();
    }
    // The bridge first: releasing remote objects writes to a connection that a stopped
    // office may no longer read.
    session_.Disconnect();
}

void OfficeSink::OfficeForgotten() noexcept { fastWrites_.Forget(); }

Error OfficeSink::Open() {
    const platform::TimedLock lock(use_);
    return Attach();
}

Error OfficeSink::Recover(const Error& cause, bool& restarted) {
    const platform::TimedLock lock(use_);
    Drop();
    // An owned headless office that did not answer in time is stuck: the provider
    // replaces it. One on a display may be showing a person a dialog: it is waited for.
    // One that went away is either gone (started anew) or lost only the workbook
    // (reconnected).
    provider_.Recover(cause);
    Error result = Attach();
    restarted = provider_.Restarted();
    return result;
}

Error OfficeSink::Attach() {
    // Owned: until the office accepts or its start limit passes; attached: one attempt.
    Error result = provider_.Acquire(DeadlineAfter(kWithoutEnd),
                                     [this]() NO_THREAD_SAFETY_ANALYSIS { return ConnectOnce(); });
    if (!result.ok()) Drop();
    return result;
}

Error OfficeSink::ConnectOnce() {
    if (cancelled_) return {ErrorCode::Connect, "the table is closing"};
    // The local runtime comes up outside the deadline: only the office's part can hang.
    if (!office::EnsureRuntime(session_))
        return {ErrorCode::Office, "no office installation to connect with"};
    {
        const platform::Lock lock(runtimeMu_);
        runtime_ = session_.Runtime();
    }
    if (cancelled_) return {ErrorCode::Connect, "the table is closing"};
    // A connection turns the path into the workbook's URL: each one starts from the path.
    session_.SetWorkbookPath(options_.workbook);
    session_.SetConnectionUrl(provider_.ConnectionUrl());
    Error connected;
    // Connecting gets the call deadline, loading (see Admit) the load deadline.
    Error result = Guarded([&]() REQUIRES(use_) {
        connected = office::ConnectOffice(session_);
        if (connected.ok() && FastWritesWanted(options_))
            fastWrites_.Set(session_.Workbook(), true);
        return Error();
    });
    if (!result.ok()) return result;
    ForgetSheets();
    if (!connected.ok()) {
        Drop();
        return connected;
    }
    const platform::Lock mainLock(runtimeMu_);
    mainThread_ = std::make_shared<office::MainThread>(session_.Context());
    return connected;
}

sheet::SheetHandle OfficeSink::SheetNamed(const std::string& name, Error& result) {
    const auto cached = sheets_.find(name);
    if (cached != sheets_.end()) return cached->second;
    Error why;
    sheet::SheetHandle sheet = sheet::FindSheet(session_, CString(name.c_str()), why);
    if (sheet.is()) {
        sheets_.emplace(name, sheet);
    } else if (why == ErrorCode::NoSheet || why == ErrorCode::Argument) {
        result = why;
    } else {
        // No workbook, or a lookup the office failed: the workbook is gone, and a
        // reconnection may bring it back.
        result = {ErrorCode::Connect, "the workbook is no longer open"};
    }
    return sheet;
}

Error OfficeSink::Alive() {
    const Reference<css::sheet::XSpreadsheetDocument> document(session_.Workbook(), UNO_QUERY);
    // A workbook the user closed gives no sheets any more.
    if (!document.is() || !document->getSheets().is())
        return {ErrorCode::Connect, "the workbook was closed"};
    return {};
}

Error OfficeSink::Confirm(Error refused) {
    if (refused.ok() || refused == ErrorCode::Connect || refused == ErrorCode::Timeout)
        return refused;
    // A closed workbook shows as a missing sheet or a refused range: told apart here.
    const Error alive = Guarded([&]() REQUIRES(use_) { return Alive(); });
    if (alive == ErrorCode::Office) return refused;
    if (!alive.ok()) return alive;
    return refused;
}

Error OfficeSink::ReadKeys(const std::string& name, int firstRow, bool create,
                           std::vector<RowKey>& keys) {
    keys.clear();
    const platform::TimedLock lock(use_);
    Error result = OnMainThread([&]() REQUIRES(use_) {
        Error found;
        sheet::SheetHandle sheet = SheetNamed(name, found);
        if (!sheet.is() && found == ErrorCode::NoSheet && create) {
            const Reference<css::sheet::XSpreadsheetDocument> document(session_.Workbook(),
                                                                       UNO_QUERY);
            if (!document.is()) return Error{ErrorCode::Connect, "the workbook was closed"};
            sheet::MarketSheetOptions look;
            look.rowTimes = options_.rowTimes;
            const Error added = sheet::AddMarketSheetNamed(document, name, look);
            if (!added.ok()) return added;
            found = {};
            sheet = SheetNamed(name, found);
        }
        if (!sheet.is()) return found;
        return sheet::ReadKeyColumns(sheet, firstRow, keys);
    });
    if (!result.ok()) keys.clear();
    return Confirm(std::move(result));
}

Error OfficeSink::ClearRows(const std::string& name, int firstRow, int count) {
    if (count <= 0) return {};
    const platform::TimedLock lock(use_);
    Error result = OnMainThread([&]() REQUIRES(use_) {
        Error found;
        const sheet::SheetHandle sheet = SheetNamed(name, found);
        if (!sheet.is()) return found;
        return sheet::ClearRowContents(sheet, firstRow, count, options_.rowTimes);
    });
    return Confirm(std::move(result));
}

Error OfficeSink::Check() {
    const platform::TimedLock lock(use_);
    return Guarded([&]() REQUIRES(use_) { return Alive(); });
}

Error OfficeSink::WriteTitles(const std::string& name, int row) {
    const platform::TimedLock lock(use_);
    Error result = OnMainThread([&]() REQUIRES(use_) {
        Error found;
        const sheet::SheetHandle sheet = SheetNamed(name, found);
        if (!sheet.is()) return found;
        fastWrites_.Prepare(session_.Workbook());
        // Two-line titles: their row's height follows them even under fast writes.
        const sheet::RowHeightsAdjusted adjusted(fastWrites_);
        sheet::WriteTitleRow(sheet, row, options_.rowTimes);
        return Error();
    });
    return Confirm(std::move(result));
}

Error OfficeSink::WriteBlock(const std::string& name, int firstRow,
                             const std::vector<ColumnSpan>& columns,
                             const std::vector<const LiveRow*>& rows, bool& moved) {
    moved = false;
    if (rows.empty() || columns.empty()) return {};
    // The values, and the instrument each row must hold in its key columns (or nothing),
    // are made before the office is asked anything.
    std::vector<sheet::FieldRow> fields(rows.size());
    std::vector<std::string> expected(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        for (int k = 0; k < kColumnCount; ++k) fields[i].fields[k] = rows[i]->View(k);
        fields[i].taken = rows[i]->Taken();
        expected[i] = platform::InstrumentKey(rows[i]->View(0), rows[i]->View(2));
    }
    sheet::BlockShape shape{firstRow, static_cast<int>(rows.size()), {}};
    for (const ColumnSpan& span : columns) shape.columns.emplace_back(span.first, span.last);
    const sheet::BlockCells cells(fields, options_.rowTimes, shape.columns);
    std::vector<sheet::RowValues> values;
    for (const auto& [first, last] : shape.columns) values.push_back(cells.Columns(first, last));
    const platform::TimedLock lock(use_);
    Error result = OnMainThread([&]() REQUIRES(use_) {
        Error found;
        const sheet::SheetHandle sheet = SheetNamed(name, found);
        if (!sheet.is()) return found;
        fastWrites_.Prepare(session_.Workbook());
        // The rows' key columns are read in the same step as the writes.
        return sheet::WriteKeyedBlock(sheet, kept_[name], shape, expected, values, moved);
    });
    return Confirm(std::move(result));
}

void OfficeSink::Cancel() {
    cancelled_ = true;
    provider_.Cancel();
    const platform::Lock lock(runtimeMu_);
    office::Session::CutOff(runtime_);
    if (mainThread_) mainThread_->Cancel();
}

Error OfficeSink::SaveCopy(const std::string& path, std::chrono::milliseconds wait) {
    if (!use_.try_lock_for(wait)) return {ErrorCode::Timeout, "the table's office is busy"};
    const platform::TimedLock lock(use_, std::adopt_lock);
    if (!session_.Workbook().is())
        return {ErrorCode::NotConnected,
                "the table has no workbook open now (its office is being recovered)"};
    Error saved;
    const Error result = Guarded(
        [&]() REQUIRES(use_) {
            saved = sheet::SaveMarketCopy(session_, path.c_str(), options_.titleRow);
            return Error();
        },
        options_.saveTimeout);
    return result.ok() ? saved : result;
}

}  // namespace corvane::live
