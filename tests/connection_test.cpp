// Connecting, loading and probing against fake office objects: the exact sequence of
// office calls, the diagnostic lines, what the link state keeps after each failure,
// and that every reference taken during a call is given back.
#include <corvane/corvane.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <corvane/corvane.hpp>

#include <fstream>
#include <functional>
#include <stdexcept>

#include "fakes/fake_office.hpp"
#include "host/session_instance.hpp"
#include "office/connection.hpp"
#include "office/probe.hpp"
#include "support/workbook_files.hpp"

namespace corvane::test {
namespace {

using css::uno::Reference;
using css::uno::XInterface;
using office::ConnectOffice;
using RefCounts = std::map<std::string, oslInterlockedCount>;

constexpr char kUrl[] = "uno:pipe,name=ooo_pipe;urp;StarOffice.ServiceManager";

Reference<XInterface> AsInterface(cppu::OWeakObject* object) { return object; }

class Connection : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLink();
        std::ofstream(book) << "workbook";
        host::TheSession().AdoptRuntime(office.local.get());
        host::TheSession().SetWorkbookPath(book);
        // What an earlier successful connection left behind.
        host::TheSession().AdoptWorkbook(static_cast<css::lang::XComponent*>(oldDocument.get()),
                                         oldSheets.get(), "");
    }
    void TearDown() override { ResetLink(); }

    // Runs ConnectOffice, returns whether it connected and what it printed.
    std::pair<bool, std::string> Connect() {
        ::testing::internal::CaptureStdout();
        const bool connected = ConnectOffice(host::TheSession()).ok();
        return {connected, ::testing::internal::GetCapturedStdout()};
    }

    // The counts taken before the call, plus what the link state now holds.
    void ExpectCountsBack(RefCounts before, const RefCounts& heldByLink) {
        for (const auto& [name, extra] : heldByLink) before[name] += extra;
        EXPECT_EQ(office.RefCounts(), before);
    }

    FakeOffice office;
    rtl::Reference<FakeDocument> oldDocument = new FakeDocument(office.log, "oldDocument");
    rtl::Reference<FakeSheets> oldSheets = new FakeSheets(office.log, "oldSheets");
    TempDir dir;
    const std::string book = dir / "market watch #1.ods";
    const std::string bookUrl = "file://" + dir.Path() + "/market%20watch%20%231.ods";
};

TEST_F(Connection, CallsTheOfficeInOrderAndStoresWorkbookSheetsAndCount) {
    const RefCounts before = office.RefCounts();
    const auto [connected, printed] = Connect();
    EXPECT_TRUE(connected);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(
        *office.log,
        (CallLog{"local.getServiceManager",
                 "localFactory.createInstanceWithContext(com.sun.star.bridge."
                 "UnoUrlResolver, local)",
                 std::string("resolver.resolve(") + kUrl + ")",
                 "manager.getPropertyValue(DefaultContext)", "officeContext.getServiceManager",
                 "officeFactory.createInstanceWithContext(com.sun.star.frame.Desktop, "
                 "officeContext)",
                 "desktop.loadComponentFromURL(" + bookUrl + ", _blank, 0, Hidden=true)",
                 "document.getSheets", "sheets.getElementNames"}));
    const office::Session& link = host::TheSession();
    EXPECT_EQ(link.Context().get(), office.officeContext.get());
    EXPECT_EQ(link.Workbook().get(), static_cast<css::lang::XComponent*>(office.document.get()));
    EXPECT_EQ(link.Sheets().get(), office.sheets.get());
    EXPECT_EQ(link.SheetCount(), 3);
    EXPECT_EQ(link.Config().workbookPath, bookUrl);
    ExpectCountsBack(before, {{"officeContext", 1}, {"document", 1}, {"sheets", 1}});
    EXPECT_EQ(oldDocument->RefCount(), 1);
    EXPECT_EQ(oldSheets->RefCount(), 1);
}

struct FailureCase {
    const char* what;
    std::function<void(FakeOffice&)> breakOffice;
    const char* printed;
    const char* lastCall;
    RefCounts heldByLink;  // beyond the counts before the call
    bool urlMade;          // the workbook path was turned into its URL
};

TEST_F(Connection, EachFailureReleasesEverythingAndKeepsTheEarlierWorkbook) {
    const std::string resolved = std::string("resolver.resolve(") + kUrl + ")";
    const std::string load =
        "desktop.loadComponentFromURL(" + bookUrl + ", _blank, 0, Hidden=true)";
    const FailureCase cases[] = {
        {"no local factory",
         [](FakeOffice& o) { o.local->serviceManager.clear(); },
         "",
         "local.getServiceManager",
         {{"local", 1}},
         false},
        {"no resolver instance",
         [](FakeOffice& o) { o.localFactory->instances.clear(); },
         "",
         "localFactory.createInstanceWithContext(com.sun.star.bridge.UnoUrlResolver, local)",
         {{"local", 1}},
         false},
        {"instance is no resolver",
         [](FakeOffice& o) {
             o.localFactory->instances["com.sun.star.bridge.UnoUrlResolver"] =
                 AsInterface(o.sheets.get());
         },
         "Error: Couldn't instantiate com.sun.star.bridge.UnoUrlResolver service\n",
         "localFactory.createInstanceWithContext(com.sun.star.bridge.UnoUrlResolver, local)",
         {{"local", 1}},
         false},
        {"nothing exported",
         [](FakeOffice& o) { o.resolver->remote.clear(); },
         "StarOffice.ServiceManager is not exported from remote counterpart\n",
         resolved.c_str(),
         {{"local", 1}},
         false},
        {"no service factory",
         [](FakeOffice& o) { o.resolver->remote = AsInterface(o.officeContext.get()); },
         "XMultiServiceFactory interface is not exported for StarOffice.ServiceManager\n",
         resolved.c_str(),
         {{"local", 1}},
         false},
        {"no office on the pipe",
         [](FakeOffice& o) {
             o.resolver->error = UnoError<css::connection::NoConnectException>(
                 "Connector : couldn't connect to pipe \"ooo_pipe\": 10");
         },
         "Error: Connector : couldn't connect to pipe \"ooo_pipe\": 10\n",
         resolved.c_str(),
         {{"local", 1}},
         false},
        {"message outside ASCII",
         [](FakeOffice& o) {
             o.resolver->error = UnoError<css::uno::RuntimeException>("Größe ungültig");
         },
         "Error: Größe ungültig\n",
         resolved.c_str(),
         {{"local", 1}},
         false},
        {"workbook gone",
         [this](FakeOffice&) { ::unlink(book.c_str()); },
         "",
         resolved.c_str(),
         {{"local", 1}},
         false},
        {"no property set",
         [](FakeOffice& o) {
             o.resolver->remote = AsInterface(new FakeServiceFactory(o.log, "factoryOnly"));
         },
         "",
         resolved.c_str(),
         {{"local", 1}},
         true},
        {"no default context, local one has no desktop",
         [](FakeOffice& o) { o.manager->defaultContext.clear(); },
         "",
         "localFactory.createInstanceWithContext(com.sun.star.frame.Desktop, local)",
         {{"local", 1}},
         true},
        {"no office factory",
         [](FakeOffice& o) { o.officeContext->serviceManager.clear(); },
         "",
         "officeContext.getServiceManager",
         {{"officeContext", 1}},
         true},
        {"no desktop",
         [](FakeOffice& o) { o.officeFactory->instances.clear(); },
         "",
         "officeFactory.createInstanceWithContext(com.sun.star.frame.Desktop, officeContext)",
         {{"officeContext", 1}},
         true},
        {"desktop is no loader",
         [](FakeOffice& o) {
             o.officeFactory->instances["com.sun.star.frame.Desktop"] = AsInterface(o.sheets.get());
         },
         "",
         "officeFactory.createInstanceWithContext(com.sun.star.frame.Desktop, officeContext)",
         {{"officeContext", 1}},
         true},
        {"load gives nothing",
         [](FakeOffice& o) { o.desktop->component.clear(); },
         "",
         load.c_str(),
         {{"officeContext", 1}},
         true},
        {"load fails",
         [](FakeOffice& o) {
             o.desktop->error = UnoError<css::lang::IllegalArgumentException>(
                 "Unsupported URL <x>: \"type detection failed\"");
         },
         "Error: Unsupported URL <x>: \"type detection failed\"\n",
         load.c_str(),
         {{"officeContext", 1}},
         true},
        {"not a spreadsheet",
         [](FakeOffice& o) { o.desktop->component = new FakeComponent(o.log, "text"); },
         "",
         load.c_str(),
         {{"officeContext", 1}},
         true},
        {"no sheets",
         [](FakeOffice& o) { o.document->sheets.clear(); },
         "",
         "document.getSheets",
         {{"officeContext", 1}},
         true},
        {"office gone while loading",
         [](FakeOffice& o) {
             o.document->error =
                 UnoError<css::lang::DisposedException>("Binary URP bridge disposed during call");
         },
         "Error: Binary URP bridge disposed during call\n",
         "document.getSheets",
         {{"officeContext", 1}},
         true},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.what);
        TearDown();
        office = FakeOffice();
        SetUp();
        c.breakOffice(office);
        const RefCounts before = office.RefCounts();

        const auto [connected, printed] = Connect();
        EXPECT_FALSE(connected);
        EXPECT_EQ(printed, c.printed);
        EXPECT_EQ(office.log->back(), c.lastCall);
        EXPECT_EQ(host::TheSession().Workbook().get(),
                  static_cast<css::lang::XComponent*>(oldDocument.get()));
        EXPECT_EQ(host::TheSession().Sheets().get(), oldSheets.get());
        EXPECT_EQ(host::TheSession().SheetCount(), 0);
        EXPECT_EQ(host::TheSession().Config().workbookPath, c.urlMade ? bookUrl : book);
        ExpectCountsBack(before, c.heldByLink);
    }
}

TEST_F(Connection, LocalRuntimeErrorsPassToTheHostWithEverythingReleased) {
    office.localFactory->error = UnoError<css::uno::RuntimeException>("no resolver service");
    const RefCounts before = office.RefCounts();
    CorvaneSetWarningHandler([](const char*, void*) {}, nullptr);
    EXPECT_THROW(CorvaneInitFunc({"", "", book.c_str()}), css::uno::RuntimeException);
    ExpectCountsBack(before, {{"local", 1}});
}

TEST_F(Connection, SheetCountIsRecordedOnceByTheFirstLoadWithSheets) {
    CorvaneSetWarningHandler([](const char*, void*) {}, nullptr);
    const auto init = [&] { return CorvaneInitFunc({"", "", book.c_str()}); };
    office.sheets->names = {};
    EXPECT_EQ(init(), 0);  // connected, but no count yet
    office.sheets->names = {"A", "B"};
    EXPECT_EQ(init(), 2);
    office.sheets->names = {"A", "B", "C", "D", "E"};
    EXPECT_EQ(init(), 2);
    office.resolver->remote.clear();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(init(), -1);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(host::TheSession().Sheets().get(), office.sheets.get());
}

TEST_F(Connection, AnObserverTakesTheDiagnosticLineInsteadOfStandardOutput) {
    struct Lines final : office::SessionObserver {
        void ConnectionFailed(const std::string& line) override { lines.push_back(line); }
        std::vector<std::string> lines;
    } observer;
    office::Session session;
    session.Observe(observer);
    session.AdoptRuntime(office.local.get());
    session.SetWorkbookPath(book);
    office.resolver->remote.clear();
    ::testing::internal::CaptureStdout();
    EXPECT_FALSE(ConnectOffice(session).ok());
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(observer.lines,
              std::vector<std::string>{
                  "StarOffice.ServiceManager is not exported from remote counterpart"});
    session.StartOver();  // the fake runtime is not the session's to end
}

TEST_F(Connection, TheCApiHandsTheDiagnosticLineToItsCallerOnlyForItsOwnCall) {
    office.resolver->remote.clear();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(corvane_connect(book.c_str()), CORVANE_E_CONNECT);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(std::string(corvane_last_error())
                  .find("StarOffice.ServiceManager is not exported from remote counterpart"),
              std::string::npos);
    EXPECT_EQ(Connect().second,
              "StarOffice.ServiceManager is not exported from remote counterpart\n");
}

TEST(FileUrl, IsAbsoluteAndEscaped) {
    EXPECT_EQ(office::MakeFileUrl("/tmp/a b#c%d/\xC3\xA9.ods"),
              "file:///tmp/a%20b%23c%25d/%C3%A9.ods");
    // A backslash is an ordinary character of a Linux file name, not a separator.
    EXPECT_EQ(office::MakeFileUrl("/tmp/x\\y.ods").find("/tmp/x/y"), std::string::npos);

    TempDir dir;
    char previous[4096];
    ASSERT_NE(::getcwd(previous, sizeof previous), nullptr);
    ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
    const std::string relative = office::MakeFileUrl("sub dir/#1.ods");
    const std::string parent = office::MakeFileUrl("sub/../book.ods");
    ASSERT_EQ(::chdir(previous), 0);
    EXPECT_EQ(relative, "file://" + dir.Path() + "/sub%20dir/%231.ods");
    EXPECT_EQ(parent, "file://" + dir.Path() + "/book.ods");
}

class Probe : public ::testing::Test {
  protected:
    void SetUp() override {
        ResetLink();
        host::TheSession().UseContext(office.officeContext.get());
        host::TheSession().AdoptWorkbook(static_cast<css::lang::XComponent*>(office.document.get()),
                                         office.sheets.get(), "");
    }
    void TearDown() override { ResetLink(); }
    FakeOffice office;
};

TEST_F(Probe, AnswersOneOnlyWhileTheWorkbookHandsOutItsSheets) {
    RefCounts before = office.RefCounts();
    EXPECT_EQ(office::ProbeOffice(host::TheSession()), 1);
    EXPECT_EQ(office::ProbeOffice(host::TheSession()), 1);
    EXPECT_EQ(*office.log, (CallLog{"document.getSheets", "document.getSheets"}));
    EXPECT_EQ(office.RefCounts(), before);

    office.document->sheets.clear();
    --before["sheets"];
    EXPECT_EQ(office::ProbeOffice(host::TheSession()), 0);
    office.document->error =
        UnoError<css::lang::DisposedException>("Binary URP bridge disposed during call");
    EXPECT_EQ(office::ProbeOffice(host::TheSession()), 0);
    office.document->error = std::make_exception_ptr(std::runtime_error("not a UNO error"));
    EXPECT_EQ(office::ProbeOffice(host::TheSession()), 0);
    EXPECT_EQ(office.RefCounts(), before);
    EXPECT_EQ(host::TheSession().Context().get(), office.officeContext.get());
    EXPECT_EQ(host::TheSession().Workbook().get(),
              static_cast<css::lang::XComponent*>(office.document.get()));
}

TEST_F(Probe, AnswersZeroWithoutConnectionOrSpreadsheet) {
    host::TheSession().DropContext();
    EXPECT_EQ(CorvaneIsRunning(), 0);
    EXPECT_TRUE(office.log->empty());  // nothing asked without a connection

    office::Session& link = host::TheSession();
    link.UseContext(office.officeContext.get());
    link.AdoptWorkbook(new FakeComponent(office.log, "text"), link.Sheets(), "");
    EXPECT_EQ(CorvaneIsRunning(), 0);
    link.AdoptWorkbook({}, link.Sheets(), "");
    EXPECT_EQ(CorvaneIsRunning(), 0);
    EXPECT_TRUE(office.log->empty());
}

}  // namespace
}  // namespace corvane::test
