#include <cstring>
#include <string>

#include "platform/System.h"
#include "varnholt/String.h"

namespace varnholt::platform {
namespace {

// "X:" or "X:\" names drive X; 0 for anything else.
char DriveLetterOf(const char* name, bool allowBackslash) {
    if (!name) return 0;
    const char letter = name[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) || name[1] != ':') return 0;
    if (name[2] == '\0') return letter;
    if (allowBackslash && name[2] == '\\' && name[3] == '\0') return letter;
    return 0;
}

}  // namespace

// Writes text and its NUL into buffer when capacity allows; else sets *capacity to the need.
bool CopyOutText(const std::string& text, char* buffer, uint32_t* capacity) {
    if (text.size() + 1 > *capacity) {
        *capacity = static_cast<uint32_t>(text.size() + 1);
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

uint32_t DriveTypeFromTable(const char* root) {
    const char letter = DriveLetterOf(root, true);
    if (!letter) return kDriveNoRootDir;
    const DriveTable table = DriveTable::Load();
    const Drive* drive = table.Find(letter);
    return drive ? drive->type : kDriveNoRootDir;
}

uint32_t ConnectionFromTable(const char* localName, char* remoteName, uint32_t* length) {
    const char letter = DriveLetterOf(localName, false);
    if (!letter || !remoteName || !length) return kErrorBadDevice;
    const DriveTable table = DriveTable::Load();
    const Drive* drive = table.Find(letter);
    if (!drive || drive->type != kDriveRemote) return kErrorNotConnected;
    if (drive->remote.empty()) return kErrorConnectionUnavail;
    return CopyOutText(ToAnsi(FromUtf8(drive->remote)), remoteName, length) ? 0 : kErrorMoreData;
}

}  // namespace varnholt::platform
