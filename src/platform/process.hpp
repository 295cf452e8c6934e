// Starting a program that lives on by itself.
#pragma once

namespace corvane::platform {

// Starts the executable at exactly `executable` (no PATH search) with the arguments
// that `commandLine` gives under Windows command-line rules; the first of them becomes
// argv[0]. No shell is involved, so every character reaches the program literally.
// The program inherits the environment and working directory, gets no descriptors but
// 0 to 2, runs in a session of its own and is not a child of the caller, so it leaves
// no zombie behind and outlives the caller. Nothing waits for it. Returns false, and
// starts nothing, when `executable` names no executable file.
bool StartDetachedProcess(const char* executable, const char* commandLine);

}  // namespace corvane::platform
