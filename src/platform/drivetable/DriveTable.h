#pragma once
// Drive letters on POSIX, the way a compatibility layer provides them. The file named by
// VARNHOLT_DRIVES holds one drive a line, tab-separated:
//
//     S:<TAB>remote<TAB>/local/dir<TAB>\\srv\apps
//     C:<TAB>fixed<TAB>/
//     E:<TAB>cdrom<TAB>/media/cd
//
// Types: removable, fixed, remote, cdrom, ramdisk, unknown, noroot. Lines starting with '#'
// and blank lines are ignored, as are lines that do not parse; a letter named twice keeps its
// last line. Without the variable (or with it empty) the only drive is C:, a fixed disk rooted
// at /. A named file that cannot be read gives a table without drives.
//
// Built on its own (standard library only) so that programs outside the core can link it.
#include <cstdint>
#include <string>
#include <vector>

namespace varnholt::platform {

// Drive type codes, as the Windows drive-type query reports them.
inline constexpr uint32_t kDriveUnknown = 0;
inline constexpr uint32_t kDriveNoRootDir = 1;
inline constexpr uint32_t kDriveRemovable = 2;
inline constexpr uint32_t kDriveFixed = 3;
inline constexpr uint32_t kDriveRemote = 4;
inline constexpr uint32_t kDriveCdRom = 5;
inline constexpr uint32_t kDriveRamDisk = 6;

struct Drive {
    char letter;         // upper case
    uint32_t type;       // kDrive...
    std::string local;   // folder the drive's root maps to; may be empty for unknown/noroot
    std::string remote;  // UNC name behind a remote drive ("\\srv\apps"); may be empty
};

class DriveTable {
public:
    // The table VARNHOLT_DRIVES names now (read on every call, so a changed file or variable
    // takes effect at once).
    static DriveTable Load();
    // The table in text, in the file's format.
    static DriveTable Parse(const std::string& text);

    // The drive of letter, either case; nullptr when the table lacks it (no root directory).
    const Drive* Find(char letter) const;

    // The POSIX path behind a path in Windows form; '\' and '/' both separate.
    //   "X:\a\b", "X:a\b", "X:"  -> the local folder of drive X, then "a/b"
    //   "\\srv\share\a"          -> the local folder of the remote drive whose remote name is a
    //                               prefix of the path (case-insensitive, whole components)
    //   anything else            -> the path itself, with '\' turned into '/'
    // ".." in a drive or share path stops at the drive's root, as it does on Windows. "" when
    // the drive or share is not in the table or has no local folder: such a path names nothing.
    std::string ToLocalPath(const std::string& utf8Path) const;

    const std::vector<Drive>& Drives() const { return drives_; }

private:
    std::vector<Drive> drives_;
};

}  // namespace varnholt::platform
