#include "office/office_profile.hpp"

#include <com/sun/star/lang/XMultiComponentFactory.hpp>
#include <com/sun/star/util/XStringSubstitution.hpp>
#include <osl/file.hxx>
#include <rtl/uri.hxx>

#include <filesystem>

#include "office/connection.hpp"
#include "office/host_text.hpp"
#include "office/stale_lock.hpp"

namespace corvane::office {

using css::uno::Reference;
using css::uno::UNO_QUERY;

std::string OfficeProfileUrl(const Reference<css::uno::XComponentContext>& office) {
    if (!office.is()) return {};
    const Reference<css::lang::XMultiComponentFactory> factory = office->getServiceManager();
    if (!factory.is()) return {};
    const Reference<css::util::XStringSubstitution> paths(
        factory->createInstanceWithContext("com.sun.star.util.PathSubstitution", office),
        UNO_QUERY);
    if (!paths.is()) return {};
    std::string user = ToUtf8(paths->getSubstituteVariableValue("$(user)"));
    while (!user.empty() && user.back() == '/') user.pop_back();
    constexpr char kUser[] = "/user";
    constexpr std::size_t kUserLength = sizeof(kUser) - 1;
    if (user.size() <= kUserLength || user.compare(user.size() - kUserLength, kUserLength, kUser))
        return {};
    return user.substr(0, user.size() - kUserLength);
}

bool SameFolderUrl(const std::string& a, const std::string& b) {
    const auto plain = [](const std::string& url) {
        rtl::OUString path;
        if (osl::FileBase::getSystemPathFromFileURL(FromHostText(url.c_str()), path) !=
            osl::FileBase::E_None)
            return std::string();
        std::string text = ToUtf8(path);
        while (text.size() > 1 && text.back() == '/') text.pop_back();
        return text;
    };
    const std::string left = plain(a);
    return !left.empty() && left == plain(b);
}

int RemoveUnusedProfiles(const std::string& directory, const std::string& prefix,
                         std::chrono::seconds age) {
    int removed = 0;
    std::error_code error;
    const auto now = std::filesystem::file_time_type::clock::now();
    for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0 || !entry.is_directory(error) || entry.is_symlink(error))
            continue;
        // A folder just made may not hold its office's lock yet: only older ones count.
        const auto changed = std::filesystem::last_write_time(entry.path(), error);
        if (error || now - changed < age) continue;
        if (ProfileInUse(MakeFileUrl(entry.path().c_str()))) continue;
        if (std::filesystem::remove_all(entry.path(), error) > 0 && !error) ++removed;
    }
    return removed;
}

}  // namespace corvane::office
