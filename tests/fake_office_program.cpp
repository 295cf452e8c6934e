// Stands in for the office executable in launch tests. It records what it was started
// with (argv, open descriptors, parent and session) into the file named by
// CORVANE_FAKE_OFFICE_RECORD, one "key value" line per fact, and exits. The file
// appears complete or not at all.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    const char* record = std::getenv("CORVANE_FAKE_OFFICE_RECORD");
    if (record == nullptr) return 2;
    // Descriptors are listed before the record file adds one of its own.
    std::string facts;
    if (DIR* fds = ::opendir("/proc/self/fd")) {
        while (dirent* entry = ::readdir(fds)) {
            if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == ::dirfd(fds)) continue;
            facts += std::string("fd ") + entry->d_name + "\n";
        }
        ::closedir(fds);
    }
    facts += "ppid " + std::to_string(::getppid()) + "\n";
    facts += "sid " + std::to_string(::getsid(0)) + "\n";
    for (int i = 0; i < argc; ++i) facts += std::string("arg ") + argv[i] + "\n";

    const std::string partial = std::string(record) + ".partial";
    {
        std::ofstream out(partial, std::ios::trunc);
        out << facts;
    }
    return std::rename(partial.c_str(), record) == 0 ? 0 : 1;
}
