#include "support/office_session.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "office/office_start.hpp"
#include "support/workbook_files.hpp"

extern char** environ;

namespace corvane::test {
namespace {

constexpr char kProfilePrefix[] = "corvane-profile-";

// The office's pipe files: its acceptor's and its single-instance pipe's.
std::vector<std::string> OfficePipeFiles() {
    std::vector<std::string> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/tmp", error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("OSL_PIPE_" + std::to_string(::getuid()) + "_", 0) == 0)
            files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Whether the process group's leader still runs (an ended one that nobody reaped yet
// does not).
bool LeaderRuns(pid_t leader) {
    std::ifstream in("/proc/" + std::to_string(leader) + "/stat");
    std::string line;
    std::getline(in, line);
    const std::string::size_type end = line.rfind(')');
    return end != std::string::npos && end + 2 < line.size() && line[end + 2] != 'Z';
}

}  // namespace

pid_t StartInOwnGroup(std::vector<std::string> args, const std::string& output) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    // Not the test's output: a program that outlived a crashed test would hold the test
    // runner's pipe open, and the runner would wait for it.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) throw std::runtime_error("cannot start " + args[0]);
    return pid;
}

std::string OfficeExecutable() { return CORVANE_OFFICE_PROGRAM_DIR "/soffice"; }

void SeedProfile(const std::string& dir) {
    if (!office::SeedProfile(dir))
        throw std::runtime_error("cannot seed the office profile " + dir);
}

OfficeSession::OfficeSession() {
    lockFd_ = ::open("/tmp/corvane-office-tests.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    if (lockFd_ < 0 || ::flock(lockFd_, LOCK_EX) != 0)
        throw std::runtime_error("cannot lock the office pipe");
    std::string pattern = (std::filesystem::temp_directory_path() / kProfilePrefix).string();
    pattern += "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    profileDir_ = pattern;
    SeedProfile(profileDir_);
    pipeFilesBefore_ = OfficePipeFiles();
}

OfficeSession::~OfficeSession() {
    if (client_) {
        client_->Terminate();
        client_.reset();
        for (int i = 0; i < 100 && Running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Kill();
    if (started_ > 0) ::waitpid(started_, nullptr, 0);
    std::error_code ignored;
    for (const std::string& file : OfficePipeFiles()) {
        if (!std::binary_search(pipeFilesBefore_.begin(), pipeFilesBefore_.end(), file))
            std::filesystem::remove(file, ignored);
    }
    // An office the test had the library or the feed start is ended by them, and may
    // still write into its profile while it exits: removal is tried until it holds.
    for (int i = 0; i < 100; ++i) {
        std::filesystem::remove_all(profileDir_, ignored);
        if (!std::filesystem::exists(profileDir_, ignored)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ::close(lockFd_);
}

std::string OfficeSession::HeadlessCommandLine() const {
    return office::ProfileOfficeCommandLine(OfficeExecutable(), profileDir_, false);
}

std::string OfficeSession::InvisibleCommandLine() const {
    return office::ProfileOfficeCommandLine(OfficeExecutable(), profileDir_, true);
}

OfficeClient& OfficeSession::Start() {
    std::vector<std::string> args{OfficeExecutable()};
    for (std::string& arg : office::ProfileOfficeArguments(profileDir_, false))
        args.push_back(std::move(arg));
    started_ = StartInOwnGroup(args);
    return Client();
}

OfficeClient& OfficeSession::Client(std::chrono::milliseconds timeout) {
    if (!client_) client_ = OfficeClient::Connect(timeout);
    if (!client_) throw std::runtime_error("no office accepts on ooo_pipe");
    return *client_;
}

bool OfficeSession::Running() const { return started_ > 0 && LeaderRuns(started_); }

void OfficeSession::Signal(int signal) const {
    if (started_ > 0) ::kill(-started_, signal);
}

void OfficeSession::Kill() {
    client_.reset();
    if (started_ > 0) {
        ::kill(-started_, SIGCONT);  // a stopped office must not hold its client's calls
        ::kill(-started_, SIGKILL);
        ::waitpid(started_, nullptr, 0);
        for (int i = 0; i < 500 && LeaderRuns(started_); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        started_ = -1;
    }
}

}  // namespace corvane::test
