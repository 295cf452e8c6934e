// The pipe the library's offices accept UNO connections on, and how its name becomes an
// office's accept argument and a client's UNO URL: the one place that spells them. Needs
// no UNO: the tool and the tests compile it in.
#pragma once

#include <string>
#include <string_view>

namespace corvane::office {

inline constexpr char kOfficePipe[] = "ooo_pipe";

// What an office's --accept= takes to offer its service manager on `pipe`.
inline std::string AcceptArgument(std::string_view pipe = kOfficePipe) {
    return "pipe,name=" + std::string(pipe) + ";urp;StarOffice.ServiceManager";
}

// The UNO URL by which a client resolves the service manager offered on `pipe`.
inline std::string ConnectionUrl(std::string_view pipe = kOfficePipe) {
    return "uno:" + AcceptArgument(pipe);
}

}  // namespace corvane::office
