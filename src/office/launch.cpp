#include "office/launch.hpp"

#include <string>

#include "office/office_api.hpp"
#include "office/office_start.hpp"
#include "office/probe.hpp"
#include "platform/files.hpp"

namespace corvane::office {

OfficeLaunch SessionLaunch(const Session& link, bool scratchProfile) {
    const SessionConfig& config = link.Config();
    OfficeLaunch launch;
    launch.program = config.officePath;
    // An office program without a command line is started with the default one.
    if (!scratchProfile)
        launch.commandLine = !config.officePath.empty() && config.commandLine.empty()
                                 ? DefaultOfficeCommandLine(config.officePath)
                                 : config.commandLine;
    return launch;
}

bool LaunchOffice(Session& link, OfficeProvider& offices, const OfficeLaunch& launch) {
    if (launch.program.empty()) {
        link.Warn(kConfigurationMissing);
        return false;
    }
    if (!platform::PathExists(link.Config().workbookPath.c_str())) {
        link.Warn(kWorkbookMissing);
        return false;
    }
    if (link.Context().is()) {
        if (ProbeOffice(link) != 0) return true;
        link.DropContext();
    }
    // An office this library started that still runs is only not accepting yet (or is
    // stopped): another one on the same profile would race it for the pipe. A program
    // that cannot be started shows nothing: the connection that follows fails and
    // reports it.
    offices.StartUnlessRunning(launch);
    return true;
}

}  // namespace corvane::office
