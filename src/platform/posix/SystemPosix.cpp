#include <limits.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/System.h"
#include "varnholt/String.h"

namespace varnholt::platform {
namespace {

class PosixSystem final : public SystemServices {
public:
    bool GetComputerNameA(char* buffer, uint32_t* size) override {
        if (!buffer || !size) return false;
        char name[HOST_NAME_MAX + 1] = {};
        if (gethostname(name, sizeof name - 1) != 0) return false;
        const std::string ansi = ToAnsi(FromUtf8(name));
        if (!CopyOutText(ansi, buffer, size)) return false;
        *size = static_cast<uint32_t>(ansi.size());
        return true;
    }

    uint32_t GetDriveTypeA(const char* root) override { return DriveTypeFromTable(root); }

    uint32_t WNetGetConnectionA(const char* localName, char* remoteName, uint32_t* length) override {
        return ConnectionFromTable(localName, remoteName, length);
    }
};

PosixSystem gPosixSystem;

}  // namespace

SystemServices& NativeSystem() { return gPosixSystem; }

}  // namespace varnholt::platform
