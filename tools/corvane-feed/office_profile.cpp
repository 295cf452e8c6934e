#include "office_profile.hpp"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace corvane::feed {
namespace {

constexpr char kProfilePrefix[] = "corvane-feed-";
constexpr char kAccept[] = "--accept=pipe,name=ooo_pipe;urp;StarOffice.ServiceManager";

// Processes whose command line contains `needle`.
std::vector<pid_t> ProcessesMentioning(const std::string& needle) {
    std::vector<pid_t> pids;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return pids;
    while (const dirent* entry = ::readdir(proc)) {
        const pid_t pid = static_cast<pid_t>(std::atol(entry->d_name));
        if (pid <= 0 || pid == ::getpid()) continue;
        std::ifstream in(std::string("/proc/") + entry->d_name + "/cmdline", std::ios::binary);
        const std::string cmdline((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
        if (cmdline.find(needle) != std::string::npos) pids.push_back(pid);
    }
    ::closedir(proc);
    return pids;
}

// The office skips its first-start step (about half a second) and its dialogs.
bool Seed(const std::string& dir) {
    std::error_code error;
    std::filesystem::create_directories(dir + "/user", error);
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
    out.close();
    return static_cast<bool>(out);
}

}  // namespace

std::string FileUrl(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (unsigned char c : path) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || std::strchr("/-._~", c) != nullptr;
        if (safe && c != '\0') {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

void KillOfficeOn(const std::string& profileUrl) {
    for (int round = 0; round < 100; ++round) {
        const std::vector<pid_t> left = ProcessesMentioning(profileUrl);
        if (left.empty()) return;
        for (pid_t pid : left) ::kill(pid, SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

OfficeProfile::~OfficeProfile() { Remove(); }

std::string OfficeProfile::Url() const { return FileUrl(dir_); }

std::string OfficeProfile::Create() {
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    if (error) return "no temporary directory: " + error.message();
    std::string pattern = (temp / kProfilePrefix).string() + "XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        return "cannot create an office profile in " + temp.string() + ": " + std::strerror(errno);
    dir_ = pattern;
    if (!Seed(dir_)) return "cannot write the office profile " + dir_;
    return {};
}

std::string OfficeProfile::HeadlessCommandLine(const std::string& office) const {
    // Inside the quoted program name a quote is doubled, as the command line is split.
    std::string quoted = "\"";
    for (char c : office) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\" --headless --norestore --nologo \"-env:UserInstallation=" + FileUrl(dir_) +
           "\" " + kAccept;
}

std::vector<pid_t> OfficeProfile::Processes() const {
    if (dir_.empty()) return {};
    return ProcessesMentioning(Url());
}

void OfficeProfile::EndOffice(std::chrono::milliseconds grace) const {
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!Processes().empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!dir_.empty()) KillOfficeOn(Url());
}

void OfficeProfile::Remove() {
    if (dir_.empty()) return;
    EndOffice(std::chrono::milliseconds(0));
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    dir_.clear();
}

}  // namespace corvane::feed
