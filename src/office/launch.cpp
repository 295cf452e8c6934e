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
    const SessionConfig& config = link.Config();
    // An office program without a command line is started with the default one.
    const std::string commandLine = !config.officePath.empty() && config.commandLine.empty()
                                        ? DefaultOfficeCommandLine(config.officePath)
                                        : config.commandLine;
    if (config.officePath.empty() || commandLine.empty()) {
        link.Warn(kConfigurationMissing);
        return;
    }
    if (!platform::PathExists(config.workbookPath.c_str())) {
        link.Warn(kWorkbookMissing);
        return;
    }
    if (link.Context().is()) {
        if (ProbeOffice(link) != 0) return;
        link.DropContext();
    }
    // An office this library started that still runs is only not accepting yet (or is
    // stopped): another one on the same profile would race it for the pipe.
    if (link.OfficePid() != 0) return;
    // A program that cannot be started shows nothing: the connection that follows
    // fails and reports it.
    const pid_t started =
        platform::StartDetachedProcess(config.officePath.c_str(), commandLine.c_str());
    if (started > 0) link.NoteLaunched(started);
}

}  // namespace corvane::office
