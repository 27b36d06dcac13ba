#pragma once
// Files as the component sees them: the ordinary search for normal files, a file copy, and a
// file's creation time. Paths are in Windows form and reach the system exactly as given (wide
// calls on Windows, UTF-8 on POSIX), never through the code page; on POSIX they go through the
// drive table (DriveTable.h), and plain POSIX paths work as they are. Failures raise an Error
// with a run-time number and the run-time source.
#include <cstdint>

#include "varnholt/String.h"

#ifdef CopyFile
#undef CopyFile  // windows.h's A/W switch would rename this function per translation unit
#endif

namespace varnholt::platform {

// Whether any normal file matches pattern: '*' and '?' in its last component only, letters
// in either case; hidden files (dot-files on POSIX), directories and special files never
// match. A pattern that ends in a separator stands for every file of that folder. A folder,
// drive or share that does not exist gives no match. The search stops at the first match.
// A search that fails for another reason raises (75 access, 57 I/O, 52 a bad name, ...); so
// does a wildcard before the last component (52). A pattern no file name can hold (a NUL, on
// POSIX a lone surrogate) matches nothing.
bool FindFirstNormalFile(const String& pattern);

// Copies a file, never leaving a partial or replaced target: the data go to a hidden
// temporary file beside the target, reach the disk, and only then take the target's name,
// which must not exist yet (58 when it does). The description of a failure says what failed,
// where and why. The temporary's name carries the process id, so that a copy into the folder
// removes the temporaries of processes that died copying.
void CopyFile(const String& source, const String& target);

// Removes the temporaries of the copies this process has under way, which then fail. For the
// handler of a signal that ends the program: async-signal-safe.
void RemoveCopiesInProgress() noexcept;

// Creation (birth) time, nanoseconds since 1970-01-01 UTC. Raises when the file cannot be
// reached, and when its file system keeps no birth time (a zero time counts as none).
int64_t CreationTime(const String& path);

}  // namespace varnholt::platform
