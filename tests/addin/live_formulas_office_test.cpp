// Live formulas in a real office: the extension installed into a throw-away profile, a
// real NATS server on loopback, records published into its bucket, and the test reading
// the cells over UNO as a person's screen would show them.
#include <gtest/gtest.h>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/sheet/XCalculatable.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/XCloseable.hpp>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <corvane/market_watch_record.hpp>
#include "bus/bus_publisher.hpp"
#include "bus/csv_line.hpp"
#include "office/office_pipe.hpp"
#include "support/nats_server.hpp"
#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;
using Document = Reference<css::sheet::XSpreadsheetDocument>;
using namespace std::chrono_literals;

constexpr int kNotAvailable = 32767;  // the cell's error code for #N/A
constexpr int kIllegalArgument = 502;
constexpr int kNoName = 525;  // #NAME?

struct Shown {
    std::string text;
    double value = 0;
    int error = 0;
};

// Waits until `holds` is true, at most 20 s; whether it became so.
bool Eventually(const std::function<bool()>& holds) {
    for (auto until = std::chrono::steady_clock::now() + 20s;
         std::chrono::steady_clock::now() < until; std::this_thread::sleep_for(50ms))
        if (holds()) return true;
    return holds();
}

class LiveFormulas : public ::testing::Test {
  protected:
    void SetUp() override {
        server_.Start();
        bus::BusSettings settings;
        settings.url = server_.Url();
        ASSERT_TRUE(bus::Publisher::Open(settings, "", "marketwatch", publisher_).ok());
        // The user's own settings file stays out of the test.
        ::setenv("XDG_CONFIG_HOME", config_.Path().c_str(), 1);
        ::setenv("CORVANE_LIVE_URL", server_.Url().c_str(), 1);
        const std::string profile = FileUrl(session_.ProfileDirectory());
        const std::string install =
            std::string(CORVANE_OFFICE_PROGRAM_DIR "/unopkg add --shared --suppress-license ") +
            "'-env:UserInstallation=" + profile + "' '-env:UNO_SHARED_PACKAGES_CACHE=" + profile +
            "/shared' '" + CORVANE_EXTENSION + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(install.c_str()), 0) << install;
        StartOffice(true);
    }
    void TearDown() override {
        if (client_) client_->Terminate();
        client_.reset();
    }

    // An office on the session's profile, with the extension or on a profile of its own
    // without it.
    void StartOffice(bool withExtension) {
        const std::string profile = withExtension ? session_.ProfileDirectory() : bare_.Path();
        if (!withExtension) SeedProfile(profile);
        session_.Adopt(
            StartInOwnGroup({OfficeExecutable(), "--headless", "--norestore",
                             "-env:UserInstallation=" + FileUrl(profile),
                             "-env:UNO_SHARED_PACKAGES_CACHE=" + FileUrl(profile) + "/shared",
                             "--accept=" + office::AcceptArgument()}));
        client_ = OfficeClient::Connect(60s);
        ASSERT_TRUE(client_);
    }
    // Ends the office through its own terminate call; whether it was gone within 10 s.
    bool EndOffice() {
        client_->Terminate();
        client_.reset();
        return Eventually([&] { return !session_.Running(); });
    }

    Document Open(const std::string& url = "private:factory/scalc") {
        css::beans::PropertyValue hidden;
        hidden.Name = "Hidden";
        hidden.Value <<= true;
        return Document(
            client_->Desktop()->loadComponentFromURL(
                U(url), "_blank", 0, css::uno::Sequence<css::beans::PropertyValue>(&hidden, 1)),
            UNO_QUERY_THROW);
    }
    static Reference<css::table::XCell> CellOf(const Document& document, const char* name) {
        const Reference<css::container::XIndexAccess> sheets(document->getSheets(),
                                                             UNO_QUERY_THROW);
        const Reference<css::sheet::XSpreadsheet> sheet(sheets->getByIndex(0), UNO_QUERY_THROW);
        return sheet->getCellRangeByName(U(name))->getCellByPosition(0, 0);
    }
    // A formula as a person types it.
    static void Type(const Document& document, const char* cell, const std::string& formula) {
        Reference<css::beans::XPropertySet>(CellOf(document, cell), UNO_QUERY_THROW)
            ->setPropertyValue("FormulaLocal", css::uno::Any(U(formula)));
    }
    static Shown Show(const Document& document, const char* cell) {
        const Reference<css::table::XCell> shown = CellOf(document, cell);
        const Reference<css::text::XText> text(shown, UNO_QUERY_THROW);
        return {S(text->getString()), shown->getValue(), shown->getError()};
    }
    static bool Shows(const Document& document, const char* cell, double value) {
        const Shown shown = Show(document, cell);
        return shown.error == 0 && shown.value == value;
    }
    static void Close(const Document& document) {
        Reference<css::util::XCloseable>(document, UNO_QUERY_THROW)->close(true);
    }

    // A record of the instrument with its description and last traded price.
    void Publish(const std::string& exchange, const std::string& scrip,
                 const std::string& description, const std::string& price) {
        std::vector<std::string> fields(kColumnCount);
        fields[0] = exchange;
        fields[1] = description;
        fields[2] = scrip;
        fields[11] = price;
        ASSERT_TRUE(publisher_->Publish(exchange, scrip, bus::CsvLine(fields)).ok());
        ASSERT_TRUE(publisher_->Flush(corvane::Timeout::After(10s)).ok());
    }

    NatsServer server_;
    std::unique_ptr<bus::Publisher> publisher_;
    TempDir config_, bare_, files_;
    OfficeSession session_;
    std::unique_ptr<OfficeClient> client_;
};

TEST_F(LiveFormulas, NumbersAndTextsArriveAfterNotAvailableAndAnUnknownFieldIsAnError) {
    const Document book = Open();
    Type(book, "A1", "=LIVE(\"NSE\";2885;\"Last Traded Price\")");
    Type(book, "A2", "=LIVE(\"nse\";\"02885\";\"B\")");
    Type(book, "A3", "=LIVE(\"NSE\";2885;12)");
    Type(book, "A4", "=LIVE(\"NSE\";2885;\"Nope\")");
    Type(book, "A5", "=LIVE(\"NSE\";2885;43)");
    Type(book, "A6", "=LIVE.STATUS()");
    EXPECT_EQ(Show(book, "A1").error, kNotAvailable);
    EXPECT_EQ(Show(book, "A2").error, kNotAvailable);
    EXPECT_EQ(Show(book, "A4").error, kIllegalArgument);
    EXPECT_EQ(Show(book, "A5").error, kIllegalArgument);
    EXPECT_TRUE(Eventually([&] { return Show(book, "A6").text == "live"; }))
        << Show(book, "A6").text;

    Publish("NSE", "2885", "RELIANCE", "2475.5");
    EXPECT_TRUE(Eventually([&] { return Shows(book, "A1", 2475.5); }));
    EXPECT_EQ(Show(book, "A2").text, "RELIANCE");
    EXPECT_TRUE(Shows(book, "A3", 2475.5));
    EXPECT_EQ(Show(book, "A4").error, kIllegalArgument);
}

TEST_F(LiveFormulas, ATickReachesEveryCellThatShowsItInTwoDocuments) {
    const Document first = Open(), second = Open();
    for (const Document& book : {first, second}) {
        Type(book, "B2", "=LIVE(\"BSE\";500325;\"L\")");
        Type(book, "B3", "=2*LIVE(\"BSE\";500325;\"L\")");
    }
    for (const char* price : {"10.5", "11.25", "12"}) {
        Publish("BSE", "500325", "RELIANCE", price);
        const double value = std::stod(price);
        EXPECT_TRUE(Eventually([&] {
            return Shows(first, "B2", value) && Shows(second, "B2", value) &&
                   Shows(first, "B3", 2 * value) && Shows(second, "B3", 2 * value);
        })) << price;
    }
}

TEST_F(LiveFormulas, CellsKeepTheirValuesWhileTheServerIsAwayAndFollowItOnceBack) {
    const Document book = Open();
    Type(book, "A1", "=LIVE(\"NSE\";2885;\"L\")");
    Type(book, "A2", "=LIVE.STATUS()");
    Publish("NSE", "2885", "RELIANCE", "100");
    ASSERT_TRUE(Eventually([&] { return Shows(book, "A1", 100); }));

    server_.Stop();
    EXPECT_TRUE(Eventually([&] { return Show(book, "A2").text.rfind("stale since ", 0) == 0; }))
        << Show(book, "A2").text;
    EXPECT_TRUE(Shows(book, "A1", 100));

    // A server that lost its store: the publisher stores every last record again.
    server_.Restart(false);
    Publish("NSE", "2885", "RELIANCE", "101");
    EXPECT_TRUE(Eventually([&] {
        return Shows(book, "A1", 101) && Show(book, "A2").text == "live";
    })) << Show(book, "A2").text;
}

TEST_F(LiveFormulas, SavedWorkbooksAreLiveAgainWhereTheExtensionIsAndSayWhatIsMissingElsewhere) {
    const std::string ods = FileUrl(files_ / "live.ods"), xlsx = FileUrl(files_ / "live.xlsx");
    {
        const Document book = Open();
        Type(book, "A1", "=LIVE(\"NSE\";2885;\"L\")");
        Publish("NSE", "2885", "RELIANCE", "200");
        ASSERT_TRUE(Eventually([&] { return Shows(book, "A1", 200); }));
        const Reference<css::frame::XStorable> storable(book, UNO_QUERY_THROW);
        storable->storeToURL(U(ods), {});
        css::beans::PropertyValue filter;
        filter.Name = "FilterName";
        filter.Value <<= U("Calc MS Excel 2007 XML");
        storable->storeToURL(U(xlsx), css::uno::Sequence<css::beans::PropertyValue>(&filter, 1));
        Close(book);
    }
    Publish("NSE", "2885", "RELIANCE", "201");
    for (const std::string& url : {ods, xlsx}) {
        const Document book = Open(url);
        EXPECT_EQ(S(CellOf(book, "A1")->getFormula()),
                  "=ORG.CORVANE.LIVE.LIVEFUNCTIONS.LIVE(\"NSE\";2885;\"L\")")
            << url;
        // An .xlsx file's stored values stand until Calc recalculates; an .ods file's
        // live formulas are computed as it loads.
        if (url == xlsx)
            Reference<css::sheet::XCalculatable>(book, UNO_QUERY_THROW)->calculateAll();
        EXPECT_TRUE(Eventually([&] { return Shows(book, "A1", 201); })) << url;
        Close(book);
    }

    ASSERT_TRUE(EndOffice());
    StartOffice(false);
    const Document book = Open(ods);
    EXPECT_EQ(Show(book, "A1").error, kNoName);
}

TEST_F(LiveFormulas, ClosingADocumentEndsItsSubscriptions) {
    const Document mine = Open(), other = Open();
    Type(mine, "A1", "=LIVE(\"NSE\";1;\"L\")");
    Type(mine, "A2", "=LIVE(\"NSE\";2;\"L\")");
    Type(mine, "A3", "=LIVE(\"NSE\";3;\"L\")");
    Type(other, "A1", "=LIVE(\"NSE\";1;\"L\")");
    Type(other, "A9", "=LIVE.SUBSCRIPTIONS()");
    const auto subscriptions = [&] {
        Reference<css::sheet::XCalculatable>(other, UNO_QUERY_THROW)->calculateAll();
        return Show(other, "A9").value;
    };
    // Calc listens to a cell's result once it has shown it.
    for (const char* cell : {"A1", "A2", "A3"}) Show(mine, cell);
    const double before = subscriptions();
    EXPECT_EQ(before, 3);
    Close(mine);
    // Instrument 1 is still shown in the other document; 2 and 3 are not.
    EXPECT_TRUE(Eventually([&] { return subscriptions() == before - 2; }))
        << before << " then " << subscriptions();
}

TEST_F(LiveFormulas, TheOfficeEndsCleanlyWithLiveCellsAgainAndAgain) {
    for (int round = 0; round < 3; ++round) {
        const Document book = Open();
        Type(book, "A1", "=LIVE(\"NSE\";2885;\"L\")");
        Publish("NSE", "2885", "RELIANCE", std::to_string(300 + round));
        ASSERT_TRUE(Eventually([&] { return Shows(book, "A1", 300 + round); })) << round;
        ASSERT_TRUE(EndOffice()) << "round " << round;
        StartOffice(true);
    }
}

}  // namespace
}  // namespace corvane::test
