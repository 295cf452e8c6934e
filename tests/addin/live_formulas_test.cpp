// What the live formulas read without an office: their settings, the arguments a cell
// passes, and the records the bus carries.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "addin/live_arguments.hpp"
#include "addin/live_settings.hpp"
#include "bus/csv_line.hpp"
#include "support/workbook_files.hpp"

namespace corvane::addin {
namespace {

class Settings : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name :
             {"URL", "BUCKET", "USER", "PASSWORD", "TOKEN", "CREDS", "CA", "INTERVAL_MS"})
            ::unsetenv(("CORVANE_LIVE_" + std::string(name)).c_str());
    }
    std::string Write(const std::string& text, mode_t mode) {
        const std::string file = dir_ / "live.conf";
        std::ofstream(file) << text;
        ::chmod(file.c_str(), mode);
        return file;
    }
    // Why the settings read from `file` cannot be used ("" when they can); a refusal is
    // a wrong argument.
    static std::string Refusal(const std::string& file, LiveSettings& settings) {
        const Error refused = ReadLiveSettings(file, settings);
        if (!refused.ok()) {
            EXPECT_EQ(refused.code(), ErrorCode::Argument);
        }
        return refused.message();
    }
    static std::string Refusal(const std::string& file) {
        LiveSettings settings;
        return Refusal(file, settings);
    }
    test::TempDir dir_;
};

TEST_F(Settings, TheFileSetsAndTheEnvironmentOverrides) {
    const std::string file = Write(
        "# the desk's server\nurl = nats://127.0.0.1:4333\nbucket=desk\n"
        "user = trader\npassword = secret\ninterval_ms = 100\n",
        0600);
    ::setenv("CORVANE_LIVE_BUCKET", "other", 1);
    LiveSettings settings;
    EXPECT_EQ(Refusal(file, settings), "");
    EXPECT_EQ(settings.bus.url, "nats://127.0.0.1:4333");
    EXPECT_EQ(settings.bucket, "other");
    EXPECT_EQ(settings.bus.user, "trader");
    EXPECT_EQ(settings.bus.password, "secret");
    EXPECT_EQ(settings.interval.count(), 100);

    LiveSettings none;
    EXPECT_EQ(Refusal(dir_ / "missing.conf", none), "");
    EXPECT_EQ(none.bus.url, "nats://127.0.0.1:4222");
    EXPECT_EQ(none.interval.count(), 250);
}

TEST_F(Settings, ASecretOthersMayReadAndWhatIsNoSettingAreRefused) {
    for (const char* secret : {"password = secret\n", "token = t0k3n\n"}) {
        LiveSettings settings;
        EXPECT_NE(Refusal(Write(secret, 0644), settings).find("other users may read it"),
                  std::string::npos)
            << secret;
        EXPECT_EQ(settings.bus.password + settings.bus.token, "");
    }
    EXPECT_EQ(Refusal(Write("url = nats://127.0.0.1:1\n", 0644)), "");
    EXPECT_NE(Refusal(Write("colour = red\n", 0600)).find("line 1"), std::string::npos);
    EXPECT_NE(Refusal(Write("interval_ms = 0\n", 0600)), "");
    ::setenv("CORVANE_LIVE_INTERVAL_MS", "soon", 1);
    EXPECT_NE(Refusal("").find("CORVANE_LIVE_INTERVAL_MS"), std::string::npos);
}

TEST(Arguments, FieldsByTitleLettersOrNumberAndCodesAsTheyAreTyped) {
    const auto field = [](auto value) { return FieldColumn(css::uno::Any(value)); };
    EXPECT_EQ(field(rtl::OUString("Last Traded Price")), 11);
    EXPECT_EQ(field(rtl::OUString(" last  traded\nPRICE ")), 11);
    EXPECT_EQ(field(rtl::OUString("l")), 11);
    EXPECT_EQ(field(rtl::OUString("AP")), 41);
    EXPECT_EQ(field(rtl::OUString("12")), 11);
    EXPECT_EQ(field(12.0), 11);
    EXPECT_EQ(field(1.0), 0);
    for (const double wrong : {0.0, 43.0, 11.5, -1.0}) EXPECT_EQ(field(wrong), -1) << wrong;
    for (const char* wrong : {"Nope", "", "AQ", "12x"})
        EXPECT_EQ(field(rtl::OUString::createFromAscii(wrong)), -1) << wrong;
    EXPECT_EQ(FieldColumn(css::uno::Any()), -1);

    EXPECT_EQ(CodeText(css::uno::Any(2885.0)), "2885");
    EXPECT_EQ(CodeText(css::uno::Any(rtl::OUString("02885"))), "02885");
    EXPECT_EQ(CodeText(css::uno::Any(2885.5)), "");
    EXPECT_EQ(CodeText(css::uno::Any()), "");
}

TEST(Records, CsvLinesComeApartAsTheyWereJoined) {
    std::vector<std::string> fields;
    const std::vector<std::string> written = {"NSE", "A, \"B\" LTD", "", "2885", "line\nbreak"};
    ASSERT_TRUE(bus::ParseCsvLine(bus::CsvLine(written), fields));
    EXPECT_EQ(fields, written);
    for (const char* wrong : {"NSE,\"open", "NSE,\"x\"y,1"})
        EXPECT_FALSE(bus::ParseCsvLine(wrong, fields)) << wrong;
}

}  // namespace
}  // namespace corvane::addin
