// Making sure an office is running before the library connects to it.
#pragma once

#include "office/office_provider.hpp"
#include "office/session.hpp"

namespace corvane::office {

// How the session's configuration starts an office: its program and command line, the
// command line completed with its default unless `scratchProfile` asks for a headless
// office on a throw-away profile of the provider's.
OfficeLaunch SessionLaunch(const Session& session, bool scratchProfile);

// Warns about a missing configuration or workbook, keeps an office that still answers,
// and otherwise has the provider start the configured office (unless one it started
// runs) without waiting for it to accept. False when the configuration or the workbook
// is missing: no office is to be started for it.
bool LaunchOffice(Session& session, OfficeProvider& offices, const OfficeLaunch& launch);

}  // namespace corvane::office
