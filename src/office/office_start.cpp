#include "office/office_start.hpp"

#include <corvane_profile_seed.hpp>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "office/office_api.hpp"
#include "platform/command_line.hpp"

namespace corvane::office {

std::string PathFileUrl(const std::string& path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = "file://";
    for (const unsigned char c : path) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || (c != '\0' && std::strchr("/-._~", c));
        if (safe) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHex[c >> 4];
            url += kHex[c & 15];
        }
    }
    return url;
}

std::string DefaultOfficeCommandLine(const std::string& program) {
    // No window, and UNO connections accepted on the pipe the library resolves.
    return platform::QuoteProgramName(program) + " -invisible -accept=" + AcceptArgument();
}

std::vector<std::string> ProfileOfficeArguments(const std::string& profileDir, bool invisible,
                                                const std::string& pipe) {
    return {invisible ? "--invisible" : "--headless", "--norestore", "--nologo",
            "-env:UserInstallation=" + PathFileUrl(profileDir), "--accept=" + AcceptArgument(pipe)};
}

std::string ProfileOfficeCommandLine(const std::string& program, const std::string& profileDir,
                                     bool invisible, const std::string& pipe) {
    // The profile's URL has no spaces or quotes left; it is quoted all the same.
    std::string line = platform::QuoteProgramName(program);
    for (const std::string& argument : ProfileOfficeArguments(profileDir, invisible, pipe)) {
        const bool quote = argument.rfind("-env:", 0) == 0;
        line += quote ? " \"" + argument + "\"" : " " + argument;
    }
    return line;
}

bool SeedProfile(const std::string& profileDir) {
    const std::string user = profileDir + "/user";
    const std::string settings = user + "/registrymodifications.xcu";
    std::error_code error;
    std::filesystem::create_directories(user, error);
    if (std::filesystem::exists(settings, error)) return true;
    std::ofstream out(settings);
    out << kProfileSeed;
    out.close();
    return static_cast<bool>(out);
}

}  // namespace corvane::office
