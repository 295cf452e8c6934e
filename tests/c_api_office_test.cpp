// Runs the plain-C test program against a real office, kills the office when the
// program asks for it, and checks what the program's stored copy holds.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/frame/XComponentLoader.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

extern char** environ;

namespace corvane::test {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

struct ChildResult {
    int status = -1;
    std::string output;
};

// Runs the C program with the office's command line in its environment (not on its
// command line, so that killing the office's processes by profile spares it), kills the
// office when it prints the request, and collects its output.
ChildResult RunCProgram(OfficeSession& session, const std::vector<std::string>& arguments) {
    int toChild[2];
    int fromChild[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0) return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
    posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
    posix_spawn_file_actions_addclose(&actions, toChild[1]);
    posix_spawn_file_actions_addclose(&actions, fromChild[0]);

    std::vector<std::string> env = {"CORVANE_TEST_COMMAND_LINE=" + session.HeadlessCommandLine()};
    for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& entry : env) envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<std::string> args = arguments;
    args.insert(args.begin(), C_API_TEST_PROGRAM);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int spawned =
        ::posix_spawn(&pid, C_API_TEST_PROGRAM, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(toChild[0]);
    ::close(fromChild[1]);
    ChildResult result;
    if (spawned == 0) {
        FILE* out = ::fdopen(fromChild[0], "r");
        char line[4096];
        while (std::fgets(line, sizeof line, out) != nullptr) {
            const std::string request = "@@kill-office@@ ";
            if (std::string(line).rfind(request, 0) == 0) {
                // The program's library started the office: the session ends it by its
                // process group.
                session.Adopt(static_cast<pid_t>(std::atol(line + request.size())));
                session.Kill();
                const char answer[] = "killed\n";
                if (::write(toChild[1], answer, sizeof answer - 1) < 0) break;
                continue;
            }
            result.output += line;
        }
        std::fclose(out);
        ::waitpid(pid, &result.status, 0);
    } else {
        ::close(fromChild[0]);
    }
    ::close(toChild[1]);
    return result;
}

Reference<css::sheet::XSpreadsheetDocument> LoadHidden(OfficeClient& client,
                                                       const std::string& path) {
    css::beans::PropertyValue hidden;
    hidden.Name = "Hidden";
    hidden.Value <<= true;
    const Reference<css::frame::XComponentLoader> loader(client.Desktop(), UNO_QUERY_THROW);
    return Reference<css::sheet::XSpreadsheetDocument>(
        loader->loadComponentFromURL(U(FileUrl(path)), "_blank", 0,
                                     css::uno::Sequence<css::beans::PropertyValue>(&hidden, 1)),
        UNO_QUERY_THROW);
}

// The program runs once, against an office its library starts; each group of its checks
// is a case here, and the copy it stored is then opened in an office of the test's own.
struct ProgramRun {
    OfficeSession session;
    TempDir dir;
    ChildResult result;
};
ProgramRun* theRun = nullptr;

ProgramRun& TheRun() {
    if (theRun == nullptr) {
        theRun = new ProgramRun;
        const std::string book = theRun->dir / "market watch.fods";
        const std::string secondBook = theRun->dir / "second.fods";
        WriteWorkbook(book, {"NSE", "BSE"});
        WriteWorkbook(secondBook, {"NSE", "BSE", "Options"});
        theRun->result = RunCProgram(theRun->session,
                                     {OfficeExecutable(), book, secondBook, theRun->dir.Path()});
    }
    return *theRun;
}

// Ends the run's offices once every case has looked at it.
class EndTheRun : public ::testing::Environment {
    void TearDown() override {
        delete theRun;
        theRun = nullptr;
    }
};
::testing::Environment* const endTheRun = ::testing::AddGlobalTestEnvironment(new EndTheRun);

// What the program printed for the group of checks `name`; "missing" when it never came
// to it.
std::string CaseOutput(const std::string& name) {
    const std::string& output = TheRun().result.output;
    const std::string mark = "@@case@@ " + name + "\n";
    const std::size_t start = output.find(mark);
    if (start == std::string::npos) return "missing";
    const std::size_t from = start + mark.size();
    const std::size_t end = output.find("@@case@@ ", from);
    return output.substr(from, end == std::string::npos ? end : end - from);
}

class CApiCase : public ::testing::TestWithParam<const char*> {};

TEST_P(CApiCase, PassesEveryCheck) {
    const std::string output = CaseOutput(GetParam());
    EXPECT_EQ(output.find("FAILED"), std::string::npos) << output;
    EXPECT_NE(output, "missing") << TheRun().result.output;
}

INSTANTIATE_TEST_SUITE_P(CApi, CApiCase,
                         ::testing::Values("before_any_connection", "live_options_refused",
                                           "warnings_reach_the_handler", "rows_in_a_live_office",
                                           "copies", "second_workbook",
                                           "disconnect_and_connect_again", "shutdown_and_restart",
                                           "office_killed"));

TEST(CApiProgram, EndsWellAndItsCopyOpensWithTheValues) {
    const ChildResult& run = TheRun().result;
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0) << run.output;
    EXPECT_NE(run.output.find(" passed, 0 failed"), std::string::npos) << run.output;

    // The stored copy, opened by an office of its own.
    OfficeClient& client = TheRun().session.Start();
    const Reference<css::sheet::XSpreadsheetDocument> copy =
        LoadHidden(client, TheRun().dir / "copy.ods");
    const Reference<css::sheet::XSpreadsheet> nse(copy->getSheets()->getByName("NSE"),
                                                  UNO_QUERY_THROW);
    const auto text = [&](int column, int row) {
        return S(Reference<css::text::XText>(nse->getCellByPosition(column, row), UNO_QUERY_THROW)
                     ->getString());
    };
    const auto cell = [&](int column, int row) { return nse->getCellByPosition(column, row); };
    EXPECT_EQ(text(0, 0), "Exchange");
    EXPECT_EQ(text(3, 0), "Best\nBuy Qty");
    EXPECT_EQ(text(0, 1), "NSE");
    EXPECT_EQ(text(1, 1), "Alpha Ltd");
    EXPECT_EQ(cell(2, 1)->getType(), css::table::CellContentType_VALUE);
    EXPECT_EQ(cell(2, 1)->getValue(), 500);
    EXPECT_EQ(cell(4, 1)->getValue(), 101.25);
    EXPECT_EQ(cell(5, 1)->getType(), css::table::CellContentType_EMPTY);  // a NULL field
    EXPECT_EQ(text(9, 1), "CE");
    EXPECT_EQ(cell(11, 1)->getValue(), 101.5);
    for (int column = 0; column < 42; ++column) {
        EXPECT_EQ(cell(column, 2)->getType(), css::table::CellContentType_EMPTY) << column;
    }
    const Reference<css::sheet::XSpreadsheet> bse(copy->getSheets()->getByName("BSE"),
                                                  UNO_QUERY_THROW);
    const auto bseText = [&](int column, int row) {
        return S(Reference<css::text::XText>(bse->getCellByPosition(column, row), UNO_QUERY_THROW)
                     ->getString());
    };
    EXPECT_EQ(bseText(1, 0), "Alpha Ltd");
    // The batched rows: 1 and 3 written, 2 kept as it was, 4 written with fast writes.
    for (int row : {1, 3, 4}) {
        EXPECT_EQ(bseText(1, row), "Alpha Ltd") << row;
        EXPECT_EQ(bse->getCellByPosition(2, row)->getValue(), 500) << row;
    }
    EXPECT_EQ(bseText(1, 2), "Kept Ltd");
    EXPECT_EQ(bse->getCellByPosition(2, 2)->getType(), css::table::CellContentType_EMPTY);
}

}  // namespace
}  // namespace corvane::test
