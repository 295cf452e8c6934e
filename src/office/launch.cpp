#include "office/launch.hpp"

#include <string>

#include "host/office_link.hpp"
#include "office/office_api.hpp"
#include "office/probe.hpp"
#include "platform/command_line.hpp"
#include "platform/files.hpp"
#include "platform/process.hpp"

namespace corvane::office {

void LaunchOffice() {
    OfficeLink& link = Link();
    if (!link.officePath.IsEmpty() && link.commandLine.IsEmpty()) {
        const std::string defaultLine =
            platform::QuoteProgramName(link.officePath.GetString()) + kDefaultOptions;
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
        if (ProbeOffice() != 0) return;
        link.context.clear();
    }
    // A program that cannot be started shows nothing: the connection that follows
    // fails and reports it.
    platform::StartDetachedProcess(link.officePath.GetString(), link.commandLine.GetString());
}

}  // namespace corvane::office
