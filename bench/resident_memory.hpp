// Resident memory of a process, for the benchmarks' memory figures.
#pragma once

#include <unistd.h>

#include <fstream>
#include <string>

namespace corvane::bench {

// Resident set size in KiB of the process `pid` ("self": this one); 0 when unknown.
inline long ResidentKiB(const std::string& pid = "self") {
    std::ifstream statm("/proc/" + pid + "/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace corvane::bench
