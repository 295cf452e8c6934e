#include "office/launch.hpp"

#include <string>

#include "office/office_api.hpp"
#include "office/office_start.hpp"
#include "office/probe.hpp"
#include "platform/files.hpp"

namespace corvane::office {

OfficeLaunch SessionLaunch(Session& link, bool scratchProfile) {
    if (!scratchProfile && !link.officePath.IsEmpty() && link.commandLine.IsEmpty()) {
        const std::string defaultLine = DefaultOfficeCommandLine(link.officePath.GetString());
        link.commandLine.SetString(defaultLine.c_str());
    }
    OfficeLaunch launch;
    launch.program = link.officePath.GetString();
    if (!scratchProfile) launch.commandLine = link.commandLine.GetString();
    return launch;
}

bool LaunchOffice(Session& link, OfficeProvider& offices, const OfficeLaunch& launch) {
    if (launch.program.empty()) {
        link.warnings.Show(kConfigurationMissing);
        return false;
    }
    if (!platform::PathExists(link.workbookPath.GetString())) {
        link.warnings.Show(kWorkbookMissing);
        return false;
    }
    if (link.context.is()) {
        if (ProbeOffice(link) != 0) return true;
        link.context.clear();
    }
    // An office this library started that still runs is only not accepting yet (or is
    // stopped): another one on the same profile would race it for the pipe. A program
    // that cannot be started shows nothing: the connection that follows fails and
    // reports it.
    offices.StartUnlessRunning(launch);
    return true;
}

}  // namespace corvane::office
