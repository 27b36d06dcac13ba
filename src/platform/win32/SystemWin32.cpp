#include <windows.h>
#include <winnetwk.h>

#include "platform/System.h"

namespace varnholt::platform {
namespace {

class Win32System final : public SystemServices {
public:
    bool GetComputerNameA(char* buffer, uint32_t* size) override {
        if (!buffer || !size) return false;
        DWORD n = *size;
        const BOOL ok = ::GetComputerNameA(buffer, &n);
        *size = n;
        return ok != FALSE;
    }

    uint32_t GetDriveTypeA(const char* root) override { return root ? ::GetDriveTypeA(root) : kDriveNoRootDir; }

    uint32_t WNetGetConnectionA(const char* localName, char* remoteName, uint32_t* length) override {
        if (!localName || !remoteName || !length) return kErrorBadDevice;
        DWORD n = *length;
        const DWORD result = ::WNetGetConnectionA(localName, remoteName, &n);
        *length = n;
        return result;
    }
};

Win32System gWin32System;

}  // namespace

SystemServices& NativeSystem() { return gWin32System; }

}  // namespace varnholt::platform
