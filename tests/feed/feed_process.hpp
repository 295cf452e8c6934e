// corvane-feed run as a child process by the office tests: its input from a file or a
// pipe, its output in files; and reading back what it wrote through the test's own
// connection to the office.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/text/XText.hpp>

#include <chrono>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/office_session.hpp"
#include "support/workbook_files.hpp"

extern char** environ;

namespace corvane::test {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// One run of corvane-feed with its input from a file or a pipe, its output in files.
class Feed {
  public:
    // `input`: the text on standard input; without it standard input is a pipe that
    // Write feeds. `tmp`: the program's TMPDIR, when set.
    Feed(const TempDir& dir, std::vector<std::string> args, const std::string* input,
         const std::string& tmp = "")
        : out_(dir / "feed.out"), err_(dir / "feed.err") {
        std::vector<std::string> argv = {CORVANE_FEED_PROGRAM};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (std::string& arg : argv) raw.push_back(arg.data());
        raw.push_back(nullptr);
        std::vector<std::string> env;
        for (char** e = environ; *e != nullptr; ++e)
            if (tmp.empty() || std::string(*e).rfind("TMPDIR=", 0) != 0) env.emplace_back(*e);
        if (!tmp.empty()) env.push_back("TMPDIR=" + tmp);
        std::vector<char*> rawEnv;
        for (std::string& e : env) rawEnv.push_back(e.data());
        rawEnv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        int pipeEnds[2] = {-1, -1};
        if (input != nullptr) {
            const std::string inPath = dir / "feed.in";
            std::ofstream(inPath, std::ios::binary) << *input;
            posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
        } else {
            EXPECT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
            posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 0);
        }
        posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        EXPECT_EQ(::posix_spawn(&pid_, raw[0], &actions, nullptr, raw.data(), rawEnv.data()), 0);
        posix_spawn_file_actions_destroy(&actions);
        if (input == nullptr) {
            ::close(pipeEnds[0]);
            stdin_ = pipeEnds[1];
        }
    }
    ~Feed() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            Wait();
        }
        if (stdin_ >= 0) ::close(stdin_);
    }

    void Write(const std::string& text) {
        ASSERT_EQ(::write(stdin_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    ssize_t TryWrite(const std::string& text) { return ::write(stdin_, text.data(), text.size()); }
    // Ends the program's input.
    void CloseInput() {
        ::close(stdin_);
        stdin_ = -1;
    }
    void Signal(int signal) { ::kill(pid_, signal); }
    // The exit status, or -2 when the program is still running after `longest`.
    int WaitAtMost(std::chrono::seconds longest) {
        const auto end = std::chrono::steady_clock::now() + longest;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > end) return -2;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // The exit status; -1 when the program did not exit normally.
    int Wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string Out() const { return ReadFile(out_); }
    std::string Err() const { return ReadFile(err_); }

  private:
    std::string out_, err_;
    pid_t pid_ = -1;
    int stdin_ = -1;
};

// A finished run: exit status and standard error.
struct Finished {
    int status;
    std::string out, err;
};
inline Finished RunFeed(const TempDir& dir, const std::vector<std::string>& args,
                        const std::string& input, const std::string& tmp = "") {
    Feed feed(dir, args, &input, tmp);
    const int status = feed.Wait();
    return {status, feed.Out(), feed.Err()};
}

inline Reference<css::table::XCell> Cell(const Reference<css::sheet::XSpreadsheet>& sheet,
                                         int column, int row) {
    return sheet->getCellByPosition(column, row);
}
inline std::string Text(const Reference<css::sheet::XSpreadsheet>& sheet, int column, int row) {
    return S(Reference<css::text::XText>(Cell(sheet, column, row), UNO_QUERY_THROW)->getString());
}

// Waits until `done` holds, for a program that works while the test watches.
template <typename Condition>
bool Eventually(Condition done) {
    for (int i = 0; i < 600; ++i) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

// Waits until the workbook `book` is open in the session's office and the cell holds
// `text`.
inline bool EventuallyHolds(OfficeSession& session, const std::string& book, int column, int row,
                            const std::string& text) {
    return Eventually([&] {
        try {
            return session.Client().Document(FileUrl(book)).is() &&
                   Text(session.Client().Sheet(FileUrl(book), "NSE"), column, row) == text;
        } catch (const std::exception&) {
            return false;
        } catch (const css::uno::Exception&) {
            return false;
        }
    });
}

// Whether an office still answers on the pipe; one that does is ended through its own
// terminate call.
inline bool OfficeStillAnswers() {
    const std::unique_ptr<OfficeClient> client = OfficeClient::Connect(std::chrono::seconds(1));
    if (!client) return false;
    client->Terminate();
    return true;
}

}  // namespace corvane::test
