// The feed loop with a writer that records every row: 42 fields without a NUL in each
// record, no row beyond the sheet, one line per row one after another, and with --follow
// every line left to the table's placing and known by its instrument (sheets told apart
// as the office does, whatever the letter case).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "feed_loop.hpp"
#include "fuzz_check.hpp"
#include "sheet/sheet_names.hpp"

using namespace corvane::feed;

namespace {

constexpr int kSheetRows = 1048576;

class Chunks : public ByteSource {
  public:
    explicit Chunks(std::vector<std::string> chunks) : chunks_(std::move(chunks)) {}
    Status Read(std::string& chunk) override {
        if (next_ == chunks_.size()) return Status::End;
        chunk += chunks_[next_++];
        return Status::Data;
    }
    std::string Error() const override { return {}; }
    bool StopRequested() const override { return false; }

  private:
    std::vector<std::string> chunks_;
    std::size_t next_ = 0;
};

class Recorder : public SheetWriter {
  public:
    explicit Recorder(bool follow) : follow_(follow) {}
    corvane::Error WriteTitles(const std::string& sheet, int row) override {
        FUZZ_CHECK(sheet.find('\0') == std::string::npos && !sheet.empty());
        if (Missing(sheet)) return {corvane::ErrorCode::NoSheet, "no such sheet"};
        if (row >= 0 && row < kSheetRows) return {};
        return {corvane::ErrorCode::Office, "refused"};
    }
    corvane::Error WriteRecord(const std::string& sheet, int row,
                               const std::vector<std::string>& fields) override {
        if (Missing(sheet)) return {corvane::ErrorCode::NoSheet, "no such sheet"};
        if (row >= kSheetRows || (row < 0 && !follow_))
            return {corvane::ErrorCode::Office, "refused"};
        Record(sheet, row, fields);
        return {};
    }
    bool OfficeAnswers() override { return true; }
    // Distinct instruments written with --follow, rows written without.
    std::size_t Instruments() const { return follow_ ? instruments_.size() : written_.size(); }

  private:
    // Sheets whose name starts with X do not exist.
    static bool Missing(const std::string& sheet) {
        return corvane::sheet::SheetNameKey(sheet).rfind("X", 0) == 0;
    }

    void Record(const std::string& sheet, int row, const std::vector<std::string>& fields) {
        FUZZ_CHECK(fields.size() == 42);
        for (const std::string& field : fields) FUZZ_CHECK(field.find('\0') == std::string::npos);
        if (follow_) {
            // The table places it: the line must name its instrument.
            const std::string key = corvane::platform::InstrumentKey(fields[0], fields[2]);
            FUZZ_CHECK(row == kTableRow && !key.empty());
            instruments_.insert(key);
            return;
        }
        // One line after another: every row is written once.
        FUZZ_CHECK(written_.emplace(corvane::sheet::SheetNameKey(sheet), row).second);
    }

    bool follow_;
    std::set<std::pair<std::string, int>> written_;
    std::set<std::string> instruments_;
};

class NoEvents : public FeedEvents {
  public:
    void LineFailed(long line, const std::string&) override { FUZZ_CHECK(line >= 1); }
    void RecordFailed(const std::string&, const std::string&) override {}
    void RowWritten(long) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 8192) return 0;
    static const Columns columns = LibraryColumns();
    const std::uint8_t mode = data[0];
    FeedSettings settings;
    settings.follow = mode & 1;
    settings.sheetPerExchange = mode & 2;
    settings.sheet = "NSE";
    settings.titles = mode & 4;
    const int firstRows[] = {0, 1, 5, kSheetRows - 3, kSheetRows - 1};
    settings.firstRow = firstRows[(mode >> 3) % 5];
    if (settings.titles && settings.firstRow == 0) settings.firstRow = 1;

    // The input in chunks cut where the second byte says.
    const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
    const std::size_t step = 1 + data[1] % 64;
    std::vector<std::string> chunks;
    for (std::size_t at = 0; at < text.size(); at += step) chunks.push_back(text.substr(at, step));

    FeedLoop loop(settings, RecordCheck(columns));
    Chunks source(std::move(chunks));
    Recorder writer(settings.follow);
    NoEvents events;
    const FeedResult result = loop.Run(source, writer, events);
    FUZZ_CHECK(result.written + result.failed <= result.lines + 1);
    FUZZ_CHECK(result.instruments == static_cast<long>(writer.Instruments()));
    return 0;
}
