// The three bindings over the stand-in libraries, loaded by bare file name through the real
// loader, and the session's choice among them. Each suite runs with its own library search path
// (see CMakeLists.txt).
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "TestSupport.h"
#include "engine/CPVSWrapper.h"
#include "platform/DynamicLibrary.h"
#include "varnholt/CPVSServer.h"

namespace varnholt::test {
namespace {

namespace fs = std::filesystem;

// The search path the suite was registered with; run outside CTest it would test nothing.
void ExpectSearchPath(const char* folder) {
#ifdef _WIN32
    // Wine puts WINEPATH's folders first in PATH and keeps no variable of that name.
    const char* variable = "WINEPATH";
    const std::string wanted = std::string("Z:") + folder;
    const char* full = std::getenv("PATH");
    const std::string first = full ? std::string(full).substr(0, std::string(full).find(';')) : std::string();
    const char* path = full ? first.c_str() : nullptr;
#else
    const char* variable = "LD_LIBRARY_PATH";
    const std::string wanted = folder;
    const char* path = std::getenv(variable);
#endif
    ASSERT_TRUE(path && path == wanted) << "run through ctest: this suite needs " << variable << "=" << wanted;
}

struct Generation {
    int number;
    const char* file;     // as the component names it
    const char* library;  // as the journal names it
    std::function<std::unique_ptr<IPVSWrapper>()> make;
};

void PrintTo(const Generation& g, std::ostream* out) { *out << g.file; }

const Generation kGenerations[] = {
    {7, "W3DBAV75.DLL", "W3DBAV75", [] { return std::make_unique<CPVS7Wrapper>(); }},
    {8, "W3DBAV80.DLL", "W3DBAV80", [] { return std::make_unique<CPVS8Wrapper>(); }},
    {9, "W3DBAV90.DLL", "W3DBAV90", [] { return std::make_unique<CPVS9Wrapper>(); }},
};

// Every operation except the probe, each with arguments that would succeed on an engine, and
// what it gives when the engine answers 70000 (-70000 where that is negative): the status
// narrowed to 16 bits (70000 - 65536) except where the binding keeps a Long. An operation gets
// the handle, count or buffer size it takes in n, and a 256-byte buffer.
struct Operation {
    const char* function;  // as the engine names it
    std::function<Variant(IPVSWrapper&, int32_t& n, char* buffer)> call;
    Variant faulted;

    Variant operator()(IPVSWrapper& w) const {
        int32_t n = 255;
        char buffer[256] = {};
        return call(w, n, buffer);
    }
};

std::vector<Operation> Operations() {
    using W = IPVSWrapper&;
    using N = int32_t&;
    const Variant narrowed(int16_t{4464});
    return {
        {"PvStart", [](W w, N, char*) { return w.IPvStart(); }, int32_t{70000}},
        {"PvStop", [](W w, N, char*) { return w.IPvStop(); }, int32_t{-70000}},
        {"PvConnectServer", [](W w, N h, char*) { return Variant(w.IPvConnectServer(u"", u"", u"", h)); }, narrowed},
        {"PvDisconnect", [](W w, N h, char*) { return Variant(w.IPvDisconnect(h)); }, narrowed},
        {"PvCreateDatabase", [](W w, N, char*) { return Variant(w.IPvCreateDatabase(-1, u"NEW", u"/d", u"/d", 2)); },
         narrowed},
        {"PvGetDbName", [](W w, N n, char* b) { return Variant(w.GetDbNameInto(-1, 1, n, b)); }, int32_t{70000}},
        {"PvGetDbDataPath", [](W w, N n, char* b) { return Variant(w.GetDbDataPathInto(-1, "ACME", n, b)); }, narrowed},
        {"PvGetDbDictionaryPath",
         [](W w, N n, char* b) { return Variant(w.GetDbDictionaryPathInto(-1, "ACME", n, b)); }, narrowed},
        {"PvGetDbNamesData", [](W w, N count, char*) { return Variant(w.IPvGetDbNamesData(-1, count)); }, narrowed},
        {"PvDropDatabase", [](W w, N, char*) { return Variant(w.IPvDropDatabase(-1, u"ACME", 0)); }, int16_t{-4464}},
        {"PvModifyDatabase", [](W w, N, char*) { return Variant(w.IPvModifyDatabase(-1, u"ACME", u"", u"", u"", 0)); },
         narrowed},
    };
}

// --- Search path without any binding's library -----------------------------------------------

TEST(BindingAbsent, ProbeSaysNoAndEveryOperationRaisesTheLoadError) {
    ExpectSearchPath(STANDIN_NONE_DIR);
    EngineHome home;
    for (const Generation& g : kGenerations) {
        SCOPED_TRACE(g.file);
        auto wrapper = g.make();
        EXPECT_FALSE(wrapper->DoesVersionDLLLoad());
        for (const Operation& op : Operations())
            EXPECT_RAISES(op(*wrapper), 53, "Varnholt", std::string("File not found: ") + g.file) << op.function;
        EXPECT_FALSE(platform::IsLibraryLoaded(g.file));
    }
}

// --- Generation 9 without PvDisconnect ------------------------------------------------------

TEST(BindingNoDisconnect, ProbeSaysNoAndOnlyTheMissingEntryPointFails) {
    ExpectSearchPath(STANDIN_NODISCONNECT_DIR);
    EngineHome home;
    home.AddName("", "ACME", "/d", "/d");
    CPVS9Wrapper wrapper;
    EXPECT_FALSE(wrapper.DoesVersionDLLLoad());
    EXPECT_TRUE(platform::IsLibraryLoaded("W3DBAV90.DLL"));
    int32_t handle = -1;
    EXPECT_RAISES(wrapper.IPvDisconnect(handle), 453, "Varnholt",
                  "Can't find DLL entry point PvDisconnect in W3DBAV90.DLL");
    int32_t count = 0;
    EXPECT_EQ(wrapper.IPvGetDbNamesData(-1, count), 0);
    EXPECT_EQ(count, 1);
}

// --- Only some generations: the session binds to the newest present -------------------------

// The libraries that the journal shows answering function.
std::vector<std::string> Libraries(const EngineHome& home, const std::string& function) {
    std::vector<std::string> out;
    for (const auto& fields : home.Journal())
        if (fields.size() > 1 && fields[1] == function) out.push_back(fields[0]);
    return out;
}

TEST(OnlyGeneration8, BindsToEightAndReportsEight) {
    ExpectSearchPath(STANDIN_ONLY8_DIR);
    EngineHome home;
    home.EnableJournal();
    CPVSServer server;
    server.Connect();
    EXPECT_EQ(server.EngineVersionMajor(), 8);
    EXPECT_EQ(Libraries(home, "PvStart"), std::vector<std::string>{"W3DBAV80"});
}

TEST(Generations8And9, TheNewestWins) {
    ExpectSearchPath(STANDIN_8AND9_DIR);
    EngineHome home;
    home.EnableJournal();
    CPVSServer server;
    EXPECT_EQ(server.EngineVersionMajor(), 9);
    server.Connect();
    EXPECT_EQ(Libraries(home, "PvDisconnect"), (std::vector<std::string>{"W3DBAV80", "W3DBAV90"}));
    EXPECT_EQ(Libraries(home, "PvStart"), std::vector<std::string>{"W3DBAV90"});
}

// --- Every library present ---------------------------------------------------------------------

class Binding : public ::testing::TestWithParam<Generation> {
protected:
    void SetUp() override { ExpectSearchPath(STANDIN_ALL_DIR); }
};

// The probes need no engine home, leave no trace, and leave their libraries loaded, never the
// version library.
TEST_P(Binding, ProbesNeedNoEngineHomeAndKeepTheirLibrariesLoaded) {
    TempDir empty;
    const ScopedEnv home("VARNHOLT_ENGINE_HOME"), data("XDG_DATA_HOME");
    UnsetEnv("VARNHOLT_ENGINE_HOME");
    SetEnv("XDG_DATA_HOME", empty.Path() / "nowhere");
    EXPECT_TRUE(GetParam().make()->DoesVersionDLLLoad());
    EXPECT_FALSE(fs::exists(empty.Path() / "nowhere"));
    EXPECT_TRUE(platform::IsLibraryLoaded(GetParam().file));
    EXPECT_FALSE(platform::IsLibraryLoaded("W3DBAV78.DLL"));
}

// The component names its libraries in capitals, and both loaders treat names without regard to
// case: another spelling reaches the library already loaded, never a second copy of it.
TEST_P(Binding, ANameInAnyCaseIsTheLibraryAlreadyLoaded) {
    const std::string file = GetParam().file;
    std::string lower = file;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const std::string mixed = file.substr(0, 1) + lower.substr(1);
    void* const entry = platform::ResolveEntryPoint(file, "PvStart");
    for (const std::string& name : {lower, mixed}) {
        EXPECT_TRUE(platform::IsLibraryLoaded(name)) << name;
        EXPECT_EQ(platform::ResolveEntryPoint(name, "PvStart"), entry) << name;
    }
}

TEST_P(Binding, CallsReachTheirOwnLibraryInOrder) {
    EngineHome home;
    home.EnableJournal();
    home.AddServer("FS01");
    auto w = GetParam().make();
    int32_t handle = 0;
    EXPECT_EQ(w->IPvStart(), Variant(int32_t{0}));
    ASSERT_EQ(w->IPvConnectServer(u"FS01", u"Beta", u"Marlwood4839", handle), 0);
    EXPECT_EQ(w->IPvCreateDatabase(handle, u"ACME", u"C:\\Dict", u"C:\\Data", 2), 0);
    EXPECT_EQ(w->IPvModifyDatabase(handle, u"ACME", u"", u"D:\\Dict", u"", INT32_MIN), 0);
    int32_t count = 0;
    EXPECT_EQ(w->IPvGetDbNamesData(handle, count), 0);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(w->IPvDropDatabase(handle, u"ACME", 0), 0);
    EXPECT_EQ(w->IPvDropDatabase(handle, u"ACME", 0), 7013);
    const int32_t connected = handle;
    EXPECT_EQ(w->IPvDisconnect(handle), 0);
    EXPECT_EQ(handle, connected) << "the caller's handle is left as it was";
    EXPECT_EQ(w->IPvDisconnect(handle), 7001) << "the handle was really closed";
    EXPECT_EQ(w->IPvStop(), Variant(int32_t{0}));

    const std::string h = std::to_string(handle);
    EXPECT_EQ(home.Calls(),
              (std::vector<std::string>{
                  "PvStart 0", "PvConnectServer FS01 Beta 12", "PvCreateDatabase " + h + " ACME C:\\Dict C:\\Data 2",
                  "PvModifyDatabase " + h + " ACME  D:\\Dict  -2147483648", "PvGetDbNamesData " + h,
                  "PvDropDatabase " + h + " ACME 0", "PvDropDatabase " + h + " ACME 0", "PvDisconnect " + h,
                  "PvDisconnect " + h, "PvStop 0"}));
    for (const auto& fields : home.Journal()) EXPECT_EQ(fields.at(0), GetParam().library);
}

TEST_P(Binding, ReadsFillTheCallersBuffer) {
    EngineHome home;
    home.AddName("", "ACME", "C:\\Dict\\Acme", "C:\\Data\\Acme");
    auto w = GetParam().make();
    char buffer[256] = {};
    const std::pair<std::function<int32_t(int32_t&)>, std::string> reads[] = {
        {[&](int32_t& size) { return w->GetDbNameInto(-1, 1, size, buffer); }, "ACME"},
        {[&](int32_t& size) { return w->GetDbDataPathInto(-1, "acme", size, buffer); }, "C:\\Data\\Acme"},
        {[&](int32_t& size) { return w->GetDbDictionaryPathInto(-1, "ACME", size, buffer); }, "C:\\Dict\\Acme"},
    };
    for (const auto& [read, text] : reads) {
        int32_t size = 255;
        ASSERT_EQ(read(size), 0) << text;
        EXPECT_EQ(size, static_cast<int32_t>(text.size() + 1));  // the text's size with its NUL
        EXPECT_EQ(std::string(buffer), text);
    }
}

TEST_P(Binding, GetDbNameKeepsAllThirtyTwoBitsOthersNarrow) {
    EngineHome home;
    home.AddName("", "ACME", "/d", "/d");
    auto w = GetParam().make();
    std::string faults;
    for (const Operation& op : Operations())
        faults += std::string(op.function) + (op.faulted.ToLong() < 0 ? "\t-70000\n" : "\t70000\n");
    home.SetFaults(faults);
    for (const Operation& op : Operations()) EXPECT_EQ(op(*w), op.faulted) << op.function;
    EXPECT_EQ(home.Names("").size(), 1u) << "faulted calls do nothing";
}

INSTANTIATE_TEST_SUITE_P(Generations, Binding, ::testing::ValuesIn(kGenerations),
                         [](const auto& info) { return "Generation" + std::to_string(info.param.number); });

}  // namespace
}  // namespace varnholt::test
