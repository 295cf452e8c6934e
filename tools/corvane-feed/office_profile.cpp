#include "office_profile.hpp"

#include <corvane/corvane.h>

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

#include "office/office_start.hpp"

namespace corvane::feed {
namespace {

constexpr char kProfilePrefix[] = "corvane-feed-";

}  // namespace

std::string FileUrl(const std::string& path) { return office::PathFileUrl(path); }

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
    if (!office::SeedProfile(dir_)) return "cannot write the office profile " + dir_;
    return {};
}

std::string OfficeProfile::HeadlessCommandLine(const std::string& office) const {
    return office::ProfileOfficeCommandLine(office, dir_, false);
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
