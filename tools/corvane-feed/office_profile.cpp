#include "office_profile.hpp"

#include <corvane/corvane.h>
#include <corvane_profile_seed.hpp>

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

// The office skips its first-start step (about half a second) and its dialogs.
bool Seed(const std::string& dir) {
    std::error_code error;
    std::filesystem::create_directories(dir + "/user", error);
    std::ofstream out(dir + "/user/registrymodifications.xcu");
    out << kProfileSeed;
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

void OfficeProfile::EndOffice(std::chrono::milliseconds grace) {
    const pid_t office = corvane_office_pid();
    if (office <= 0) return;
    constexpr auto kPause = std::chrono::milliseconds(50);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (corvane_office_pid() != 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(kPause);
    if (corvane_office_pid() == 0) return;
    ::kill(-office, SIGKILL);
    for (int waited = 0; corvane_office_pid() != 0 && waited < 100; ++waited)
        std::this_thread::sleep_for(kPause);
}

void OfficeProfile::Remove() {
    if (dir_.empty()) return;
    EndOffice(std::chrono::milliseconds(0));
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
    dir_.clear();
}

}  // namespace corvane::feed
