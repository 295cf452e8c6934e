#include "live/office_sink.hpp"

#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSheetOperation.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/CellRangeAddress.hpp>
#include <com/sun/star/table/XCellRange.hpp>

#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <thread>
#include <utility>

#include "live/block_plan.hpp"
#include "office/connection.hpp"
#include "office/host_text.hpp"
#include "office/local_runtime.hpp"
#include "office/office_api.hpp"
#include "office/office_profile.hpp"
#include "office/office_start.hpp"
#include "office/save_copy.hpp"
#include "office/shutdown.hpp"
#include "office/stale_lock.hpp"
#include "platform/instrument_key.hpp"
#include "platform/process.hpp"
#include "platform/scratch_files.hpp"
#include "sheet/fast_writes.hpp"
#include "sheet/market_copy.hpp"
#include "sheet/market_format.hpp"
#include "sheet/record_fields.hpp"
#include "sheet/row_range.hpp"
#include "sheet/title_row.hpp"

namespace corvane::live {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;

// How often an owned office that is starting is asked whether it accepts yet.
constexpr std::chrono::milliseconds kStartPoll{100};
// Throw-away profiles are named so, and those older than this that no office uses
// (left by a host that died) are removed when the next one is made.
constexpr char kScratchPrefix[] = "corvane-live-";
constexpr std::chrono::seconds kScratchAge{60};

std::string Milliseconds(std::chrono::milliseconds limit) {
    return std::to_string(limit.count()) + " ms";
}

// A key cell's value as text: a number as its shortest decimal text ("500325", not
// "500325.0"), a whole one never in exponent form ("100000", not "1e+05"), so that it
// reads as the scrip code the host put.
std::string KeyText(const css::uno::Any& value) {
    double number = 0;
    if (value >>= number) {
        char text[400];  // the longest whole double in fixed form has 309 digits
        const auto end =
            std::trunc(number) == number
                ? std::to_chars(text, text + sizeof(text), number, std::chars_format::fixed)
                : std::to_chars(text, text + sizeof(text), number);
        return std::string(text, end.ptr);
    }
    rtl::OUString string;
    value >>= string;
    return office::ToUtf8(string);
}

bool Blank(const css::uno::Any& value) {
    rtl::OUString string;
    return !value.hasValue() || ((value >>= string) && string.isEmpty());
}

// What the key columns A to C of one row hold.
RowKey KeyOf(const css::uno::Sequence<css::uno::Any>& row) {
    RowKey key;
    if (row.getLength() < 3) return key;
    key.blank = Blank(row[0]) && Blank(row[1]) && Blank(row[2]);
    if (key.blank) return key;
    key.exchange = KeyText(row[0]);
    key.scrip = KeyText(row[2]);
    return key;
}

}  // namespace

OfficeSink::OfficeSink(OfficeSinkOptions options) : options_(std::move(options)) {
    office::SessionConfig config;
    config.officePath = options_.officePath;
    config.workbookPath = options_.workbook;
    config.callTimeout = options_.callTimeout;
    session_.Configure(std::move(config));
    // Nothing the session would print reaches the host's output (see ConnectionFailed).
    session_.SetWarningHandler([](const char*, void*) {}, nullptr);
    session_.Observe(*this);
    profile_ = options_.profile;
}

OfficeSink::~OfficeSink() {
    const platform::TimedLock lock(use_);
    EndOwnedOffice();
    Drop();
    StopOffice();
    session_.Release();
    if (scratchProfile_) {
        std::error_code ignored;
        std::filesystem::remove_all(profile_, ignored);
    }
}

void OfficeSink::EndOwnedOffice() noexcept {
    if (!options_.owned || office_ == 0) return;
    // A headless office that cannot be asked is killed. One on a display that cannot be
    // asked may hold a person's work: it is never killed.
    bool leftRunning = options_.visible;
    std::string why = "the office did not answer at close";
    if (!cancelled_ && session_.Workbook().is()) {
        int othersOpen = 0;
        const Error result = Guarded([&]() REQUIRES(use_) {
            return office::CloseWorkbookAndIdleOffice(session_, othersOpen);
        });
        if (result.ok()) return;  // it ended
        why = result.message();
        leftRunning = othersOpen > 0 || options_.visible;
    }
    if (!leftRunning || !platform::ProcessRunning(office_)) return;
    // It runs on by itself, with its profile: ours no longer.
    lifeline_.Release();
    session_.ForgetLaunched();
    office_ = 0;
    officePid_ = 0;
    scratchProfile_ = false;
    if (options_.notice)
        options_.notice("the live table's office keeps running on the profile \"" + profile_ +
                        "\": " + why);
}

template <typename Operation>
Error OfficeSink::Guarded(Operation&& operation) {
    return Guarded(std::forward<Operation>(operation), options_.callTimeout);
}

template <typename Operation>
Error OfficeSink::Guarded(Operation&& operation, std::chrono::milliseconds limit) {
    office::CallDeadline deadline(session_, office::CallDeadline::Exactly{limit});
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

void OfficeSink::ForgetSheets() noexcept { sheets_.clear(); }

Error OfficeSink::Admit(const Reference<css::uno::XComponentContext>& office) {
    if (options_.owned) {
        // Whatever answers on the pipe before the sink's office started, or after it
        // died, may be a person's office.
        const std::string profile = office::OfficeProfileUrl(office);
        if (profile_.empty() ||
            !office::SameFolderUrl(profile, office::MakeFileUrl(profile_.c_str()))) {
            foreign_ = profile.empty() ? "unknown" : profile;
            return {ErrorCode::Connect, "an office this table did not start answers"};
        }
    }
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
    return Attach(options_.owned && office_ == 0);
}

Error OfficeSink::Recover(const Error& cause, bool& restarted) {
    const platform::TimedLock lock(use_);
    Drop();
    // An owned headless office that did not answer in time is stuck: it is replaced. One
    // on a display may be showing a person a dialog: it is waited for. One that went
    // away is either gone (started anew) or lost only the workbook (reconnected).
    if (options_.owned && cause == ErrorCode::Timeout && !options_.visible) StopOffice();
    restarted_ = false;
    Error result = Attach(false);
    restarted = restarted_;
    return result;
}

Error OfficeSink::Attach(bool foreignCheck) {
    if (!options_.owned) return ConnectOnce();
    if (foreignCheck) {
        const Error other = ConnectOnce();
        if (other.ok() || !foreign_.empty()) {
            Drop();
            return {ErrorCode::Office,
                    "an office this table did not start accepts on the pipe already: attach "
                    "to it, or end it"};
        }
        if (other != ErrorCode::Connect) return other;
    }
    for (;;) {
        if (office_ != 0 && !platform::ProcessRunning(office_)) StopOffice();
        if (office_ == 0) {
            // The lock file a killed office left beside the workbook is provably stale
            // only while no office runs on its profile: now, not once the new one does.
            office::RemoveStaleLock(office::MakeFileUrl(options_.workbook.c_str()));
            std::string why;
            if (!StartOffice(why)) return {ErrorCode::Office, why};
            restarted_ = true;
        }
        const Error result = ConnectOnce();
        if (!foreign_.empty()) {
            // The sink's own office died and another, on another profile, took the pipe:
            // nothing of the table goes into it, and it is never ended. Ours would get the
            // pipe only once that one ends, so it moves to a pipe of its own.
            const std::string who = foreign_;
            std::string moved;
            if (pipe_.empty()) {
                StopOffice();
                pipe_ = "corvane-live-" + std::to_string(::getpid()) + "-" +
                        std::to_string(reinterpret_cast<std::uintptr_t>(this) % 1000000);
                session_.SetConnectionUrl(office::ConnectionUrl(pipe_));
                moved = "; the table's office starts anew on the pipe \"" + pipe_ + "\"";
            }
            return {ErrorCode::Connect, "an office this table did not start (profile " + who +
                                            ") accepts on the pipe \"" + office::kOfficePipe +
                                            "\"; it is left alone" + moved};
        }
        if (result.ok()) {
            accepted_ = true;
            const pid_t office = platform::GroupMemberNamed(office_, "soffice.bin");
            officePid_ = office != 0 ? office : office_;
        }
        if (result != ErrorCode::Connect || cancelled_) return result;
        // An office that accepted once and stops answering on the pipe is waited for when
        // it is on a display; one that never accepted is started anew.
        if ((!accepted_ || !options_.visible) && Clock::now() - startedAt_ > options_.startLimit) {
            StopOffice();  // the next attempt starts it anew
            return {ErrorCode::Connect, "the started office did not accept within " +
                                            std::to_string(options_.startLimit.count()) + " ms"};
        }
        std::this_thread::sleep_for(kStartPoll);
    }
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
    foreign_.clear();
    // A connection turns the path into the workbook's URL: each one starts from the path.
    session_.SetWorkbookPath(options_.workbook);
    Error connected;
    // Connecting gets the call deadline, loading (see Admit) the load deadline.
    Error result = Guarded([&]() REQUIRES(use_) {
        connected = office::ConnectOffice(session_);
        if (connected.ok() && options_.fastWrites) fastWrites_.Set(session_.Workbook(), true);
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

bool OfficeSink::StartOffice(std::string& why) {
    if (profile_.empty()) {
        profile_ = platform::MakeScratchDirectory(kScratchPrefix);
        if (profile_.empty()) {
            why = "cannot make a profile folder for the office";
            return false;
        }
        scratchProfile_ = true;
        // Those that hosts which died left behind, once no office runs on them.
        office::RemoveUnusedProfiles(std::filesystem::path(profile_).parent_path().string(),
                                     kScratchPrefix, kScratchAge);
    }
    const std::string folder = std::filesystem::absolute(profile_).string();
    if (!office::SeedProfile(folder)) {
        why = "cannot write the office's settings into the profile \"" + folder + "\"";
        return false;
    }
    const std::string program =
        options_.officePath.empty() ? office::BuiltOfficeProgram() : options_.officePath;
    const std::string line =
        office::ProfileOfficeCommandLine(program, folder, options_.visible,
                                         pipe_.empty() ? std::string(office::kOfficePipe) : pipe_);
    // Tied to this process: the office ends with it, however it ends.
    platform::Lifeline lifeline;
    const pid_t pid = platform::StartTiedProcess(program.c_str(), line.c_str(), lifeline);
    if (pid <= 0) {
        why = "cannot start the office \"" + program + "\"";
        return false;
    }
    office_ = pid;
    officePid_ = 0;  // the office's own process is known once it accepted
    lifeline_ = std::move(lifeline);
    accepted_ = false;
    session_.NoteLaunched(pid);
    startedAt_ = Clock::now();
    return true;
}

void OfficeSink::StopOffice() noexcept {
    if (office_ == 0) return;
    // The whole process group: the office's launcher and the office itself.
    platform::KillProcessGroup(office_);
    lifeline_.Cut();
    session_.OfficePid();  // forgets the ended one
    office_ = 0;
    officePid_ = 0;
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
            try {
                sheet::MarketSheetOptions look;
                look.rowTimes = options_.rowTimes;
                sheet::AddMarketSheet(document, office::FromHostText(name.c_str()), look);
            } catch (const css::lang::DisposedException&) {
                throw;
            } catch (const css::uno::Exception& e) {
                return Error{ErrorCode::NoSheet, "the workbook has no sheet \"" + name +
                                                     "\" and took no new one (" +
                                                     office::DescribeCaught(e) + ")"};
            }
            found = {};
            sheet = SheetNamed(name, found);
        }
        if (!sheet.is()) return found;
        // The last row whose key columns hold anything: the rows below are blank there.
        namespace Flags = css::sheet::CellFlags;
        const Reference<css::sheet::XCellRangesQuery> query(
            sheet->getCellRangeByPosition(0, firstRow, 2, kSheetRows - 1), UNO_QUERY);
        if (!query.is()) return Error{ErrorCode::Office, "the key columns cannot be read"};
        const Reference<css::sheet::XSheetCellRanges> filled = query->queryContentCells(
            Flags::VALUE | Flags::DATETIME | Flags::STRING | Flags::FORMULA);
        sal_Int32 lastRow = -1;
        if (filled.is())
            for (const css::table::CellRangeAddress& range : filled->getRangeAddresses())
                lastRow = std::max(lastRow, range.EndRow);
        if (lastRow < firstRow) return Error();
        const Reference<css::sheet::XCellRangeData> data(
            sheet->getCellRangeByPosition(0, firstRow, 2, lastRow), UNO_QUERY);
        if (!data.is()) return Error{ErrorCode::Office, "the key columns give no values"};
        const css::uno::Sequence<css::uno::Sequence<css::uno::Any>> values = data->getDataArray();
        keys.resize(static_cast<std::size_t>(values.getLength()));
        std::size_t usedRows = 0;
        for (sal_Int32 i = 0; i < values.getLength(); ++i) {
            RowKey& key = keys[static_cast<std::size_t>(i)];
            key = KeyOf(values[i]);
            if (!key.blank) usedRows = static_cast<std::size_t>(i) + 1;
        }
        keys.resize(usedRows);  // the rows below the last one used in columns A to C
        return Error();
    });
    if (!result.ok()) keys.clear();
    return Confirm(std::move(result));
}

Error OfficeSink::ClearRows(const std::string& name, int firstRow, int count) {
    if (count <= 0) return {};
    const sal_Int32 columns = options_.rowTimes ? kColumnCount + 1 : kColumnCount;
    const platform::TimedLock lock(use_);
    Error result = OnMainThread([&]() REQUIRES(use_) {
        Error found;
        const sheet::SheetHandle sheet = SheetNamed(name, found);
        if (!sheet.is()) return found;
        const Reference<css::sheet::XSheetOperation> cells(
            sheet->getCellRangeByPosition(0, firstRow, columns - 1, firstRow + count - 1),
            UNO_QUERY);
        if (!cells.is()) return Error{ErrorCode::Office, "the rows cannot be emptied"};
        namespace Flags = css::sheet::CellFlags;
        cells->clearContents(Flags::VALUE | Flags::DATETIME | Flags::STRING | Flags::FORMULA);
        return Error();
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
        sheet::WriteHeaderRow(sheet, row);
        if (options_.rowTimes)
            sheet::WriteTitleCell(sheet, sheet::kRowTimeColumn, row, sheet::kRowTimeTitle,
                                  sheet::TitleBackColor, sheet::TitleCharColor);
        return Error();
    });
    return Confirm(std::move(result));
}

Error OfficeSink::WriteBlock(const std::string& name, int firstRow, int firstColumn,
                             const std::vector<const LiveRow*>& rows, bool& moved) {
    moved = false;
    if (rows.empty()) return {};
    const sal_Int32 columns = options_.rowTimes ? kColumnCount + 1 : kColumnCount;
    const auto count = static_cast<sal_Int32>(rows.size());
    // The values are made before the office is asked anything: every column, of which
    // the ones from firstColumn go.
    sheet::RowValues values(count);
    css::uno::Sequence<css::uno::Any>* const out = values.getArray();
    std::string_view fields[kColumnCount];
    css::uno::Any cells[kColumnCount + 1];
    for (sal_Int32 i = 0; i < count; ++i) {
        for (int k = 0; k < kColumnCount; ++k) fields[k] = rows[i]->View(k);
        sheet::StoreRecordFields(cells, fields);
        if (options_.rowTimes) {
            const auto taken = rows[i]->Taken();
            if (taken == std::chrono::system_clock::time_point())
                cells[kColumnCount] <<= rtl::OUString();
            else
                cells[kColumnCount] <<= platform::LocalSerialTime(taken);
        }
        out[i] = css::uno::Sequence<css::uno::Any>(cells + firstColumn, columns - firstColumn);
    }
    // The instrument each row must hold in its key columns, or nothing.
    std::vector<std::string> expected(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i)
        expected[i] = platform::InstrumentKey(rows[i]->View(0), rows[i]->View(2));
    const platform::TimedLock lock(use_);
    Error result = OnMainThread([&]() REQUIRES(use_) {
        Error found;
        const sheet::SheetHandle sheet = SheetNamed(name, found);
        if (!sheet.is()) return found;
        // The rows' key columns as they are now, in the same step as the write.
        const Reference<css::sheet::XCellRangeData> keys(
            sheet->getCellRangeByPosition(0, firstRow, 2, firstRow + count - 1), UNO_QUERY);
        if (!keys.is()) return Error{ErrorCode::Office, "the key columns cannot be read"};
        const css::uno::Sequence<css::uno::Sequence<css::uno::Any>> now = keys->getDataArray();
        for (sal_Int32 i = 0; i < now.getLength() && i < count; ++i) {
            const RowKey key = KeyOf(now[i]);
            if (!key.blank && platform::InstrumentKey(key.exchange, key.scrip) != expected[i]) {
                moved = true;
                return Error();
            }
        }
        fastWrites_.Prepare(session_.Workbook());
        const Reference<css::table::XCellRange> range =
            sheet->getCellRangeByPosition(firstColumn, firstRow, columns - 1, firstRow + count - 1);
        const Reference<css::sheet::XCellRangeData> data(range, UNO_QUERY);
        if (!data.is()) return Error{ErrorCode::Office, "the rows' range takes no values"};
        data->setDataArray(values);
        return Error();
    });
    return Confirm(std::move(result));
}

void OfficeSink::Cancel() {
    cancelled_ = true;
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
