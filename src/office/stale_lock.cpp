#include "office/stale_lock.hpp"

#include <rtl/digest.h>
#include <osl/file.hxx>
#include <rtl/ustring.hxx>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "office/host_text.hpp"
#include "platform/files.hpp"
#include "platform/local_pipe.hpp"

namespace corvane::office {
namespace {

// The fields of a lock file: "<name>,<user>,<host>,<date>,<profile URL>;", with '\'
// escaping a separator or itself.
std::vector<std::string> LockFields(const std::string& text) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            fields.back() += text[++i];
        } else if (c == ',') {
            fields.emplace_back();
        } else if (c == ';') {
            break;
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string SystemPath(const std::string& fileUrl) {
    rtl::OUString path;
    if (osl::FileBase::getSystemPathFromFileURL(FromHostText(fileUrl.c_str()), path) !=
        osl::FileBase::E_None)
        return {};
    return ToUtf8(path);
}

// The socket of the single-instance pipe that an office running on the profile at
// `profileUrl` listens on: named after the MD5 of the URL's UTF-16 characters.
std::string InstancePipe(const std::string& profileUrl) {
    const rtl::OUString url = FromHostText(profileUrl.c_str());
    sal_uInt8 digest[RTL_DIGEST_LENGTH_MD5];
    if (rtl_digest_MD5(url.getStr(), static_cast<sal_uInt32>(url.getLength() * sizeof(sal_Unicode)),
                       digest, sizeof(digest)) != rtl_Digest_E_None)
        return {};
    // The office writes each byte in hex without a leading zero ("0a" as "a").
    std::string hex;
    char byte[3];
    for (const sal_uInt8 b : digest) {
        std::snprintf(byte, sizeof(byte), "%x", b);
        hex += byte;
    }
    return "/tmp/OSL_PIPE_" + std::to_string(platform::UserId()) + "_SingleOfficeIPC_" + hex;
}

}  // namespace

bool ProfileInUse(const std::string& profileUrl) {
    const std::string profile = SystemPath(profileUrl);
    if (profile.empty()) return true;  // not a local folder: cannot tell
    if (!platform::PathExists(profile.c_str())) return false;
    // A running office keeps its profile lock. One with a single-instance pipe listens on
    // it for as long as it runs, stopped or not, and a killed one leaves the socket
    // behind with nobody listening; before it opened the pipe there is no socket at all,
    // which proves nothing.
    if (!platform::PathExists((profile + "/.lock").c_str())) return false;
    if (ReadFile(profile + "/.lock").find("IPCServer=true") == std::string::npos) return true;
    return platform::ProbeLocalSocket(InstancePipe(profileUrl)) != platform::SocketState::Refused;
}

std::string LockFileFor(const std::string& documentUrl) {
    const std::string path = SystemPath(documentUrl);
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return path.substr(0, slash + 1) + ".~lock." + path.substr(slash + 1) + "#";
}

std::string RemoveStaleLock(const std::string& documentUrl) {
    const std::string lock = LockFileFor(documentUrl);
    if (lock.empty()) return {};
    const std::string text = ReadFile(lock);
    const std::vector<std::string> fields = LockFields(text);
    if (text.empty() || fields.size() < 5) return {};
    const std::string& user = fields[1];
    const std::string& host = fields[2];
    const std::string& profileUrl = fields[4];
    if (host.empty() || host != platform::HostName() || user != platform::UserName()) return {};
    if (profileUrl.rfind("file:", 0) != 0 || ProfileInUse(profileUrl)) return {};
    return std::remove(lock.c_str()) == 0 ? lock : std::string();
}

}  // namespace corvane::office
