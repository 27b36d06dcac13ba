#include <limits.h>
#include <unistd.h>

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

// Writes text and its NUL into buffer when capacity allows; else sets *capacity to the need.
bool CopyOut(const std::string& text, char* buffer, uint32_t* capacity) {
    if (text.size() + 1 > *capacity) {
        *capacity = static_cast<uint32_t>(text.size() + 1);
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

class PosixSystem final : public SystemServices {
public:
    bool GetComputerNameA(char* buffer, uint32_t* size) override {
        if (!buffer || !size) return false;
        char name[HOST_NAME_MAX + 1] = {};
        if (gethostname(name, sizeof name - 1) != 0) return false;
        const std::string ansi = ToAnsi(FromUtf8(name));
        if (!CopyOut(ansi, buffer, size)) return false;
        *size = static_cast<uint32_t>(ansi.size());
        return true;
    }

    uint32_t GetDriveTypeA(const char* root) override {
        const char letter = DriveLetterOf(root, true);
        if (!letter) return kDriveNoRootDir;
        const DriveTable table = DriveTable::Load();
        const Drive* drive = table.Find(letter);
        return drive ? drive->type : kDriveNoRootDir;
    }

    uint32_t WNetGetConnectionA(const char* localName, char* remoteName, uint32_t* length) override {
        const char letter = DriveLetterOf(localName, false);
        if (!letter || !remoteName || !length) return kErrorBadDevice;
        const DriveTable table = DriveTable::Load();
        const Drive* drive = table.Find(letter);
        if (!drive || drive->type != kDriveRemote) return kErrorNotConnected;
        if (drive->remote.empty()) return kErrorConnectionUnavail;
        return CopyOut(ToAnsi(FromUtf8(drive->remote)), remoteName, length) ? 0 : kErrorMoreData;
    }
};

PosixSystem gPosixSystem;

}  // namespace

SystemServices& NativeSystem() { return gPosixSystem; }

}  // namespace varnholt::platform
