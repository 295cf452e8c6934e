// CPU time of a process and the processes it started, for the benchmarks' office load.
#pragma once

#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace corvane::bench {

// User and system CPU seconds of `pid` and, through the children the kernel lists for
// its threads, of every process below it (the office's launcher and the office it forked); 0 when
// the process is gone.
inline double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line)) return 0;
    // The fields after the command name, which may hold blanks, in parentheses.
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    unsigned long long user = 0, system = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) user = std::stoull(field);
        if (i == 15) system = std::stoull(field);
    }
    double seconds =
        static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
    // Each thread lists the children it started.
    std::error_code failed;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", failed)) {
        std::ifstream children(task.path() / "children");
        for (pid_t child = 0; children >> child;) seconds += CpuSeconds(child);
    }
    return seconds;
}

}  // namespace corvane::bench
