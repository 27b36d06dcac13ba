// File existence, creation dates and the copying of dictionary files.
#include <sys/stat.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <sys/resource.h>
#endif

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>

#include "FilesTestSupport.h"
#include "platform/FileSystem.h"

namespace varnholt::test {
namespace {

namespace fs = std::filesystem;

constexpr char kDoesFileExist[] = "Kestrin.Varnholt.ConnectionHelper.DoesFileExist";
constexpr char kDifferentDates[] = "Varnholt.ConnectionHelper.DifferentDates";
constexpr char kCopyFiles[] = "Kestrin.Varnholt.ConnectionHelper.CopyFiles";
constexpr int32_t kMissingSource = kObjectErrorBase + 10004;
constexpr int32_t kCopyFailed = kObjectErrorBase + 10003;
const std::vector<std::string> kDictionary = {"Attrib.ddf", "Field.ddf", "File.ddf", "Index.ddf"};

class FilesTest : public ::testing::Test {
protected:
    FilesTest() { WithLiterals(helper); }
    String In(const std::string& folder, const std::string& name = "") const {
        return Folder(dir.Path() / folder) + S(name);
    }
    std::string Path(const std::string& folder, const std::string& file) const { return U8(In(folder, file)); }
    TempDir dir;
    ScopedDrives drives;
    ConnectionHelper helper;
};

TEST(AddBackslash, EnsuresOneTrailingBackslash) {
    for (const auto& [path, expected] : std::vector<std::pair<std::string, std::string>>{
             {"C:\\Data", "C:\\Data\\"}, {"C:\\Data\\", "C:\\Data\\"}, {"", "\\"}, {"/tmp/", "/tmp/\\"}})
        EXPECT_EQ(U8(FilesTestAccess::AddBackslash(S(path))), expected);
}

TEST_F(FilesTest, DoesFileExistFindsNormalFilesByWildcardInEitherCase) {
    for (const char* name : {"data/Alpha.DAT", "data/beta.dat", "data/noext", "data/.hidden.dat", "odd/.Hidden.DAT",
                             "linked/target.bin", "ru/ab.dat", "ro/Frozen.ddf"})
        dir.Write(name, "x");
    fs::create_directories(dir.Path() / "fr");
    std::ofstream(dir.Path() / fs::path(u8"fr/caf\u00e9.dat")) << "x";    // a narrow path would be ANSI on Windows
    std::ofstream(dir.Path() / fs::path(u8"fr/Order\u03a9.dat")) << "x";  // outside the code page
    fs::create_directories(dir.Path() / "data/Gamma.DAT");
    fs::create_directories(dir.Path() / "odd/Folder.DAT");
    fs::create_directories(dir.Path() / "empty");
#ifndef _WIN32  // no FIFOs on Windows, and Wine makes no symbolic links
    ::mkfifo((dir.Path() / "odd/Pipe.DAT").c_str(), 0644);
    fs::create_symlink("nowhere", dir.Path() / "odd/Broken.DAT");
    fs::create_symlink("target.bin", dir.Path() / "linked/Link.DAT");
    constexpr bool kLinked = true;
#else
    constexpr bool kLinked = false;
    // The system's own marks hide a file, as a leading dot does on POSIX; read-only does not.
    ASSERT_TRUE(SetFileAttributesW(dir.Write("odd/Hidden.DAT", "x").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(SetFileAttributesW(dir.Write("odd/System.DAT", "x").c_str(), FILE_ATTRIBUTE_SYSTEM));
    ASSERT_TRUE(SetFileAttributesW((dir.Path() / "ro/Frozen.ddf").c_str(), FILE_ATTRIBUTE_READONLY));
#endif
    const std::vector<std::tuple<std::string, std::string, bool>> cases = {
        // clang-format off
        {"data", "Alpha.DAT", true}, {"data", "ALPHA.dat", true}, {"data", "*.DAT", true}, {"data", "?lpha.dat", true},
        {"data", "A*", true}, {"data", "*.*", true}, {"data", "noext.*", true}, {"data", "", true},
        {"data", "B?TA.*", true}, {"data", "Alph", false}, {"data", "*.TXT", false}, {"data", "?.dat", false},
        {"data", "Alpha.DAT?", false}, {"data", ".hidden.dat", false}, {"data", ".h*", false},
        {"data", "Gamma.DAT", false}, {"data", "G*", false}, {"empty", "", false}, {"missing", "x.dat", false},
        {"odd", "*.DAT", false}, {"odd", "Pipe.DAT", false}, {"linked", "*.DAT", kLinked},
        {"fr", "CAF\xc3\x89.DAT", true}, {"fr", "Order\xce\xa9.dat", true}, {"ro", "*.DDF", true},
        // clang-format on
        // The system would read a name only up to a NUL.
        {"data", std::string("Alpha.DAT\0.x", 12), false},
        {"data", std::string("Alpha.DAT\0", 10), false},
        {"data", std::string("*.DAT\0", 6), false},
        // Through the code page "жз" would become "??", a pattern that "ab.dat" matches.
        {"ru", "\xd0\xb6\xd0\xb7.dat", false}};
    for (const auto& [folder, name, found] : cases) EXPECT_EQ(helper.DoesFileExist(In(folder, name)), found) << name;
    EXPECT_FALSE(helper.DoesFileExist(u"", true));
    EXPECT_TRUE(helper.DoesFileExist(S(dir.Path().string() + "/ro/frozen.ddf")));  // either separator

#ifndef _WIN32  // the drive table
    ScopedDrives table({"D:\tfixed\t" + dir.Path().string()});
    EXPECT_TRUE(helper.DoesFileExist(u"d:data\\alpha.dat"));
#endif
    EXPECT_FALSE(helper.DoesFileExist(u"Q:\\data\\*.dat"));
}

TEST_F(FilesTest, DoesFileExistRefusesLongNamesAndPassesSearchFailures) {
    const String longest = In("data") + String(259 - In("data").size(), u'n');
    EXPECT_FALSE(helper.DoesFileExist(longest));
    for (const bool throwException : {false, true})
        EXPECT_RAISES(helper.DoesFileExist(longest + u"n", throwException), kObjectErrorBase, kDoesFileExist, Lit(33));
    ConnectionHelper without;
    EXPECT_RUNTIME_ERROR(WithLiterals(without, 32).DoesFileExist(longest + u"n"), kSubscriptOutOfRange);

#ifndef _WIN32  // Wine makes no symbolic links
    fs::create_directory_symlink("loop", dir.Path() / "loop");
    EXPECT_RAISES(helper.DoesFileExist(In("loop", "*.dat")), 52, "Varnholt", "Bad file name or number");
#endif
    EXPECT_RAISES(helper.DoesFileExist(In("da*", "x.dat")), 52, "Varnholt", "Bad file name or number");
}

// The file calls below DoesFileExist (whose table has names holding a NUL) refuse such a name
// alike, never acting on the shorter name the system would read.
TEST_F(FilesTest, EveryFileCallRefusesANulAlike) {
    dir.Write("data/File.ddf", "x");
    const std::string file = Path("data", "File.ddf"), copy = Path("data", "Copy.ddf"), nul("\0.x", 3);
    const std::string bad = "Bad file name or number: ", why = " (the name holds a NUL character)";
    EXPECT_RAISES(platform::CreationTime(S(file + nul)), 52, "Varnholt",
                  bad + "cannot read the creation time of " + file + nul + why);
    EXPECT_RAISES(platform::CopyFile(S(file + nul), S(copy)), 52, "Varnholt", bad + "cannot open " + file + nul + why);
    EXPECT_EQ(Entries(dir.Path() / "data"), std::vector<std::string>{"File.ddf"});
}

// Two rounds of files about 1.1 s apart, so that birth times differ whatever the clock's grain.
class DifferentDatesTest : public FilesTest {
protected:
    static void SetUpTestSuite() {
        rounds = new TempDir;
        for (const char* name : {"src/Older.ddf", "tgt/Newer.ddf", "src/OnlySource.ddf", "tgt/OnlyTarget.ddf"})
            rounds->Write(name, "1");
        std::this_thread::sleep_for(std::chrono::milliseconds(1100));
        for (const char* name : {"src/Newer.ddf", "tgt/Older.ddf"}) rounds->Write(name, "2");
#ifndef _WIN32  // under Wine a file's creation time follows its last change
        // Later writes to the older files: only creation counts.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        for (const char* name : {"src/Older.ddf", "tgt/Newer.ddf"}) rounds->Write(name, "3");
#endif
    }
    static void TearDownTestSuite() { delete rounds; }
    static String Round(const std::string& folder) { return Folder(rounds->Path() / folder); }
    static TempDir* rounds;
};
TempDir* DifferentDatesTest::rounds = nullptr;

TEST_F(DifferentDatesTest, ALaterSourceOfAnyListedFileCounts) {
    struct Case {
        std::vector<std::string> files;
        std::string source, target;
        bool different;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {{"Newer.ddf"}, "src", "tgt", true}, {{"Older.ddf"}, "src", "tgt", false},
        {{"Older.ddf", "Newer.ddf"}, "src", "tgt", true}, {{"NEWER.DDF"}, "src", "tgt", true},
        {{"Older.ddf"}, "tgt", "src", true}, {{"Newer.ddf"}, "src", "src", false} /* equal times */,
        {{"OnlySource.ddf", "OnlyTarget.ddf", "Missing.ddf"}, "src", "tgt", false}, {{}, "src", "tgt", false},
        {{std::string("Newer.ddf\0.x", 12)}, "src", "tgt", false} /* names no file */};
    // clang-format on
    for (const Case& c : cases)
        EXPECT_EQ(helper.DifferentDates(Strings(7, c.files), Round(c.source), Round(c.target)), c.different)
            << c.source << " " << (c.files.empty() ? "" : c.files.back());
}

TEST_F(DifferentDatesTest, FailuresKeepNumberAndDescriptionUnderItsOwnSource) {
    const String src = Round("src");
    for (const SafeArray<String>& files : {SafeArray<String>(), SafeArray<String>({Bound{1, 2}, Bound{1, 2}})})
        EXPECT_RAISES(helper.DifferentDates(files, src, src), 9, kDifferentDates, "Subscript out of range");
    // The Integer loop overflows at its first step, or at the step past the last name.
    for (const int32_t lower : {-40000, 32767})
        EXPECT_RAISES(helper.DifferentDates(Strings(lower, {"a"}), src, src), 6, kDifferentDates, "Overflow") << lower;
    EXPECT_RAISES(helper.DifferentDates(Strings(1, {std::string(300, 'n')}), Round("src"), Round("tgt")),
                  kObjectErrorBase, kDifferentDates, Lit(33));
#ifndef _WIN32  // Wine makes no symbolic links, and has no /proc
    fs::create_directory_symlink("loop", dir.Path() / "loop");
    EXPECT_RAISES(helper.DifferentDates(Strings(1, {"Newer.ddf"}), Round("src"), In("loop")), 52, kDifferentDates,
                  "Bad file name or number");
    // Both exist, but /proc keeps no creation times.
    EXPECT_RAISES(helper.DifferentDates(Strings(1, {"status"}), u"/proc/self/", u"/proc/self/"), 75, kDifferentDates,
                  "Path/File access error: cannot read the creation time of /proc/self/status "
                  "(its file system keeps no creation time)");
#endif
}

class CopyDictionaryFilesTest : public FilesTest {
protected:
    bool Copy(const std::string& master, const std::string& target, ConnectionHelper* with = nullptr) {
        return FilesTestAccess::CopyDictionaryFiles(with ? *with : helper, In(master), In(target));
    }
    void WriteMaster(const std::vector<std::string>& names) const {
        for (const std::string& name : names) dir.Write("master/" + name, "master " + name);
    }
    std::string CopyError(const std::string& target, const std::string& why) const {
        return Lit(15) + " " + Path(target, "File.ddf") + " " + Lit(18) + "\r\n\r\n" + why;
    }
};

TEST_F(CopyDictionaryFilesTest, CopiesAllFourThroughDriveLetters) {
    const TempDir m('M'), s('S');
    ScopedDrives table({"M:\tfixed\t" + m.Path().string(), "S:\tremote\t" + s.Path().string() + "\t\\\\srv\\apps"});
    for (const char* name : {"File.ddf", "FIELD.DDF", "Index.ddf", "Attrib.ddf"})
        m.Write(name, std::string("master ") + name);
    fs::create_directories(s.Path() / "Dict");
    EXPECT_TRUE(FilesTestAccess::CopyDictionaryFiles(helper, FilesTestAccess::AddBackslash(u"M:"),
                                                     FilesTestAccess::AddBackslash(u"S:\\Dict")));
    EXPECT_EQ(Entries(s.Path() / "Dict"), kDictionary);
    EXPECT_EQ(ReadFile(s.Path() / "Dict/Field.ddf"), "master FIELD.DDF");
}

TEST_F(CopyDictionaryFilesTest, ExistingTargetsAreNeverReplaced) {
    for (const char* name : {"File.ddf", "INDEX.DDF"}) dir.Write(std::string("dict/") + name, "old");
    WriteMaster(kDictionary);
    EXPECT_TRUE(Copy("master", "dict"));
    EXPECT_EQ(Entries(dir.Path() / "dict"),
              (std::vector<std::string>{"Attrib.ddf", "Field.ddf", "File.ddf", "INDEX.DDF"}));
    EXPECT_EQ(ReadFile(dir.Path() / "dict/File.ddf") + ReadFile(dir.Path() / "dict/INDEX.DDF"), "oldold");
    EXPECT_EQ(ReadFile(dir.Path() / "dict/Field.ddf"), "master Field.ddf");
    fs::remove_all(dir.Path() / "master");
    EXPECT_TRUE(Copy("master", "dict"));  // a complete set needs no master
}

TEST_F(CopyDictionaryFilesTest, AMissingMasterStopsTheCopy) {
    WriteMaster({"File.ddf", "Index.ddf", "Attrib.ddf"});
    fs::create_directory(dir.Path() / "dict");
    EXPECT_RAISES(Copy("master", "dict"), kMissingSource, kCopyFiles,
                  Lit(15) + " " + Path("master", "Field.ddf") + " " + Lit(16));
    EXPECT_EQ(Entries(dir.Path() / "dict"), std::vector<std::string>{"File.ddf"});
}

#ifndef _WIN32  // a file-size limit (setrlimit) makes the write fail
TEST_F(CopyDictionaryFilesTest, ACopyThatFailsMidwayLeavesNoPartialTarget) {
    WriteMaster({"Index.ddf", "Attrib.ddf", "Field.ddf"});
    dir.Write("master/File.ddf", std::string(300000, 'f'));
    fs::create_directory(dir.Path() / "dict");
    rlimit previous{};  // no file of this process may grow beyond 8 KiB: writes past that fail
    ::getrlimit(RLIMIT_FSIZE, &previous);
    const auto handler = ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{8192, previous.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    EXPECT_RAISES(
        Copy("master", "dict"), kCopyFailed, kCopyFiles,
        CopyError("dict", "Disk full: cannot write " + Path("dict", "File.ddf") + " (" + std::strerror(EFBIG) + ")"));
    ::setrlimit(RLIMIT_FSIZE, &previous);
    ::signal(SIGXFSZ, handler);
    EXPECT_TRUE(Entries(dir.Path() / "dict").empty());
}
#endif

// A read-only master makes a read-only copy, yet a copy that cannot take its name leaves nothing.
TEST_F(CopyDictionaryFilesTest, AReadOnlyMasterLeavesNoTemporaryBehind) {
    WriteMaster(kDictionary);
    const fs::path master = dir.Path() / "master/File.ddf", target = dir.Path() / "dict/File.ddf";
    constexpr fs::perms kWrite = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(master, kWrite, fs::perm_options::remove);
    fs::create_directories(target);  // no file of that name, but the name is taken
    try {
        Copy("master", "dict");
        ADD_FAILURE() << "copied onto a folder";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), kCopyFailed);
        const std::string expected =
            CopyError("dict", "File already exists: cannot create " + Path("dict", "File.ddf"));
        EXPECT_EQ(U8(e.Description()).substr(0, expected.size()), expected);
    }
    EXPECT_EQ(Entries(dir.Path() / "dict"), std::vector<std::string>{"File.ddf"});

    fs::remove(target);
    EXPECT_TRUE(Copy("master", "dict"));
    EXPECT_EQ(Entries(dir.Path() / "dict"), kDictionary);
    EXPECT_EQ(ReadFile(target), "master File.ddf");
    EXPECT_EQ(fs::status(target).permissions() & kWrite, fs::perms::none);
    EXPECT_NE(fs::status(dir.Path() / "dict/Field.ddf").permissions() & kWrite, fs::perms::none);
    for (const fs::path& p : {master, target}) fs::permissions(p, fs::perms::owner_write, fs::perm_options::add);
}

// While the data are written, the folder holds no normal file of another name: a client
// looking for files there sees the copy only once it is complete.
TEST_F(CopyDictionaryFilesTest, TheTemporaryIsHiddenWhileTheCopyRuns) {
    WriteMaster({"Field.ddf", "Index.ddf", "Attrib.ddf"});
    dir.Write("master/File.ddf", std::string(size_t{32} << 20, 'f'));
    fs::create_directory(dir.Path() / "dict");
    std::atomic<bool> done{false};
    int looks = 0, seen = 0;
    std::thread watcher([&] {
        ConnectionHelper other;
        const String anything = In("dict", "*");
        while (!done) {
            const bool found = other.DoesFileExist(anything);
            if (fs::exists(dir.Path() / "dict/File.ddf")) continue;  // the first copy is in place
            ++looks;
            if (found) ++seen;
        }
    });
    EXPECT_TRUE(Copy("master", "dict"));
    done = true;
    watcher.join();
    EXPECT_EQ(seen, 0) << "in " << looks << " looks before the first copy was complete";
    EXPECT_EQ(Entries(dir.Path() / "dict"), kDictionary);
}

// The longest folder whose four targets still fit the 259 characters a name may have.
TEST_F(CopyDictionaryFilesTest, AFolderOf248CharactersTakesAllFourAndKeepsItsOtherFiles) {
    WriteMaster(kDictionary);
    std::string folder = "d";
    while (In(folder).size() < 248 + 1) folder += 'd';
    dir.Write(folder + "/Notes.txt", "mine");
    EXPECT_TRUE(Copy("master", folder));
    std::vector<std::string> expected = kDictionary;
    expected.push_back("Notes.txt");
    EXPECT_EQ(Entries(dir.Path() / folder), expected);
    EXPECT_EQ(ReadFile(dir.Path() / folder / "Attrib.ddf") + ReadFile(dir.Path() / folder / "Notes.txt"),
              "master Attrib.ddfmine");
}

TEST_F(CopyDictionaryFilesTest, OtherFailuresBecome10004) {
    WriteMaster(kDictionary);
#ifndef _WIN32  // Wine makes no symbolic links
    fs::create_directory_symlink("loop", dir.Path() / "loop");
    EXPECT_RAISES(Copy("master", "loop"), kMissingSource, kCopyFiles, "Bad file name or number");
#endif
    ConnectionHelper upTo14, upTo17;
    EXPECT_RAISES(Copy("none", "dict", &WithLiterals(upTo14, 14)), kMissingSource, kCopyFiles,
                  "Subscript out of range");
    EXPECT_RAISES(Copy("master", "nowhere", &WithLiterals(upTo17, 17)), kMissingSource, kCopyFiles,
                  "Subscript out of range");
}

}  // namespace
}  // namespace varnholt::test
