#include "varnholt/Host.h"

#include "platform/FileSystem.h"
#include "platform/drivetable/DriveTable.h"

namespace varnholt {

std::string LocalPath(StringView path) {
#ifdef _WIN32
    return ToUtf8(path);
#else
    return platform::DriveTable::Load().ToLocalPath(ToUtf8(path));
#endif
}

void RemoveCopiesInProgress() noexcept { platform::RemoveCopiesInProgress(); }

}  // namespace varnholt
