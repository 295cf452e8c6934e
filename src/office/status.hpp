// Why an office-level operation ended the way it did, carried from the office and
// sheet layers up to the exports, the C API and the tool.
#pragma once

namespace corvane::office {

enum class Status {
    Ok,
    Argument,      // a required argument is missing, empty or out of range
    NotConnected,  // no workbook is loaded
    NoOffice,      // no office answered on the pipe
    LoadFailed,    // the office answered but the workbook did not load
    NoSheet,       // the workbook has no sheet of that name
    OfficeGone,    // the office went away during the call
    TimedOut,      // the office did not answer within the call deadline
    OfficeError,   // the office raised an error
    SaveFailed,    // a copy of the workbook could not be stored
};

}  // namespace corvane::office
