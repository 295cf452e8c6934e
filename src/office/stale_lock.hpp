// Lock files that an office leaves beside a document it had open when it died. Another
// office refuses to load such a document, silently, until the file is removed.
#pragma once

#include <string>

namespace corvane::office {

// The lock file ".~lock.<name>#" beside the document at `documentUrl` (a file URL).
std::string LockFileFor(const std::string& documentUrl);

// Whether an office may still run on the profile at `profileUrl` (a file URL): false
// only when that is proven: the folder is gone, it holds no profile lock, or its
// office's single-instance pipe is left with nobody listening on it.
bool ProfileInUse(const std::string& profileUrl);

// Removes the document's lock file when it provably belongs to an office that no longer
// runs: the lock names this host and this user, and the office profile it names is gone,
// holds no profile lock of its own, or its single-instance pipe is left with nobody
// listening on it. A lock of a live office, of another host or user, or one that cannot be read is
// never touched. Returns the removed file's path, or "" when nothing was removed.
std::string RemoveStaleLock(const std::string& documentUrl);

}  // namespace corvane::office
