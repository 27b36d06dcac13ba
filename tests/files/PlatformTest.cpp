// The file-system and system services, called directly: what the members above them rely on.
// On POSIX they answer from the drive table, with errno's texts for the reasons; on Windows the
// system answers, in its own words.
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

#include <chrono>
#include <cstring>
#include <fstream>

#include "FilesTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

namespace varnholt::test {
namespace {

namespace fs = std::filesystem;
using namespace platform;

// The reason a file call gives: errno's text, or the system's own message.
#ifdef _WIN32
#define WHY(posix, win32) SystemReason(win32)
#else
#define WHY(posix, win32) std::strerror(posix)
#endif

// What failed, on which name, and why.
TEST(FileServices, CopyFailuresSayWhatAndWhy) {
    ScopedDrives drives;
    TempDir dir;
    const std::string d = dir.Path().string();
    dir.Write("File.ddf", "data");
    dir.Write("dict/Taken.ddf", "theirs");
    struct Case {
        std::string from, to;
        int32_t number;
        std::string what, path, why;
    };
    const std::vector<Case> cases = {
        {d + "\\File.ddf", d + "\\dict\\Taken.ddf", 58, "File already exists: cannot create", d + "\\dict\\Taken.ddf",
         WHY(EEXIST, ERROR_ALREADY_EXISTS)},
        {d + "\\None.ddf", d + "\\dict\\None.ddf", 53, "File not found: cannot open", d + "\\None.ddf",
         WHY(ENOENT, ERROR_FILE_NOT_FOUND)},
        {d + "\\File.ddf", d + "\\nowhere\\File.ddf", 76, "Path not found: cannot create", d + "\\nowhere\\File.ddf",
         WHY(ENOENT, ERROR_PATH_NOT_FOUND)},
        {d + "\\File.ddf", d + "\\dict\\", 52, "Bad file name or number: cannot create", d + "\\dict\\",
         "not a file name"},
#ifdef _WIN32
        {d + "\\dict", d + "\\dict\\Dir.ddf", 75, "Path/File access error: cannot open", d + "\\dict",
         SystemReason(ERROR_ACCESS_DENIED)},
        {d + "\\File.ddf", d + "\\dict\\..", 52, "Bad file name or number: cannot create", d + "\\dict\\..",
         "not a file name"},
#else
        {d + "\\Pipe.ddf", d + "\\dict\\Pipe.ddf", 75, "Path/File access error: cannot open", d + "\\Pipe.ddf",
         "not a regular file"},
        {"Q:\\File.ddf", d + "\\dict\\File.ddf", 76, "Path not found: cannot open", "Q:\\File.ddf",
         "no such drive or share"},
        {d + "\\File.ddf", "\\\\srv\\x\\F", 76, "Path not found: cannot create", "\\\\srv\\x\\F",
         "no such drive or share"},
        // Reading fails once the copy has begun.
        {"/proc/self/mem", d + "\\dict\\Mem.ddf", 57, "Device I/O error: cannot read", "/proc/self/mem",
         std::strerror(EIO)},
#endif
    };
#ifndef _WIN32
    ::mkfifo((dir.Path() / "Pipe.ddf").c_str(), 0644);
#endif
    for (const Case& c : cases)
        EXPECT_RAISES(CopyFile(S(c.from), S(c.to)), c.number, "Varnholt", c.what + " " + c.path + " (" + c.why + ")")
            << c.from << " -> " << c.to;
    EXPECT_EQ(ReadFile(dir.Path() / "dict/Taken.ddf"), "theirs");
    EXPECT_EQ(Entries(dir.Path() / "dict"), std::vector<std::string>{"Taken.ddf"});
}

TEST(FileServices, CreationTimeIsTheFilesBirthOrSaysWhyNot) {
    ScopedDrives drives;
    TempDir dir;
    const std::string missing = (dir.Path() / "missing.ddf").string(), action = "cannot read the creation time of ";
    EXPECT_RAISES(CreationTime(S(missing)), 53, "Varnholt",
                  "File not found: " + action + missing + " (" + WHY(ENOENT, ERROR_FILE_NOT_FOUND) + ")");
    const auto before = std::chrono::system_clock::now() - std::chrono::seconds(5);
    const std::chrono::system_clock::time_point born(std::chrono::duration_cast<std::chrono::system_clock::duration>(
        std::chrono::nanoseconds(CreationTime(S(dir.Write("New.ddf", "n").string())))));
    EXPECT_GE(born, before);
    EXPECT_LE(born, std::chrono::system_clock::now() + std::chrono::seconds(5));
#ifndef _WIN32
    EXPECT_RAISES(CreationTime(u"Q:\\x"), 76, "Varnholt",
                  "Path not found: " + action + "Q:\\x (no such drive or share)");
    // /proc keeps no birth times; some folders report a zero one.
    for (const char* path : {"/proc/self/status", "/tmp"}) {
        struct statx stx {};
        ASSERT_EQ(statx(AT_FDCWD, path, 0, STATX_BTIME, &stx), 0);
        if ((stx.stx_mask & STATX_BTIME) && stx.stx_btime.tv_sec != 0) continue;  // this machine keeps one
        EXPECT_RAISES(CreationTime(S(path)), 75, "Varnholt",
                      "Path/File access error: " + action + path + " (its file system keeps no creation time)");
    }
#endif
}

#ifdef _WIN32
TEST(Win32FileSystem, CopyCarriesContentTimesAndReadOnlyAndLeavesNothingElse) {
    TempDir dir;
    const fs::path source = dir.Write("master/FIELD.DDF", std::string(200000, 'x') + "end");
    const auto written = fs::last_write_time(source) - std::chrono::hours(24);
    fs::last_write_time(source, written);
    ASSERT_TRUE(SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY));
    fs::create_directories(dir.Path() / "dict");

    CopyFile(S((dir.Path() / "master\\Field.ddf").string()), S((dir.Path() / "dict\\Field.ddf").string()));
    const fs::path copy = dir.Path() / "dict/Field.ddf";
    EXPECT_EQ(ReadFile(copy), ReadFile(source));
    EXPECT_EQ(fs::last_write_time(copy), written);
    // The source's attributes (read-only, and the archive bit the system adds), never hidden.
    EXPECT_EQ(GetFileAttributesW(copy.c_str()), GetFileAttributesW(source.c_str()));
    EXPECT_EQ(GetFileAttributesW(copy.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Entries(dir.Path() / "dict"), std::vector<std::string>{"Field.ddf"});
    for (const fs::path& file : {source, copy}) SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32System, ComputerNameDrivesAndConnectionsAsTheSystemAnswers) {
    const std::string host = HostName();
    ASSERT_FALSE(host.empty());
    char name[64] = {};
    uint32_t size = 1;
    EXPECT_FALSE(NativeSystem().GetComputerNameA(name, &size));
    EXPECT_EQ(size, host.size() + 1);
    size = sizeof name;
    ASSERT_TRUE(NativeSystem().GetComputerNameA(name, &size));
    EXPECT_EQ(std::string(name, size), host);
    EXPECT_FALSE(NativeSystem().GetComputerNameA(nullptr, &size));

    const std::vector<std::pair<const char*, uint32_t>> types = {
        {"C:\\", kDriveFixed}, {"c:\\", kDriveFixed}, {nullptr, kDriveNoRootDir}, {"1:\\", kDriveNoRootDir}};
    for (const auto& [root, type] : types)
        EXPECT_EQ(NativeSystem().GetDriveTypeA(root), type) << (root ? root : "null");

    uint32_t length = sizeof name;
    EXPECT_EQ(NativeSystem().WNetGetConnectionA(nullptr, name, &length), kErrorBadDevice);
    EXPECT_EQ(NativeSystem().WNetGetConnectionA("C:", nullptr, &length), kErrorBadDevice);
    EXPECT_EQ(NativeSystem().WNetGetConnectionA("C:", name, nullptr), kErrorBadDevice);
}

#else
const std::vector<std::string> kTable = {
    "# drives of the tests", "", "S:\tremote\t@/share\t\\\\srv\\apps", "T:\tremote\t@/deep\t\\\\srv\\apps\\sub",
    "c:\tfixed\t/", "E:\t\tcdrom\t/media/cd", "F:\tremovable\t/f", "G:\tramdisk\t/g\r", "U:\tunknown", "N:\tnoroot",
    "R:\tremote", "W:\tremote\t@/w\t\\\\caf\xc3\xa9\\d",
    // Not drives: an unknown type, a bad letter, no type, too many fields; K: keeps its last line.
    "X:\tweird\t/x", "YY:\tfixed\t/y", "Z:", "V:\tfixed\t/v\t\\\\a\\b\textra", "K:\tfixed\t/first", "K:\tFIXED\t/k"};

TEST(DriveTable, MapsDrivesSharesAndPlainPaths) {
    ScopedDrives drives(kTable);
    const std::string root = drives.Root().string();
    const DriveTable table = DriveTable::Load();
    EXPECT_EQ(table.Drives().size(), 11u);
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"S:\\a\\b", root + "/share/a/b"}, {"s:a/b", root + "/share/a/b"}, {"S:", root + "/share"},
        {"S:\\Data\\", root + "/share/Data/"}, {"S:\\.\\a\\..\\..\\..\\etc", root + "/share/etc"},
        {"\\\\SRV\\Apps\\x", root + "/share/x"}, {"//srv/apps/x/", root + "/share/x/"},
        {"\\\\srv\\apps\\sub\\y", root + "/deep/y"}, {"\\\\srv\\apps\\..\\..\\z", root + "/share/z"},
        {"\\\\caf\xc3\xa9\\d\\f", root + "/w/f"}, {"\\\\srv\\appsX\\y", ""}, {"\\\\srv", ""}, {"\\\\o\\s\\y", ""},
        {"Q:\\x", ""}, {"R:\\x", ""}, {"N:\\x", ""}, {"X:\\x", ""}, {"V:\\x", ""}, {"C:\\", "/"}, {"K:\\k", "/k/k"},
        {"G:\\x", "/g/x"} /* a CRLF line */, {"/plain/posix path", "/plain/posix path"}, {"rel\\dir/f", "rel/dir/f"},
        {"", ""}};
    // clang-format on
    for (const auto& [path, local] : cases) EXPECT_EQ(table.ToLocalPath(path), local) << path;

    ScopedDrives none;
    EXPECT_EQ(DriveTable::Load().ToLocalPath("C:\\etc\\x"), "/etc/x");
    EXPECT_EQ(DriveTable::Load().ToLocalPath("D:\\x"), "");
    ScopedDrives unreadable(std::vector<std::string>{});
    SetEnv("VARNHOLT_DRIVES", (unreadable.Root() / "none"));
    EXPECT_EQ(System().GetDriveTypeA("C:"), kDriveNoRootDir);
}

TEST(SystemServices, DriveTypesAndRemoteNames) {
    ScopedDrives drives(kTable);
    const std::vector<std::pair<const char*, uint32_t>> types = {
        {"S:", kDriveRemote},    {"S:\\", kDriveRemote},    {"s:", kDriveRemote},       {"C:", kDriveFixed},
        {"E:\\", kDriveCdRom},   {"F:", kDriveRemovable},   {"G:", kDriveRamDisk},      {"U:", kDriveUnknown},
        {"N:", kDriveNoRootDir}, {"Q:", kDriveNoRootDir},   {"S:\\x", kDriveNoRootDir}, {"1:", kDriveNoRootDir},
        {"", kDriveNoRootDir},   {nullptr, kDriveNoRootDir}};
    for (const auto& [root, type] : types) EXPECT_EQ(System().GetDriveTypeA(root), type) << (root ? root : "null");

    char name[64];
    uint32_t length = 11;  // exactly the name and its NUL
    EXPECT_EQ(System().WNetGetConnectionA("s:", name, &length), 0u);
    EXPECT_STREQ(name, "\\\\srv\\apps");
    length = 10;
    EXPECT_EQ(System().WNetGetConnectionA("S:", name, &length), kErrorMoreData);
    EXPECT_EQ(length, 11u);
    length = sizeof name;
    EXPECT_EQ(System().WNetGetConnectionA("W:", name, &length), 0u);
    EXPECT_STREQ(name, "\\\\caf\xe9\\d");  // in the ANSI code page
    const std::vector<std::pair<const char*, uint32_t>> failures = {
        {"C:", kErrorNotConnected},      {"Q:", kErrorNotConnected}, {"U:", kErrorNotConnected},
        {"R:", kErrorConnectionUnavail}, {"S:\\", kErrorBadDevice},  {"LPT1", kErrorBadDevice},
        {nullptr, kErrorBadDevice}};
    for (const auto& [drive, code] : failures) {
        length = sizeof name;
        EXPECT_EQ(System().WNetGetConnectionA(drive, name, &length), code) << (drive ? drive : "null");
    }
}

TEST(FileSystem, CopyKeepsContentModeAndTimesThroughDrivesAndShares) {
    ScopedDrives drives({"M:\tfixed\t@/master", "S:\tremote\t@/server\t\\\\srv\\apps"});
    const fs::path root = drives.Root();
    fs::create_directories(root / "server/dict");
    fs::create_directories(root / "master");
    const fs::path source = root / "master/FIELD.DDF";
    std::ofstream(source, std::ios::binary) << std::string(200000, 'x') << "end";
    fs::permissions(source, fs::perms(0640));
    const auto written = fs::last_write_time(source) - std::chrono::hours(24);
    fs::last_write_time(source, written);
    const mode_t mask = ::umask(0);
    ::umask(mask);

    CopyFile(u"M:\\Field.ddf", u"\\\\SRV\\apps\\dict\\Field.ddf");
    CopyFile(u"m:Field.ddf", u"S:\\dict\\Copy.ddf");
    for (const char* name : {"Field.ddf", "Copy.ddf"}) {
        const fs::path copy = root / "server/dict" / name;
        EXPECT_EQ(ReadFile(copy), ReadFile(source));
        EXPECT_EQ(fs::status(copy).permissions(), fs::perms(0640 & ~mask));
        EXPECT_EQ(fs::last_write_time(copy), written);
    }
    EXPECT_EQ(Entries(root / "server/dict"), (std::vector<std::string>{"Copy.ddf", "Field.ddf"}));
}

#endif

}  // namespace
}  // namespace varnholt::test
