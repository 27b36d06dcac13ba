// The drive table and the system and file-system services on it.
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <cstring>

#include "FilesTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

namespace varnholt::test {
namespace {

namespace fs = std::filesystem;
using namespace platform;

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
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"S:\\a\\b", root + "/share/a/b"}, {"s:a/b", root + "/share/a/b"}, {"S:", root + "/share"},
        {"S:\\Data\\", root + "/share/Data/"}, {"S:\\.\\a\\..\\..\\..\\etc", root + "/share/etc"},
        {"\\\\SRV\\Apps\\x", root + "/share/x"}, {"//srv/apps/x/", root + "/share/x/"},
        {"\\\\srv\\apps\\sub\\y", root + "/deep/y"}, {"\\\\srv\\apps\\..\\..\\z", root + "/share/z"},
        {"\\\\caf\xc3\xa9\\d\\f", root + "/w/f"}, {"\\\\srv\\appsX\\y", ""}, {"\\\\srv", ""}, {"\\\\o\\s\\y", ""},
        {"Q:\\x", ""}, {"R:\\x", ""}, {"N:\\x", ""}, {"X:\\x", ""}, {"V:\\x", ""}, {"C:\\", "/"}, {"K:\\k", "/k/k"},
        {"G:\\x", "/g/x"} /* a CRLF line */, {"/plain/posix path", "/plain/posix path"}, {"rel\\dir/f", "rel/dir/f"},
        {"", ""}};
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
        {"S:", kDriveRemote}, {"S:\\", kDriveRemote}, {"s:", kDriveRemote}, {"C:", kDriveFixed},
        {"E:\\", kDriveCdRom}, {"F:", kDriveRemovable}, {"G:", kDriveRamDisk}, {"U:", kDriveUnknown},
        {"N:", kDriveNoRootDir}, {"Q:", kDriveNoRootDir}, {"S:\\x", kDriveNoRootDir}, {"1:", kDriveNoRootDir},
        {"", kDriveNoRootDir}, {nullptr, kDriveNoRootDir}};
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
        {"C:", kErrorNotConnected}, {"Q:", kErrorNotConnected}, {"U:", kErrorNotConnected},
        {"R:", kErrorConnectionUnavail}, {"S:\\", kErrorBadDevice}, {"LPT1", kErrorBadDevice},
        {nullptr, kErrorBadDevice}};
    for (const auto& [drive, code] : failures) {
        length = sizeof name;
        EXPECT_EQ(System().WNetGetConnectionA(drive, name, &length), code) << (drive ? drive : "null");
    }
}

TEST(FileSystem, SearchFailuresOtherThanAMissingFolderRaise) {
    TempDir dir;
    fs::create_directory_symlink("loop", dir.Path() / "loop");
    const std::string bad = "Bad file name or number";
    EXPECT_RAISES(FindFirstNormalFile(S((dir.Path() / "loop").string() + "\\*")), 52, "Varnholt", bad);
    EXPECT_RAISES(FindFirstNormalFile(S(dir.Path().string() + "\\*\\x")), 52, "Varnholt", bad);
    EXPECT_FALSE(FindFirstNormalFile(S(dir.Path().string() + "\\missing\\deeper\\x.dat")));
}

const std::string kNul("\0.dat", 5);

std::string Failure(const std::string& text, const std::string& action, const std::string& path, int err) {
    return text + ": " + action + " " + path + " (" + std::strerror(err) + ")";
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

TEST(FileSystem, CopyFailuresSayWhatAndWhy) {
    ScopedDrives drives;
    TempDir dir;
    const std::string d = dir.Path().string();
    dir.Write("File.ddf", "data");
    dir.Write("dict/Taken.ddf", "theirs");
    ::mkfifo((dir.Path() / "Pipe.ddf").c_str(), 0644);
    struct Case {
        std::string from, to;
        int32_t number;
        std::string description;
    };
    const std::vector<Case> cases = {
        {d + "\\File.ddf", d + "\\dict\\Taken.ddf", 58,
         Failure("File already exists", "cannot create", d + "\\dict\\Taken.ddf", EEXIST)},
        {d + "\\None.ddf", d + "\\dict\\None.ddf", 53,
         Failure("File not found", "cannot open", d + "\\None.ddf", ENOENT)},
        {d + "\\File.ddf", d + "\\nowhere\\File.ddf", 76,
         Failure("Path not found", "cannot create", d + "\\nowhere\\File.ddf", ENOENT)},
        {d + "\\Pipe.ddf", d + "\\dict\\Pipe.ddf", 75,
         "Path/File access error: cannot open " + d + "\\Pipe.ddf (not a regular file)"},
        {"Q:\\File.ddf", d + "\\dict\\File.ddf", 76,
         "Path not found: cannot open Q:\\File.ddf (no such drive or share)"},
        {d + "\\File.ddf", "\\\\srv\\x\\F", 76, "Path not found: cannot create \\\\srv\\x\\F (no such drive or share)"},
        {d + "\\File.ddf", d + "\\dict\\", 52,
         "Bad file name or number: cannot create " + d + "\\dict\\ (not a file name)"},
        {d + "\\File.ddf", d + "\\F" + kNul, 52,
         "Bad file name or number: cannot create " + d + "\\F" + kNul + " (the name holds a NUL character)"},
        {d + kNul, d + "\\F", 52,
         "Bad file name or number: cannot open " + d + kNul + " (the name holds a NUL character)"},
        // Reading fails once the copy has begun.
        {"/proc/self/mem", d + "\\dict\\Mem.ddf", 57,
         Failure("Device I/O error", "cannot read", "/proc/self/mem", EIO)}};
    for (const Case& c : cases) EXPECT_RAISES(CopyFile(S(c.from), S(c.to)), c.number, "Varnholt", c.description) << c.to;
    EXPECT_EQ(ReadFile(dir.Path() / "dict/Taken.ddf"), "theirs");
    EXPECT_EQ(Entries(dir.Path() / "dict"), std::vector<std::string>{"Taken.ddf"});
}

TEST(FileSystem, CreationTimeFailures) {
    ScopedDrives drives;
    EXPECT_RAISES(CreationTime(u"/nonexistent/x"), 53, "Varnholt",
                  Failure("File not found", "cannot read the creation time of", "/nonexistent/x", ENOENT));
    EXPECT_RAISES(CreationTime(S("/tmp" + kNul)), 52, "Varnholt",
                  "Bad file name or number: cannot read the creation time of /tmp" + kNul +
                      " (the name holds a NUL character)");
    EXPECT_RAISES(CreationTime(u"Q:\\x"), 76, "Varnholt",
                  "Path not found: cannot read the creation time of Q:\\x (no such drive or share)");
    // /proc keeps no birth times; some folders report a zero one.
    for (const char* path : {"/proc/self/status", "/tmp"}) {
        struct statx stx {};
        ASSERT_EQ(statx(AT_FDCWD, path, 0, STATX_BTIME, &stx), 0);
        if ((stx.stx_mask & STATX_BTIME) && stx.stx_btime.tv_sec != 0) continue;  // this machine keeps one
        EXPECT_RAISES(CreationTime(S(path)), 75, "Varnholt",
                      std::string("Path/File access error: cannot read the creation time of ") + path +
                          " (its file system keeps no creation time)");
    }
}

}  // namespace
}  // namespace varnholt::test
