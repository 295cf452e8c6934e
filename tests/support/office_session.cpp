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

#include "support/workbook_files.hpp"

extern char** environ;

namespace corvane::test {
namespace {

constexpr char kProfilePrefix[] = "corvane-office-";
constexpr char kAccept[] = "--accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager";

// Processes whose command line contains `needle`.
std::vector<pid_t> ProcessesMentioning(const std::string& needle) {
    std::vector<pid_t> pids;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return pids;
    while (dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
        if (pid <= 0 || pid == ::getpid()) continue;
        std::ifstream in("/proc/" + std::string(entry->d_name) + "/cmdline", std::ios::binary);
        const std::string cmdline((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        if (cmdline.find(needle) != std::string::npos) pids.push_back(pid);
    }
    ::closedir(proc);
    return pids;
}

void KillAndWait(const std::string& needle) {
    for (int round = 0; round < 200; ++round) {
        const std::vector<pid_t> pids = ProcessesMentioning(needle);
        if (pids.empty()) return;
        for (pid_t pid : pids) ::kill(pid, SIGKILL);
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

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

}  // namespace

std::string OfficeExecutable() { return CORVANE_OFFICE_PROGRAM_DIR "/soffice"; }

void SeedProfile(const std::string& dir) {
    std::filesystem::create_directories(dir + "/user");
    std::ofstream out(dir + "/user/registrymodifications.xcu");
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
           "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
           "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" "
           "oor:op=\"fuse\"><value>7.4</value></prop></item>\n"
           "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop "
           "oor:name=\"ShowTipOfTheDay\" oor:op=\"fuse\"><value>false</value></prop></item>\n"
           "<item oor:path=\"/org.openoffice.Office.Common/Misc\"><prop "
           "oor:name=\"FirstRun\" oor:op=\"fuse\"><value>false</value></prop></item>\n"
           "</oor:items>\n";
}

OfficeSession::OfficeSession() {
    lockFd_ = ::open("/tmp/corvane-office-tests.lock", O_CREAT | O_RDWR | O_CLOEXEC, 0666);
    if (lockFd_ < 0 || ::flock(lockFd_, LOCK_EX) != 0)
        throw std::runtime_error("cannot lock the office pipe");
    // Offices left over by an earlier run that crashed would answer on the pipe.
    KillAndWait(std::string("/") + kProfilePrefix);
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
        for (int i = 0; i < 100 && !Processes().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Kill();
    if (started_ > 0) ::waitpid(started_, nullptr, 0);
    std::error_code ignored;
    for (const std::string& file : OfficePipeFiles()) {
        if (!std::binary_search(pipeFilesBefore_.begin(), pipeFilesBefore_.end(), file))
            std::filesystem::remove(file, ignored);
    }
    std::filesystem::remove_all(profileDir_, ignored);
    ::close(lockFd_);
}

std::string OfficeSession::HeadlessCommandLine() const {
    return "\"" + OfficeExecutable() +
           "\" --headless --norestore \"-env:UserInstallation=" + FileUrl(profileDir_) + "\" " +
           kAccept;
}

std::string OfficeSession::InvisibleCommandLine() const {
    return "\"" + OfficeExecutable() +
           "\" -invisible --norestore \"-env:UserInstallation=" + FileUrl(profileDir_) + "\" " +
           kAccept;
}

OfficeClient& OfficeSession::Start() {
    const std::string profile = "-env:UserInstallation=" + FileUrl(profileDir_);
    const std::string program = OfficeExecutable();
    std::vector<std::string> args = {program, "--headless", "--norestore", profile, kAccept};
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (::posix_spawn(&started_, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0)
        throw std::runtime_error("cannot start " + program);
    return Client();
}

OfficeClient& OfficeSession::Client(std::chrono::milliseconds timeout) {
    if (!client_) client_ = OfficeClient::Connect(timeout);
    if (!client_) throw std::runtime_error("no office accepts on ooo_pipe");
    return *client_;
}

std::vector<pid_t> OfficeSession::Processes() const { return ProcessesMentioning(profileDir_); }

void OfficeSession::Kill() {
    client_.reset();
    KillAndWait(profileDir_);
}

}  // namespace corvane::test
