// Every failure of the C API that needs no working office, in one table: the code the
// header documents, as C returns it, as the C++ live table throws it and as the Python
// module raises it. The failures only an office can give are the office tests' part.
#include <corvane/corvane.h>
#include <gtest/gtest.h>
#include <corvane/live_table.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

#ifndef CORVANE_TEST_PYTHON
#define CORVANE_TEST_PYTHON 1
#endif

constexpr int kNotThrown = 1;
constexpr int kLastRow = 1048575;  // a sheet's last row: room for one instrument

struct Case {
    const char* name;
    int code;                      // as corvane.h documents it
    std::function<int()> c;        // the C call's result
    std::function<int()> cpp;      // the C++ wrapper's thrown code; empty: no wrapper
    const char* python = nullptr;  // a Python expression; null: refused by Python itself
};

// The code a C++ call throws as LiveTableError, or kNotThrown.
int Thrown(const std::function<void()>& call) {
    try {
        call();
    } catch (const corvane::LiveTableError& error) {
        return error.code();
    }
    return kNotThrown;
}

const char* const kTick[CORVANE_COLUMN_COUNT] = {"NSE", "Scrip", "1"};
const char* const kOtherTick[CORVANE_COLUMN_COUNT] = {"NSE", "Scrip", "2"};
const char* const kNoKey[CORVANE_COLUMN_COUNT] = {"", "Scrip", "1"};

class ErrorCodes : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/corvane-codes-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        workbook_ = dir_ + "/book.ods";
        std::ofstream(workbook_) << "not opened by any office here";
    }
    void TearDown() override { fs::remove_all(dir_); }

    corvane_live_options Options(const char* sheet = "NSE") const {
        corvane_live_options options;
        corvane_live_default_options(&options);
        options.workbook_path = workbook_.c_str();
        options.sheet = sheet;
        return options;
    }
    corvane::LiveTableOptions CppOptions() const {
        corvane::LiveTableOptions options;
        options.workbook = workbook_;
        options.sheet = "NSE";
        return options;
    }
    // Opens an attached table (no office answers, so it keeps connecting), runs `call`
    // on it and closes it at once; or the code of a refused open.
    int OnTable(corvane_live_options options, const std::function<int(corvane_live*)>& call) {
        corvane_live* table = nullptr;
        if (const int code = corvane_live_create(&options, nullptr, nullptr, &table)) return code;
        const int code = call(table);
        lastCode_ = corvane_last_error_code();  // closing may fail too
        corvane_live_close(table, 0);
        return code;
    }

    // Runs every case's Python expression in one interpreter: name -> code raised.
    std::map<std::string, int> PythonCodes(const std::vector<Case>& cases) const {
        std::ostringstream script;
        script << "import corvane\nWB = '" << workbook_ << "'\nDIR = '" << dir_ << "'\n"
               << "def code(call):\n    try:\n        call()\n        return 1\n"
               << "    except corvane.Error as error:\n        return error.code\n";
        for (const Case& c : cases)
            if (c.python != nullptr)
                script << "print('" << c.name << "', code(lambda: " << c.python << "))\n";
        const std::string path = dir_ + "/codes.py";
        std::ofstream(path) << script.str();
        std::map<std::string, int> codes;
        FILE* const out = popen(("/usr/bin/python3 " + path).c_str(), "r");
        if (out == nullptr) return codes;
        char name[128];
        int code = 0;
        while (std::fscanf(out, "%127s %d", name, &code) == 2) codes[name] = code;
        pclose(out);
        return codes;
    }

    std::string dir_, workbook_;
    int lastCode_ = 0;  // the last error code of a call OnTable made
};

TEST_F(ErrorCodes, EveryFailureGivesItsDocumentedCodeThroughCCppAndPython) {
    const std::string missing = dir_ + "/missing.ods";
    const std::string noFolder = dir_ + "/no/folder.ods";
    const char* const sheets[] = {"NSE"};
    const char* const badSheets[] = {"a/b"};
    const std::vector<Case> cases = {
        {"init_no_office_path",
         CORVANE_E_ARGUMENT,
         [&] { return corvane_init(nullptr, "", workbook_.c_str()); },
         {},
         nullptr},
        {"init_no_workbook",
         CORVANE_E_ARGUMENT,
         [&] { return corvane_init("", "", ""); },
         {},
         "corvane.init('', None, '')"},
        {"connect_missing_workbook",
         CORVANE_E_LOAD,
         [&] { return corvane_connect(missing.c_str()); },
         {},
         "corvane.connect(DIR + '/missing.ods')"},
        {"connect_no_office",
         CORVANE_E_CONNECT,
         [&] { return corvane_connect(workbook_.c_str()); },
         {},
         "corvane.connect(WB)"},
        {"titles_not_connected",
         CORVANE_E_NOT_CONNECTED,
         [] { return corvane_write_titles("NSE", 1); },
         {},
         "corvane.write_titles('NSE', 1)"},
        {"titles_no_sheet_name",
         CORVANE_E_ARGUMENT,
         [] { return corvane_write_titles("", 1); },
         {},
         "corvane.write_titles('', 1)"},
        {"record_null_fields",
         CORVANE_E_ARGUMENT,
         [] { return corvane_write_record("NSE", 1, nullptr); },
         {},
         nullptr},
        {"record_not_connected",
         CORVANE_E_NOT_CONNECTED,
         [] { return corvane_write_record("NSE", 1, kTick); },
         {},
         "corvane.write_record('NSE', 1, ['NSE', 'Scrip', 1])"},
        {"records_negative_count",
         CORVANE_E_ARGUMENT,
         [] { return corvane_write_records("NSE", 1, nullptr, -1); },
         {},
         nullptr},
        {"records_not_connected",
         CORVANE_E_NOT_CONNECTED,
         [] {
             const char* const* rows[] = {kTick};
             return corvane_write_records("NSE", 1, rows, 1);
         },
         {},
         "corvane.write_records('NSE', 1, [['NSE', 'Scrip', 1]])"},
        {"reset_not_connected",
         CORVANE_E_NOT_CONNECTED,
         [] { return corvane_reset_row("NSE", 1); },
         {},
         "corvane.reset('NSE', 1)"},
        {"save_no_path",
         CORVANE_E_ARGUMENT,
         [] { return corvane_save_copy(""); },
         {},
         "corvane.save_copy('')"},
        {"save_unknown_format",
         CORVANE_E_ARGUMENT,
         [&] { return corvane_save_copy((dir_ + "/copy.txt").c_str()); },
         {},
         "corvane.save_copy(DIR + '/copy.txt')"},
        {"save_not_connected",
         CORVANE_E_NOT_CONNECTED,
         [&] { return corvane_save_copy((dir_ + "/copy.ods").c_str()); },
         {},
         "corvane.save_copy(DIR + '/copy.ods')"},
        {"shutdown_not_connected",
         CORVANE_E_NOT_CONNECTED,
         [] { return corvane_shutdown_office(); },
         {},
         "corvane.shutdown_office()"},
        {"stale_lock_no_path",
         CORVANE_E_ARGUMENT,
         [] { return corvane_clear_stale_lock(""); },
         {},
         "corvane.clear_stale_lock('')"},
        {"create_exists",
         CORVANE_E_EXISTS,
         [&] { return corvane_create_workbook(workbook_.c_str(), sheets, 1, nullptr); },
         {},
         "corvane.create_workbook(WB, ['NSE'])"},
        {"create_no_folder",
         CORVANE_E_SAVE,
         [&] { return corvane_create_workbook(noFolder.c_str(), sheets, 1, nullptr); },
         {},
         "corvane.create_workbook(DIR + '/no/folder.ods', ['NSE'])"},
        {"create_bad_sheet_name",
         CORVANE_E_ARGUMENT,
         [&] {
             return corvane_create_workbook((dir_ + "/new.ods").c_str(), badSheets, 1, nullptr);
         },
         {},
         "corvane.create_workbook(DIR + '/new.ods', ['a/b'])"},
        {"live_create_no_options",
         CORVANE_E_ARGUMENT,
         [] {
             corvane_live* table = nullptr;
             return corvane_live_create(nullptr, nullptr, nullptr, &table);
         },
         {},
         nullptr},
        {"live_no_workbook", CORVANE_E_ARGUMENT,
         [&] {
             corvane_live_options options = Options();
             options.workbook_path = "";
             return OnTable(options, [](corvane_live*) { return 0; });
         },
         [&] {
             corvane::LiveTableOptions options = CppOptions();
             options.workbook.clear();
             return Thrown([&] { corvane::LiveTable table(options); });
         },
         "corvane.LiveTable('', 'NSE')"},
        {"live_no_sheet", CORVANE_E_ARGUMENT,
         [&] { return OnTable(Options(""), [](corvane_live*) { return 0; }); },
         [&] {
             corvane::LiveTableOptions options = CppOptions();
             options.sheet.clear();
             return Thrown([&] { corvane::LiveTable table(options); });
         },
         "corvane.LiveTable(WB)"},
        {"live_first_row_outside", CORVANE_E_ARGUMENT,
         [&] {
             corvane_live_options options = Options();
             options.first_row = -1;
             return OnTable(options, [](corvane_live*) { return 0; });
         },
         [&] {
             corvane::LiveTableOptions options = CppOptions();
             options.firstRow = -1;
             return Thrown([&] { corvane::LiveTable table(options); });
         },
         "corvane.LiveTable(WB, 'NSE', first_row=-1)"},
        {"live_titles_without_row", CORVANE_E_ARGUMENT,
         [&] {
             corvane_live_options options = Options();
             options.first_row = 0;
             return OnTable(options, [](corvane_live*) { return 0; });
         },
         [&] {
             corvane::LiveTableOptions options = CppOptions();
             options.firstRow = 0;
             return Thrown([&] { corvane::LiveTable table(options); });
         },
         "corvane.LiveTable(WB, 'NSE', first_row=0)"},
        {"live_missing_workbook", CORVANE_E_LOAD,
         [&] {
             corvane_live_options options = Options();
             options.workbook_path = missing.c_str();
             return OnTable(options, [](corvane_live*) { return 0; });
         },
         [&] {
             corvane::LiveTableOptions options = CppOptions();
             options.workbook = missing;
             return Thrown([&] { corvane::LiveTable table(options); });
         },
         "corvane.LiveTable(DIR + '/missing.ods', 'NSE')"},
        {"live_not_live_in_time", CORVANE_E_TIMEOUT,
         [&] {
             corvane_live_options options = Options();
             options.open_wait_ms = 200;
             return OnTable(options, [](corvane_live*) { return 0; });
         },
         [&] {
             corvane::LiveTableOptions options = CppOptions();
             options.openWaitMs = 200;
             return Thrown([&] { corvane::LiveTable table(options); });
         },
         "corvane.LiveTable(WB, 'NSE', open_wait=0.2)"},
        {"live_put_no_key", CORVANE_E_ARGUMENT,
         [this] {
             return OnTable(Options(), [](corvane_live* t) { return corvane_live_put(t, kNoKey); });
         },
         [&] { return corvane::LiveTable(CppOptions()).Put(kNoKey); },
         "corvane.LiveTable(WB, 'NSE', close_timeout=0).put(['', 'Scrip', 1])"},
        {"live_put_sheet_full", CORVANE_E_FULL,
         [&] {
             corvane_live_options options = Options();
             options.first_row = kLastRow;
             options.titles = 0;
             return OnTable(options, [](corvane_live* t) {
                 corvane_live_put(t, kTick);
                 const char* const other[CORVANE_COLUMN_COUNT] = {"NSE", "Other", "2"};
                 return corvane_live_put(t, other);
             });
         },
         [&] {
             corvane::LiveTableOptions options = CppOptions();
             options.firstRow = kLastRow;
             options.titles = false;
             corvane::LiveTable table(options);
             table.Put(kTick);
             const char* const other[CORVANE_COLUMN_COUNT] = {"NSE", "Other", "2"};
             const int code = table.Put(other);
             Thrown([&] { table.Close(0); });
             return code;
         },
         "(lambda t: (t.put(['NSE', 'Scrip', 1]), t.put(['NSE', 'Other', 2])))("
         "corvane.LiveTable(WB, 'NSE', first_row=1048575, titles=False, close_timeout=0))"},
        {"live_put_null_table",
         CORVANE_E_ARGUMENT,
         [] { return corvane_live_put(nullptr, kTick); },
         {},
         nullptr},
        {"live_flush_not_in_time", CORVANE_E_TIMEOUT,
         [this] {
             return OnTable(Options(), [](corvane_live* t) {
                 corvane_live_put(t, kTick);
                 return corvane_live_flush(t, 0);
             });
         },
         [&] {
             corvane::LiveTable table(CppOptions());
             table.Put(kTick);
             const int code = Thrown([&] { table.Flush(0); });
             Thrown([&] { table.Close(0); });
             return code;
         },
         "(lambda t: (t.put(['NSE', 'Scrip', 1]), t.flush(0)))(corvane.LiveTable(WB, 'NSE', "
         "close_timeout=0))"},
        {"live_save_no_path", CORVANE_E_ARGUMENT,
         [this] {
             return OnTable(Options(),
                            [](corvane_live* t) { return corvane_live_save_copy(t, "", 0); });
         },
         [&] {
             corvane::LiveTable table(CppOptions());
             return Thrown([&] { table.SaveCopy("", 0); });
         },
         "corvane.LiveTable(WB, 'NSE', close_timeout=0).save_copy('')"},
        {"live_stats_without_size",
         CORVANE_E_ARGUMENT,
         [this] {
             return OnTable(Options(), [](corvane_live* t) {
                 corvane_live_stats stats{};
                 return corvane_live_get_stats(t, &stats);
             });
         },
         {},
         nullptr},
        {"live_close_not_written", CORVANE_E_TIMEOUT,
         [&] {
             corvane_live_options options = Options();
             corvane_live* table = nullptr;
             corvane_live_create(&options, nullptr, nullptr, &table);
             corvane_live_put(table, kTick);
             return corvane_live_close(table, 0);
         },
         [&] {
             corvane::LiveTable table(CppOptions());
             table.Put(kOtherTick);
             return Thrown([&] { table.Close(0); });
         },
         "(lambda t: (t.put(['NSE', 'Scrip', 1]), t.close(0)))(corvane.LiveTable(WB, 'NSE', "
         "close_timeout=0))"},
        {"live_closed_table",
         CORVANE_E_NOT_CONNECTED,
         [&] {
             corvane_live_options options = Options();
             corvane_live* table = nullptr;
             corvane_live_create(&options, nullptr, nullptr, &table);
             corvane_live_close(table, 0);
             return corvane_live_flush(table, 0);
         },
         {},
         "(lambda t: (code(lambda: t.close(0)), t.flush(0)))(corvane.LiveTable(WB, 'NSE', "
         "close_timeout=0))"},
    };

    const std::map<std::string, int> python =
        CORVANE_TEST_PYTHON ? PythonCodes(cases) : std::map<std::string, int>();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        lastCode_ = 1;
        const int code = c.c();
        EXPECT_EQ(code, c.code) << corvane_last_error();
        if (code < 0) {
            EXPECT_EQ(lastCode_ != 1 ? lastCode_ : corvane_last_error_code(), c.code);
        }
        if (c.cpp) {
            EXPECT_EQ(c.cpp(), c.code);
        }
        if (CORVANE_TEST_PYTHON && c.python != nullptr) {
            const auto found = python.find(c.name);
            ASSERT_NE(found, python.end()) << "the Python expression did not run";
            EXPECT_EQ(found->second, c.code);
        }
    }
}

}  // namespace
