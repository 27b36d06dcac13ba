#pragma once
// The machine: its name, the type of a drive, the share behind a network drive. Shaped like
// the Windows calls it stands for, so the core runs one algorithm on every platform. Text is
// ANSI, NUL-terminated. On POSIX the drives come from the drive table (DriveTable.h).
#include <cstdint>
#include <string>

#include "platform/drivetable/DriveTable.h"

namespace varnholt::platform {

// Codes of WNetGetConnectionA.
inline constexpr uint32_t kErrorNotSupported = 50;
inline constexpr uint32_t kErrorMoreData = 234;
inline constexpr uint32_t kErrorBadDevice = 1200;
inline constexpr uint32_t kErrorConnectionUnavail = 1201;
inline constexpr uint32_t kErrorNoNetOrBadPath = 1203;
inline constexpr uint32_t kErrorExtendedError = 1208;
inline constexpr uint32_t kErrorNoNetwork = 1222;
inline constexpr uint32_t kErrorNotConnected = 2250;

class SystemServices {
public:
    virtual ~SystemServices() = default;

    // *size: the buffer's capacity in characters on entry. On success the name is written
    // with its NUL and *size is its length without the NUL. False when the name cannot be
    // had or does not fit (then *size is the capacity it needs, NUL included).
    virtual bool GetComputerNameA(char* buffer, uint32_t* size) = 0;

    // Drive type (kDrive...) of "X:" or "X:\"; kDriveNoRootDir for anything else.
    virtual uint32_t GetDriveTypeA(const char* root) = 0;

    // The remote name behind a drive "X:". 0 with the name written (NUL included) into
    // remoteName; kErrorMoreData with *length set to the capacity needed when it does not fit;
    // kErrorNotConnected for a drive that is not a network drive or does not exist;
    // kErrorConnectionUnavail for a network drive whose share is not known;
    // kErrorBadDevice when localName is not a drive.
    virtual uint32_t WNetGetConnectionA(const char* localName, char* remoteName, uint32_t* length) = 0;
};

// The drive queries answered from the drive table of VARNHOLT_DRIVES: the POSIX services, and
// tests on other platforms that script their drives.
uint32_t DriveTypeFromTable(const char* root);
uint32_t ConnectionFromTable(const char* localName, char* remoteName, uint32_t* length);

// Writes text and its NUL into buffer when *capacity allows; else sets *capacity to the need.
bool CopyOutText(const std::string& text, char* buffer, uint32_t* capacity);

// The process's services: the platform's own unless a test replaced them.
SystemServices& System();

// The platform's own services (one definition per platform).
SystemServices& NativeSystem();

// Puts replacement in place of the real services (nullptr: the real ones again) and returns
// what was in place before, nullptr for the real ones. Tests only.
SystemServices* SetSystemForTesting(SystemServices* replacement);

}  // namespace varnholt::platform
