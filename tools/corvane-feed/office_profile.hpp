// A throw-away office user profile: made for one run, seeded so that the office skips
// its first-start work, and removed at the end together with any office still on it.
#pragma once

#include <chrono>
#include <string>

namespace corvane::feed {

class OfficeProfile {
  public:
    OfficeProfile() = default;
    // Removes the profile (see Remove).
    ~OfficeProfile();
    OfficeProfile(const OfficeProfile&) = delete;
    OfficeProfile& operator=(const OfficeProfile&) = delete;

    // Makes a fresh profile under the temporary directory. Returns "" or why not.
    std::string Create();
    bool Exists() const { return !dir_.empty(); }
    const std::string& Directory() const { return dir_; }

    // The office command line for a headless office on this profile that accepts on
    // the pipe "ooo_pipe", the office path first in double quotes.
    std::string HeadlessCommandLine(const std::string& office) const;

    // The profile's file URL, as the office's command line names it.
    std::string Url() const;
    // Waits up to `grace` for the office that the library started (the process group
    // corvane_office_pid names) to end, then kills the group.
    static void EndOffice(std::chrono::milliseconds grace);
    // Ends the office the library started and deletes the profile. Safe to call twice.
    void Remove();
    // Leaves the profile in place (the office on it keeps running).
    void Keep() { dir_.clear(); }

  private:
    std::string dir_;
};

// The file URL of an absolute path, with every byte that is not plainly safe escaped.
std::string FileUrl(const std::string& path);

}  // namespace corvane::feed
