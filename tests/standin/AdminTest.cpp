// The administration libraries as the component meets them: statuses, buffers, names in the
// engine's files, the journal and injected faults.
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>
#include <tuple>

#include "ChildProcess.h"
#include "StandinLibraries.h"
#include "TestSupport.h"

namespace varnholt::test {
namespace {

namespace fs = std::filesystem;

// Writes a file of the engine home the way a person editing it would.
void Put(const EngineHome& home, const std::string& relative, const std::string& content) {
    const fs::path path = home.Path() / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

class AdminTest : public ::testing::Test {
protected:
    EngineHome home;
    const AdminLibrary& lib = Library(STANDIN_W3DBAV90);

    std::vector<std::string> NameColumn(const std::string& server = "") const {
        std::vector<std::string> names;
        for (const auto& record : home.Names(server)) names.push_back(record.at(0));
        return names;
    }
    // One read of the local engine into a 255-byte buffer: the status and the text left there.
    using Read = std::pair<int32_t, std::string>;
    using Call = std::function<int32_t(int32_t*, char*)>;
    static Read Into(const Call& call) {
        char buffer[256] = {};
        int32_t size = 255;
        const int32_t status = call(&size, buffer);
        return {status, status == 0 ? buffer : ""};
    }
    Read Name(int32_t sequence) const {
        return Into([&](int32_t* size, char* buffer) { return lib.getDbName(-1, sequence, size, buffer); });
    }
    Read DataPath(const std::string& name, bool dictionary = false) const {
        return Into([&](int32_t* size, char* buffer) {
            return (dictionary ? lib.getDbDictionaryPath : lib.getDbDataPath)(-1, name.c_str(), size, buffer);
        });
    }
    int32_t Count(int32_t handle = -1) const {
        int32_t count = -99;
        EXPECT_EQ(lib.getDbNamesData(handle, &count), 0);
        return count;
    }
};

TEST_F(AdminTest, ConnectServerAnswersByServerAndCredentials) {
    home.SetUsers("FS01", {{"Beta", "Marlwood4839"}});
    home.AddServer("OPEN");
    home.SetUsers("", {{"admin", "secret"}});
    std::string host = HostName();
    for (char& c : host) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const struct {
        const char *server, *user, *password;
        int32_t status;
    } cases[] = {
        {"FS01", nullptr, "Marlwood4839", 7002},
        {"FS01", "", "Marlwood4839", 7002},
        {"FS01", "Beta", "", 7002},
        {"FS01", "Beta", nullptr, 7002},
        {"FS01", "Gamma", "Marlwood4839", 7029},
        {"OPEN", nullptr, nullptr, 0},
        {"", "admin", "secret", 0},
        {"", "admin", "wrong", 7029},
        {host.c_str(), "admin", "secret", 0},
        {nullptr, "Beta", "Marlwood4839", 7002},
    };
    std::vector<int32_t> handles;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.server ? c.server : "(null)") + " / " + (c.user ? c.user : "(null)"));
        int32_t handle = -77;
        EXPECT_EQ(lib.connectServer(c.server, c.user, c.password, &handle), c.status);
        EXPECT_TRUE(c.status == 0 ? handle > 0 : handle == -77) << handle;
        if (c.status == 0) handles.push_back(handle);
    }
    std::sort(handles.begin(), handles.end());
    EXPECT_EQ(std::adjacent_find(handles.begin(), handles.end()), handles.end()) << "handles must be distinct";
    EXPECT_EQ(lib.connectServer("OPEN", "", "", nullptr), 7002);
}

// That a handle reaches its own server's names the connection suite's lookups show.
TEST_F(AdminTest, HandlesBelongToTheirLibraryAndDieWithDisconnect) {
    home.AddName("FS01", "REMOTE1", "/r", "/r");
    int32_t handle = 0;
    ASSERT_EQ(lib.connectServer("FS01", "", "", &handle), 0);
    EXPECT_EQ(Count(handle), 1);
    // A handle belongs to the library file that made it.
    int32_t count = 0;
    EXPECT_EQ(Library(STANDIN_W3DBAV80).getDbNamesData(handle, &count), 7001);

    EXPECT_EQ(lib.disconnect(handle), 0);
    char buffer[64] = {};
    int32_t size = sizeof buffer;
    const std::pair<const char*, int32_t> calls[] = {
        {"PvGetDbNamesData", lib.getDbNamesData(handle, &count)},
        {"PvGetDbName", lib.getDbName(handle, 1, &size, buffer)},
        {"PvGetDbDataPath", lib.getDbDataPath(handle, "REMOTE1", &size, buffer)},
        {"PvGetDbDictionaryPath", lib.getDbDictionaryPath(handle, "REMOTE1", &size, buffer)},
        {"PvCreateDatabase", lib.createDatabase(handle, "NEW", "/n", "/n", 2)},
        {"PvDropDatabase", lib.dropDatabase(handle, "REMOTE1", 0)},
        {"PvModifyDatabase", lib.modifyDatabase(handle, "REMOTE1", "X", "", "", 0)},
        {"PvDisconnect", lib.disconnect(handle)},
    };
    for (const auto& [function, status] : calls) EXPECT_EQ(status, 7001) << function;
    EXPECT_EQ(NameColumn("FS01"), std::vector<std::string>{"REMOTE1"});
}

TEST_F(AdminTest, CreateEnumerateAndDropInEngineOrder) {
    home.AddName("", "FIRST", "/dict/first", "/data/first", 2);
    ASSERT_EQ(lib.createDatabase(-1, "Second", "C:\\Dict", "\\\\srv\\share\\Data", 2), 0);
    ASSERT_EQ(lib.createDatabase(-1, "third", "", "", -2147483647), 0);

    const auto records = home.Names("");
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1], (std::vector<std::string>{"Second", "C:\\Dict", "\\\\srv\\share\\Data", "2"}));
    EXPECT_EQ(records[2], (std::vector<std::string>{"third", "", "", "-2147483647"}));

    EXPECT_EQ(Count(), 3);
    const char* expected[] = {"FIRST", "Second", "third"};
    for (int32_t sequence = 1; sequence <= 3; ++sequence) EXPECT_EQ(Name(sequence), Read(0, expected[sequence - 1]));
    EXPECT_EQ(Name(4).first, 7008);

    EXPECT_EQ(lib.dropDatabase(-1, "SECOND", 0), 0);
    EXPECT_EQ(NameColumn(), (std::vector<std::string>{"FIRST", "third"}));
}

TEST_F(AdminTest, NamesTheFileCannotHoldAreRefused) {
    home.AddName("", "KEEP", "/k", "/k");
    // 255 code-page bytes and their NUL overflow the component's 255-byte reads. The names and the
    // data path the server's members pass on are refused in the bad-input tables; the rest here.
    const std::string tooLong(255, 'L');
    EXPECT_EQ(lib.createDatabase(-1, "OK", tooLong.c_str(), "/d", 2), 7004);
    EXPECT_EQ(lib.modifyDatabase(-1, "KEEP", "", tooLong.c_str(), "", 0), 7004);
    EXPECT_EQ(lib.modifyDatabase(-1, "KEEP", "", "", tooLong.c_str(), 0), 7004);
    EXPECT_EQ(NameColumn(), (std::vector<std::string>{"KEEP"}));

    // 254 bytes fit, counted in the code page (each \xE9 is two bytes in the file).
    const std::string longest(254, '\xE9');
    ASSERT_EQ(lib.createDatabase(-1, longest.c_str(), longest.c_str(), "/d", 2), 0);
    EXPECT_EQ(Name(2), Read(0, longest));
    EXPECT_EQ(DataPath(longest, true), Read(0, longest));
}

TEST_F(AdminTest, NullPointersAnswer7002) {
    home.AddName("", "ACCOUNTS", "/d", "/d");
    char buffer[64];
    int32_t size = sizeof buffer;
    const std::pair<const char*, int32_t> calls[] = {
        {"PvGetDbNamesData", lib.getDbNamesData(-1, nullptr)},
        {"PvGetDbName size", lib.getDbName(-1, 1, nullptr, buffer)},
        {"PvGetDbName buffer", lib.getDbName(-1, 1, &size, nullptr)},
        {"PvGetDbDataPath name", lib.getDbDataPath(-1, nullptr, &size, buffer)},
        {"PvGetDbDictionaryPath buffer", lib.getDbDictionaryPath(-1, "ACCOUNTS", &size, nullptr)},
        {"PvCreateDatabase", lib.createDatabase(-1, "NEW", nullptr, "/d", 2)},
        {"PvDropDatabase", lib.dropDatabase(-1, nullptr, 0)},
        {"PvModifyDatabase", lib.modifyDatabase(-1, "ACCOUNTS", nullptr, "", "", 0)},
        {"PvGetMkdeVersion", Library(STANDIN_W3DBAV78).getMkdeVersion(-1, nullptr)},
    };
    for (const auto& [function, status] : calls) EXPECT_EQ(status, 7002) << function;
    EXPECT_EQ(NameColumn(), (std::vector<std::string>{"ACCOUNTS"}));
}

// One copy-out serves the three reads (the bindings check each read's text and needed size).
TEST_F(AdminTest, OutputBuffersHoldTextAndNulOnly) {
    home.AddName("", "ACCOUNTS", "/d", "/d");
    char buffer[64];
    for (const auto& [given, status] : {std::pair{8, 7003}, {-5, 7003}, {9, 0}, {255, 0}}) {
        SCOPED_TRACE(given);
        std::memset(buffer, 'x', sizeof buffer);
        int32_t size = given;
        EXPECT_EQ(lib.getDbName(-1, 1, &size, buffer), status);
        EXPECT_EQ(size, 9);
        const std::string written = status == 0 ? std::string("ACCOUNTS\0", 9) : "";
        EXPECT_EQ(std::string(buffer, sizeof buffer), written + std::string(sizeof buffer - written.size(), 'x'));
    }
    int32_t size = sizeof buffer;
    EXPECT_EQ(lib.getDbDataPath(-1, "NOSUCH", &size, buffer), 7013);
    EXPECT_EQ(size, static_cast<int32_t>(sizeof buffer)) << "a name not found reports no size";
}

// Flags and a path left as they are show in CPVSServerTest and the tool's suite.
TEST_F(AdminTest, ModifyKeepsWhatIsLeftEmpty) {
    home.AddName("", "ACME", "/dict/acme", "/data/acme", 2);
    home.AddName("", "OTHER", "/dict/other", "/data/other", 2);
    EXPECT_EQ(lib.modifyDatabase(-1, "acme", "Acme", "/dict/new", "", 6), 0);
    EXPECT_EQ(home.Names("")[0], (std::vector<std::string>{"Acme", "/dict/new", "/data/acme", "6"}));
    EXPECT_EQ(lib.modifyDatabase(-1, "ACME", "other", "", "", INT32_MIN), 7012);
    EXPECT_EQ(NameColumn(), (std::vector<std::string>{"Acme", "OTHER"}));
}

// Files as editors leave them: comments, any line end, a byte-order mark, and lines that are no
// text. A bad line names nothing and stays as it is; the others list whole and drop alone.
TEST_F(AdminTest, HandEditedFilesKeepEachRecordApart) {
    const std::string a = "A\t/a\t/a\t2", b = "B\t/b\t/b\t2";
    const struct {
        const char* what;
        std::string content, afterDrop;  // the file, and the file once A is dropped
    } cases[] = {
        {"a comment and a blank line", "# test names\n" + a + "\n\n" + b + "\n", "# test names\n\n" + b + "\n"},
        {"CR only", a + "\r" + b + "\r", b + "\n"},
        {"CRLF", a + "\r\n" + b + "\r\n", b + "\n"},
        {"LF CR, no last end", a + "\n\r" + b, "\n" + b + "\n"},
        {"byte-order mark", "\xEF\xBB\xBF" + a + "\n" + b + "\n", b + "\n"},
        {"NUL in a name", a + "\n" + std::string("N\0L\t/n\t/n\t2\n", 12) + b + "\n",
         std::string("N\0L\t/n\t/n\t2\n", 12) + b + "\n"},
        {"invalid byte", a + "\nX\xFFY\t/x\t/x\t2\n" + b + "\n", "X\xFFY\t/x\t/x\t2\n" + b + "\n"},
        {"overlong slash", a + "\n\xC0\xAF\t/x\t/x\t2\n" + b + "\n", "\xC0\xAF\t/x\t/x\t2\n" + b + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Put(home, "local/dbnames", c.content);
        ASSERT_EQ(Count(), 2);
        EXPECT_EQ((std::vector{Name(1), DataPath("A"), Name(2), DataPath("B"), DataPath("/")}),
                  (std::vector<Read>{{0, "A"}, {0, "/a"}, {0, "B"}, {0, "/b"}, {7013, ""}}));
        ASSERT_EQ(lib.dropDatabase(-1, "A", 0), 0);
        EXPECT_EQ(ReadFile(home.Path() / "local/dbnames"), c.afterDrop);
    }
}

// A session lists the names of the moment of its last count, whatever others write meanwhile,
// and reads paths as they are now; its own change ends that listing.
TEST_F(AdminTest, ListingHoldsTheNamesOfItsCount) {
    Put(home, "local/dbnames", "A\t/a\t/a\t2\nB\t/b\t/b\t2\nC\t/c\t/c\t2\n");
    ASSERT_EQ(Count(), 3);
    // Another process drops A and moves B: same size, put in place by rename as an editor would.
    Put(home, "local/dbnames.new", "B\t/b\t/b2222222222\t2\nC\t/c\t/c\t2\n");
    fs::rename(home.Path() / "local/dbnames.new", home.Path() / "local/dbnames");
    const char* listed[] = {"A", "B", "C"};
    const char* dataPaths[] = {"/a", "/b2222222222", "/c"};  // A's from the listing, the others' read anew
    for (int32_t sequence = 1; sequence <= 3; ++sequence) {
        EXPECT_EQ(Name(sequence), Read(0, listed[sequence - 1]));
        EXPECT_EQ(DataPath(listed[sequence - 1]), Read(0, dataPaths[sequence - 1]));
    }
    ASSERT_EQ(Count(), 2);
    ASSERT_EQ(lib.dropDatabase(-1, "B", 0), 0);
    EXPECT_EQ(Name(1), Read(0, "C"));
    EXPECT_EQ(DataPath("A").first, 7013);
    fs::remove(home.Path() / "local/dbnames");
    EXPECT_EQ(Count(), 0);
}

// A character the code page lacks reads as '?' in the server's bad-input suite.
TEST_F(AdminTest, TextCrossesAsTheEightBitCodePage) {
    ASSERT_EQ(lib.createDatabase(-1, "Caf\xE9", "C:\\\x80uro", "/d", 2), 0);
    EXPECT_EQ(home.Names("")[0][0], "Caf\xC3\xA9");
    EXPECT_EQ(home.Names("")[0][1], "C:\\\xE2\x82\xACuro");
    EXPECT_EQ(DataPath("CAF\xC9", true), Read(0, "C:\\\x80uro"));
}

// A names file that cannot be examined or read is not an empty one: LAKE may well exist. A
// folder in its place is a row of CPVSServerBadInput.GetDBNamesCount.
TEST_F(AdminTest, UnreadableNamesAnswer7009) {
    const fs::path names = home.Path() / "local/dbnames";
    const struct {
        const char* what;
        std::function<void()> make;
    } cases[] = {
        {"the home a file", [&] { SetEnv("VARNHOLT_ENGINE_HOME", home.Path() / "local/plain"); }},
#ifndef _WIN32
        {"a loop of links", [&] { fs::create_symlink("dbnames", names); }},
        {"a FIFO", [&] { ASSERT_EQ(::mkfifo(names.c_str(), 0644), 0); }},
        {"an endless device", [&] { fs::create_symlink("/dev/zero", names); }},
        {"past the size bound",
         [&] {
             fs::copy_file(home.Path() / "local/plain", names);
             fs::resize_file(names, (64 << 20) + 1);
         }},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(home.Path() / "local");
        Put(home, "local/plain", "LAKE\t/l\t/l\t2\n");
        c.make();
        int32_t count = -1;
        EXPECT_EQ(lib.getDbNamesData(-1, &count), 7009);
        EXPECT_EQ(DataPath("LAKE").first, 7009);
        EXPECT_EQ(lib.createDatabase(-1, "NEW", "/d", "/d", 2), 7009);
        SetEnv("VARNHOLT_ENGINE_HOME", home.Path());
    }
}

#ifndef _WIN32  // FIFOs and links
// A FIFO in place of any of the engine's files is no file of it: calls answer at once.
TEST_F(AdminTest, FifosInPlaceOfItsFilesNeverBlock) {
    home.AddName("", "LAKE", "/l", "/l");
    int32_t count = -1;
    engine::MkdeVersion version{};
    const struct {
        const char* file;
        std::function<int32_t()> call;
        int32_t status;
    } cases[] = {
        {"journal", [&] { return lib.start(0); }, 0},
        {"faults", [&] { return lib.start(0); }, 0},
        {"answers", [&] { return lib.getDbNamesData(-1, &count); }, 0},
        {"engine.conf", [&] { return Library(STANDIN_W3DBAV78).getMkdeVersion(-1, &version); }, 0},
        {"local/users", [&] { return lib.connectServer("", "admin", "secret", &count); }, 7029},
        {"local/dbnames.lock", [&] { return lib.createDatabase(-1, "NEW", "/n", "/n", 2); }, 7004},
        {"local/dbnames.tmp", [&] { return lib.createDatabase(-1, "NEW", "/n", "/n", 2); }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const fs::path fifo = home.Path() / c.file;
        fs::remove(fifo);
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
        EXPECT_EQ(c.call(), c.status);
        fs::remove(fifo);
    }
    EXPECT_EQ(NameColumn(), (std::vector<std::string>{"LAKE", "NEW"}));
}

TEST_F(AdminTest, LinkedNamesFileIsWrittenThrough) {
    const fs::path target = home.Path() / "shared/names";
    Put(home, "shared/names", "LAKE\t/l\t/l\t2\n");
    fs::create_directories(home.Path() / "local");
    fs::create_symlink("../shared/names", home.Path() / "local/dbnames");
    ASSERT_EQ(lib.createDatabase(-1, "NEW", "/n", "/n", 2), 0);
    EXPECT_TRUE(fs::is_symlink(home.Path() / "local/dbnames"));
    EXPECT_EQ(ReadFile(target), "LAKE\t/l\t/l\t2\nNEW\t/n\t/n\t2\n");
    EXPECT_EQ(Count(), 2);
}
#endif

// The bindings' suites check each entry point's journal line and library; here the arguments no
// binding passes: NULL pointers, and texts with blanks, tabs and line ends.
TEST_F(AdminTest, JournalShowsNullsAndKeepsOneLinePerCall) {
    home.EnableJournal();
    int32_t handle = 0;
    char buffer[16];
    lib.connectServer("FS01", nullptr, "pw", &handle);
    lib.getDbDataPath(-1, "ACME", nullptr, buffer);
    lib.createDatabase(-1, "A\tB", "x\ny", "C:\\a b", -5);
    EXPECT_EQ(home.Journal(), (std::vector<std::vector<std::string>>{
                                  {"W3DBAV90", "PvConnectServer", "FS01", "(null)", "2"},
                                  {"W3DBAV90", "PvGetDbDataPath", "-1", "ACME", "(null)"},
                                  {"W3DBAV90", "PvCreateDatabase", "-1", "A?B", "x?y", "C:\\a b", "-5"},
                              }));
}

TEST_F(AdminTest, JournalAndFaultsAppearingBetweenCallsAreSeen) {
    int32_t count = 0;
    lib.getDbNamesData(-1, &count);  // the home folder changed a moment ago
    EXPECT_FALSE(fs::exists(home.Path() / "journal")) << "no journal is written unless it exists";
    home.EnableJournal();
    lib.getDbNamesData(-1, &count);
    EXPECT_EQ(home.Calls(), std::vector<std::string>{"PvGetDbNamesData -1"});

    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    lib.getDbNamesData(-1, &count);  // now the folder's state can be trusted
    // A fault without a count answers every call and leaves the count alone; names without case.
    home.SetFaults("# injected\npvgetdbnamesdata\t7009\n");
    count = -1;
    for (int i = 0; i < 2; ++i) EXPECT_EQ(lib.getDbNamesData(-1, &count), 7009);
    EXPECT_EQ(count, -1);
    home.SetFaults("");
    EXPECT_EQ(lib.getDbNamesData(-1, &count), 0);
    home.SetFaults("PvGetDbNamesData\t7013\n");
    EXPECT_EQ(lib.getDbNamesData(-1, &count), 7013);

    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    lib.getDbNamesData(-1, &count);
    fs::remove(home.Path() / "faults");
    fs::remove(home.Path() / "journal");
    EXPECT_EQ(lib.getDbNamesData(-1, &count), 0);
    EXPECT_FALSE(fs::exists(home.Path() / "journal")) << "a removed journal is not created again";
}

#ifndef _WIN32  // a file-size limit: setrlimit, in a process made with fork
// A write cut short by a full disk (here a file size limit) leaves whole records only, and a
// record torn by a writer that died does not swallow the next one.
TEST_F(AdminTest, JournalHoldsWholeRecordsOnly) {
    home.EnableJournal();
    lib.start(0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(fs::file_size(home.Path() / "journal") + 5), RLIM_INFINITY};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        lib.stop(0);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    lib.start(0);
    EXPECT_EQ(ReadFile(home.Path() / "journal"), "W3DBAV90\tPvStart\t0\nW3DBAV90\tPvStart\t0\n");

    Put(home, "journal", "W3DBAV90\tPvSt");
    lib.stop(0);
    EXPECT_EQ(ReadFile(home.Path() / "journal"), "W3DBAV90\tPvSt\nW3DBAV90\tPvStop\t0\n");
}
#endif

TEST_F(AdminTest, CountedFaultIsUsedUpAcrossProcesses) {
    home.SetFaults("PvGetDbNamesData\t7012\t3\nPvStop\t5\n");
    int32_t count = -1;
    EXPECT_EQ(lib.getDbNamesData(-1, &count), 7012);
    EXPECT_EQ(ReadFile(home.Path() / "faults"), "PvGetDbNamesData\t7012\t2\nPvStop\t5\n");

    EXPECT_EQ(ChildProcess(STANDIN_CHILD, {"take", "PvGetDbNamesData", "7012"}).Wait(), ChildEnd::Succeeded)
        << "the child did not see the fault";

    EXPECT_EQ(lib.getDbNamesData(-1, &count), 7012);
    EXPECT_EQ(ReadFile(home.Path() / "faults"), "PvStop\t5\n");
    EXPECT_EQ(lib.getDbNamesData(-1, &count), 0);
    EXPECT_EQ(lib.stop(0), 5);
}

// Other versions and platforms, and version texts that are no version, are rows of the server's
// suites and of StoreRecords; here the defaults, the file's syntax and the whole record.
TEST_F(AdminTest, VersionRecordComesFromEngineConf) {
    const AdminLibrary& version = Library(STANDIN_W3DBAV78);
    const struct {
        std::optional<std::string> conf;
        engine::MkdeVersion expected;
    } cases[] = {
        {std::nullopt, {9, 5, 0, 'L', {}}},
        {"# comment\nplatform = N\n", {9, 5, 0, 'N', {}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.conf.value_or("(no file)"));
        fs::remove(home.Path() / "engine.conf");
        if (c.conf) Put(home, "engine.conf", *c.conf);
        engine::MkdeVersion record;
        std::memset(&record, 0x55, sizeof record);
        ASSERT_EQ(version.getMkdeVersion(-1, &record), 0);
        EXPECT_EQ(std::memcmp(&record, &c.expected, sizeof record), 0)
            << record.major << "." << record.minor << "." << record.build << " " << record.platform;
    }
    engine::MkdeVersion record{};
    EXPECT_EQ(version.getMkdeVersion(3, &record), 7001);
}

TEST(AdminExports, EachFileExportsItsEntryPointsOnly) {
    const std::vector<std::string> admin = {
        "PvStart",          "PvStop",         "PvConnectServer", "PvDisconnect",
        "PvCreateDatabase", "PvGetDbName",    "PvGetDbDataPath", "PvGetDbDictionaryPath",
        "PvGetDbNamesData", "PvDropDatabase", "PvModifyDatabase"};
    std::vector<std::string> noDisconnect = admin;
    noDisconnect.erase(noDisconnect.begin() + 3);
    const std::tuple<const char*, const AdminLibrary&, std::vector<std::string>> cases[] = {
        {"75", Library(STANDIN_W3DBAV75), admin},
        {"80", Library(STANDIN_W3DBAV80), admin},
        {"90", Library(STANDIN_W3DBAV90), admin},
        {"90 without PvDisconnect", Library(STANDIN_W3DBAV90_NODISCONNECT), noDisconnect},
        {"78", Library(STANDIN_W3DBAV78), {"PvGetMkdeVersion"}},
    };
    for (const auto& [file, lib, exported] : cases) {
        ASSERT_NE(lib.handle, nullptr);
        for (const std::string& name : admin) {
            const bool expected = std::find(exported.begin(), exported.end(), name) != exported.end();
            EXPECT_EQ(lib.Entry<void (*)()>(name.c_str()) != nullptr, expected) << file << ": " << name;
        }
        // The version library alone exports PvGetMkdeVersion.
        EXPECT_EQ(lib.Entry<void (*)()>("PvGetMkdeVersion") != nullptr, exported.size() == 1) << file;
    }
}

}  // namespace
}  // namespace varnholt::test
