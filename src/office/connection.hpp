// Joining the office over the UNO remote protocol and loading the host's workbook.
#pragma once

#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/uno/Reference.hxx>

#include <string>

namespace corvane::office {

// Connects to the office listening on the pipe "ooo_pipe", loads the workbook named
// by the link state into a new frame and stores the workbook and its sheets there
// (the sheet count on the first load that has sheets). Returns the office's service
// factory, or an empty reference when anything failed; connection errors are printed
// as single lines on standard output. Exceptions of the local runtime, before the
// office is asked anything, pass to the caller.
css::uno::Reference<css::lang::XMultiServiceFactory> ConnectOffice();

// The file URL of a host path: absolute (a relative path is taken against the current
// directory) and escaped, so that blanks, '#', '%' and non-ASCII names load.
std::string MakeFileUrl(const char* path);

}  // namespace corvane::office
