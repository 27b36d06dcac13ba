#pragma once
// What a program built around the component may need beside its two classes: the driver's
// failures reported as CreatePSQLConnection reports them, the drive table's paths, the cause
// of the engine's general failure, and clean ending on a signal.
#include <string>

#include "varnholt/Error.h"
#include "varnholt/String.h"

namespace varnholt {

// The error CreatePSQLConnection raises for a failure of the driver or data access that it
// meets: an engine status inside the driver's description becomes that status with the
// engine's text for it; anything else keeps its number and description. The source is
// CreatePSQLConnection's in both cases. For programs that open the connection themselves.
Error ConnectionFailure(const Error& driverFailure);

// The local path, UTF-8, that a path in Windows form names: drive letters and shares go
// through the drive table (VARNHOLT_DRIVES, read on every call), '\' becomes '/', and a plain
// POSIX path stays as it is. "" when the drive or share is not in the table: the path names
// nothing. On Windows, the path itself.
std::string LocalPath(StringView path);

// The system's error number (errno) as it stood when this thread's latest engine status was
// raised. An engine's general failure (7004) says nothing of its cause; this may, when it is a
// cause of a failing write or open (a full disk, a file size limit, a read-only folder). It is
// a leftover and may be stale: other numbers say nothing.
int LastEngineFailureErrno() noexcept;

// Removes the temporary files of the copies under way in this process, which then fail. For
// the handler of a signal that ends the program: async-signal-safe.
void RemoveCopiesInProgress() noexcept;

}  // namespace varnholt
