// The Win32 file-system and system services, called directly: what the members above them
// rely on, with the system's own texts for the reasons.
#include <windows.h>

#include <chrono>

#include "FilesTestSupport.h"
#include "platform/FileSystem.h"
#include "platform/System.h"

namespace varnholt::test {
namespace {

namespace fs = std::filesystem;
using namespace platform;

std::string Failure(int32_t number, const std::string& action, const std::string& path, const std::string& why) {
    return U8(RuntimeErrorText(number)) + ": " + action + " " + path + " (" + why + ")";
}

// The services take the component's text; the tests write their paths as UTF-8.
bool Find(const std::string& pattern) { return FindFirstNormalFile(FromUtf8(pattern)); }
void Copy(const std::string& from, const std::string& to) { CopyFile(FromUtf8(from), FromUtf8(to)); }
int64_t Born(const std::string& path) { return CreationTime(FromUtf8(path)); }

void SetAttributes(const fs::path& path, DWORD attributes) {
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), attributes)) << path;
}

TEST(Win32FileSystem, SearchSeesNormalFilesOnly) {
    TempDir dir;
    const std::string d = dir.Path().string();
    fs::create_directories(dir.Path() / "Folder.dat");
    SetAttributes(dir.Write("Hidden.dat", "h"), FILE_ATTRIBUTE_HIDDEN);
    SetAttributes(dir.Write("System.dat", "s"), FILE_ATTRIBUTE_SYSTEM);
    SetAttributes(dir.Write("Frozen.ddf", "r"), FILE_ATTRIBUTE_READONLY);
    const std::vector<std::pair<std::string, bool>> cases = {
        {d + "\\*.dat", false}, {d + "\\FOLDER.DAT", false}, {d + "\\hidden.dat", false},
        {d + "\\*.DDF", true},  {d + "/frozen.ddf", true},   {d + "\\", true},
        {d + "\\missing\\*", false}, {"", false}};
    for (const auto& [pattern, found] : cases) EXPECT_EQ(Find(pattern), found) << pattern;
    EXPECT_RAISES(Find(d + "\\*\\x"), 52, "Varnholt", "Bad file name or number");
}

TEST(Win32FileSystem, CopyCarriesContentTimesAndReadOnlyAndLeavesNothingElse) {
    TempDir dir;
    const fs::path source = dir.Write("master/FIELD.DDF", std::string(200000, 'x') + "end");
    const auto written = fs::last_write_time(source) - std::chrono::hours(24);
    fs::last_write_time(source, written);
    SetAttributes(source, FILE_ATTRIBUTE_READONLY);
    fs::create_directories(dir.Path() / "dict");

    Copy((dir.Path() / "master\\Field.ddf").string(), (dir.Path() / "dict\\Field.ddf").string());
    const fs::path copy = dir.Path() / "dict/Field.ddf";
    EXPECT_EQ(ReadFile(copy), ReadFile(source));
    EXPECT_EQ(fs::last_write_time(copy), written);
    // The source's attributes (read-only, and the archive bit the system adds), never hidden.
    EXPECT_EQ(GetFileAttributesW(copy.c_str()), GetFileAttributesW(source.c_str()));
    EXPECT_EQ(GetFileAttributesW(copy.c_str()) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN),
              DWORD(FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(Entries(dir.Path() / "dict"), std::vector<std::string>{"Field.ddf"});
    for (const fs::path& file : {source, copy}) SetAttributes(file, FILE_ATTRIBUTE_NORMAL);
}

TEST(Win32FileSystem, CopyFailuresSayWhatAndWhy) {
    TempDir dir;
    const std::string d = dir.Path().string();
    dir.Write("File.ddf", "data");
    dir.Write("dict/Taken.ddf", "theirs");
    struct Case {
        std::string from, to;
        int32_t number;
        std::string action, path, why;
    };
    const std::vector<Case> cases = {
        {d + "\\File.ddf", d + "\\dict\\Taken.ddf", 58, "cannot create", d + "\\dict\\Taken.ddf",
         SystemReason(ERROR_ALREADY_EXISTS)},
        {d + "\\None.ddf", d + "\\dict\\None.ddf", 53, "cannot open", d + "\\None.ddf",
         SystemReason(ERROR_FILE_NOT_FOUND)},
        {d + "\\File.ddf", d + "\\nowhere\\File.ddf", 76, "cannot create", d + "\\nowhere\\File.ddf",
         SystemReason(ERROR_PATH_NOT_FOUND)},
        {d + "\\dict", d + "\\dict\\Dir.ddf", 75, "cannot open", d + "\\dict", SystemReason(ERROR_ACCESS_DENIED)},
        {d + "\\File.ddf", d + "\\dict\\", 52, "cannot create", d + "\\dict\\", "not a file name"},
        {d + "\\File.ddf", d + "\\dict\\..", 52, "cannot create", d + "\\dict\\..", "not a file name"}};
    for (const Case& c : cases)
        EXPECT_RAISES(Copy(c.from, c.to), c.number, "Varnholt", Failure(c.number, c.action, c.path, c.why))
            << c.from << " -> " << c.to;
    EXPECT_EQ(ReadFile(dir.Path() / "dict/Taken.ddf"), "theirs");
    EXPECT_EQ(Entries(dir.Path() / "dict"), std::vector<std::string>{"Taken.ddf"});
}

TEST(Win32FileSystem, CreationTimeIsTheFilesBirth) {
    TempDir dir;
    const auto before = std::chrono::system_clock::now() - std::chrono::seconds(5);
    const fs::path file = dir.Write("New.ddf", "n");
    const auto born = std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(std::chrono::nanoseconds(
            Born(file.string()))));
    EXPECT_GE(born, before);
    EXPECT_LE(born, std::chrono::system_clock::now() + std::chrono::seconds(5));
    const std::string missing = (dir.Path() / "missing.ddf").string();
    EXPECT_RAISES(Born(missing), 53, "Varnholt",
                  Failure(53, "cannot read the creation time of", missing, SystemReason(ERROR_FILE_NOT_FOUND)));
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

}  // namespace
}  // namespace varnholt::test
