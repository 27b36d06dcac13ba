#include <windows.h>
#include <winnetwk.h>

#include <cstdio>
#include <string>

#include "platform/System.h"
#include "varnholt/Login.h"

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

namespace varnholt {

// The console's echo: off while the line is read when standard input is a console.
std::string ReadLineWithoutEcho(const char* prompt) {
    const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    const bool quiet = input != INVALID_HANDLE_VALUE && ::GetConsoleMode(input, &mode) &&
                       ::SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    if (quiet) std::fputs(prompt, stderr);
    // Read through the C library, not <iostream>: the DLL's copy of the iostreams, set up and
    // torn down with the DLL, crashed client processes at their exit.
    std::string line;
    for (int c; (c = std::getchar()) != EOF && c != '\n';) line += static_cast<char>(c);
    if (quiet) {
        ::SetConsoleMode(input, mode);
        std::fputs("\n", stderr);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace varnholt
