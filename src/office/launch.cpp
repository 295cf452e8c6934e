#include "office/launch.hpp"

#include <string>

#include "office/office_api.hpp"
#include "office/office_start.hpp"
#include "office/probe.hpp"
#include "platform/command_line.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"

namespace corvane::office {

void LaunchOffice(Session& link) {
    if (!link.officePath.IsEmpty() && link.commandLine.IsEmpty()) {
        const std::string defaultLine = DefaultOfficeCommandLine(link.officePath.GetString());
        link.commandLine.SetString(defaultLine.c_str());
    }
    if (link.officePath.IsEmpty() || link.commandLine.IsEmpty()) {
        link.warnings.Show(kConfigurationMissing);
        return;
    }
    if (!platform::PathExists(link.workbookPath.GetString())) {
        link.warnings.Show(kWorkbookMissing);
        return;
    }
    if (link.context.is()) {
        if (ProbeOffice(link) != 0) return;
        link.context.clear();
    }
    // An office this library started that still runs is only not accepting yet (or is
    // stopped): another one on the same profile would race it for the pipe.
    if (link.OfficePid() != 0) return;
    // A program that cannot be started shows nothing: the connection that follows
    // fails and reports it.
    const pid_t started =
        platform::StartDetachedProcess(link.officePath.GetString(), link.commandLine.GetString());
    if (started > 0) link.launched.push_back(started);
}

}  // namespace corvane::office
