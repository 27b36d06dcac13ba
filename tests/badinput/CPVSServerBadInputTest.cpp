// CPVSServer against bad input: arguments and fields no client should send, and an engine
// (the stand-in, steered by its faults and files) that answers oddly.
#include <cmath>
#include <functional>
#include <fstream>

#include "BadInput.h"
#include "ServerState.h"
#include "varnholt/CPVSServer.h"
#include "varnholt/DataAccess.h"

namespace varnholt::test {
namespace {

const std::string kSource = "Kestrin.Varnholt.CPVSServer.";
const std::string kInvalidArgument = "Invalid procedure call or argument";
const std::string kGeneral = "A general failure occurred.";
const std::string kNoSuchName = "Named database does not exist.";

class CPVSServerBadInput : public ::testing::Test {
protected:
    void SetUp() override {
        home.SetUsers("FS01", {{"admin", "secret"}});
        home.AddName("", "ACCOUNTS", "C:\\Dict", "C:\\Data");
    }
    // A dbnames file of the local engine written as is.
    void WriteLocalNames(const std::string& content) const {
        std::ofstream(home.Path() / "local" / "dbnames", std::ios::trunc) << content;
    }
    // A session of the local engine, connected.
    static std::unique_ptr<CPVSServer> Local() {
        auto server = std::make_unique<CPVSServer>();
        server->Connect();
        return server;
    }
    // The state of a new session, connected to the local engine first when connect, after steps.
    static std::function<std::string()> After(bool connect, std::function<void(CPVSServer&)> steps) {
        return [=] {
            CPVSServer s;
            if (connect) s.Connect();
            steps(s);
            return State(s);
        };
    }
    // Connects to server with user and password and shows the session's state.
    static std::function<std::string()> ConnectTo(const String& server, const String& user, const String& password) {
        return After(false, [=](CPVSServer& s) {
            s.Server = server;
            s.User = user;
            s.Password = password;
            s.Connect();
        });
    }
    std::vector<std::string> LocalNames() const {
        std::vector<std::string> names;
        for (const auto& record : home.Names("")) names.push_back(record.at(0));
        return names;
    }
    EngineHome home;
};

TEST_F(CPVSServerBadInput, Connect) {
    const std::string source = kSource + "Connect";
    const Outcome general = Raises(7004, source, kGeneral), invalid = Raises(5, source, kInvalidArgument);
    CheckRows({
        {"server name of 100000 characters", ConnectTo(Huge(), u"admin", u"secret"), general},
        {"unknown server", ConnectTo(u"NOWHERE", u"admin", u"secret"), general},
        {"server name with a NUL inside (FS01<NUL>X)", ConnectTo(WithNul("FS01", "X"), u"admin", u"secret"), invalid},
        {"user with a NUL inside", ConnectTo(u"FS01", WithNul("admin", "X"), u"secret"), invalid},
        {"password with a NUL inside", ConnectTo(u"FS01", u"admin", WithNul("secret", "")), invalid},
        {"empty user and password where the server has users", ConnectTo(u"FS01", u"", u""),
         Raises(7002, source, "Call with NULL pointer")},
        {"password of 100000 characters", ConnectTo(u"FS01", u"admin", Huge()),
         Raises(7029, source, "Invalid User Details")},
        // The engine would get '?admin': another user than the one asked for.
        {"user outside Windows-1252 (\u03A9admin)", ConnectTo(u"FS01", S("\u03A9admin"), u"secret"), invalid},
        {"server outside Windows-1252 (FS\u0141)", ConnectTo(S("FS\u0141"), u"admin", u"secret"), invalid},
        {"user in another case", ConnectTo(u"fs01", u"ADMIN", u"secret"), Returns("Started=True Connected=True")},
        {"local engine: user and password are not looked at", ConnectTo(u"", WithNul("a", "b"), Huge()),
         Returns("Started=True Connected=True")},
    });
}

TEST_F(CPVSServerBadInput, ConnectWithAnOddEngine) {
    CPVSServer failed, connected;
    for (CPVSServer* s : {&failed, &connected}) {
        s->Server = u"FS01";
        s->User = u"admin";
        s->Password = u"secret";
    }
    home.SetFaults("PvStart\t7022\n");
    EXPECT_RAISES(failed.Connect(), 7022, kSource + "Connect", "Component not loaded");
    EXPECT_EQ(State(failed), "Started=False Connected=False");
    home.SetFaults("PvConnectServer\t-1\n");
    EXPECT_RAISES(failed.Connect(), -1, kSource + "Connect", LayerError(-1));
    EXPECT_EQ(State(failed), "Started=True Connected=False");
    // The library's status is 16 bits wide: 65536 reads as 0, success without a handle.
    home.SetFaults("PvConnectServer\t65536\n");
    connected.Connect();
    EXPECT_EQ(State(connected) + " lConn=" + std::to_string(connected.lConn), "Started=True Connected=True lConn=0");
}

// The other odd disconnects (never connected, a refused handle, a failed stop) are CPVSServerTest's.
TEST_F(CPVSServerBadInput, DisConnect) {
    CheckRows({{"twice", After(true, [](CPVSServer& s) { s.DisConnect(), s.DisConnect(); }),
                Returns("Started=False Connected=False")}});
}

TEST_F(CPVSServerBadInput, GetDBName) {
    const std::string source = kSource + "GetDBName";
    auto name = [](int32_t index, int32_t attrib, const String& dbName) {
        return [=] { return U8(Local()->GetDBName(index, attrib, dbName).ToText()); };
    };
    const Outcome notValid = Raises(7008, source, "Sequence number is not valid."),
                  noSuchName = Raises(7013, source, kNoSuchName);
    CheckRows({
        {"index 0", name(0, eDBNA_Name, u""), notValid},
        {"index -1", name(-1, eDBNA_Name, u""), notValid},
        {"index 2147483647", name(2147483647, eDBNA_Name, u""), notValid},
        {"attribute 0", name(1, 0, u""), Returns("")},
        {"attribute -1", name(1, -1, u""), Returns("")},
        {"dictionary path of an unknown name", name(1, eDBNA_DDF, u"NOSUCH"), noSuchName},
        {"data path of an empty name", name(1, eDBNA_DAT, u""), noSuchName},
        {"data path of a name of 100000 characters", name(1, eDBNA_DAT, Huge()), noSuchName},
        {"data path of ACCOUNTS<NUL>X (would read ACCOUNTS')", name(1, eDBNA_DAT, WithNul("ACCOUNTS", "X")),
         Raises(5, source, kInvalidArgument)},
        {"session never connected (handle 0)", [] { return U8(CPVSServer().GetDBName(1).ToText()); },
         Raises(7001, source, "Invalid connection handle.")},
    });
}

// What the engine writes is kept up to its size less one and up to its first NUL, whichever
// comes first, within the 255-character buffer. Where it writes no NUL, the buffer's blanks show.
TEST_F(CPVSServerBadInput, GetDBNameWithOddAnswers) {
    // The first name's attribute with the engine's answer to its read.
    auto read = [this](const std::string& answer, int32_t attrib = eDBNA_Name) {
        return [=, this] {
            home.SetAnswers(answer + "\n");
            return U8(Local()->GetDBName(1, attrib, u"ACCOUNTS").ToText());
        };
    };
    CheckRows({
        {"size 0", read("PvGetDbName\t0\tACME\\0"), Returns("")},
        {"a negative size", read("PvGetDbName\t-3\tACME\\0"), Returns("")},
        {"size 1: no characters", read("PvGetDbName\t1\tACME\\0"), Returns("")},
        {"a size inside the text", read("PvGetDbName\t3\tACME\\0"), Returns("AC")},
        {"a NUL inside the text", read("PvGetDbName\t10\tAC\\0ME\\0"), Returns("AC")},
        {"a NUL first", read("PvGetDbName\t10\t\\0ACME"), Returns("")},
        {"no NUL written", read("PvGetDbName\t10\tACME"), Returns("ACME     ")},
        {"no NUL and a size beyond the buffer", read("PvGetDbName\t400\tACME"),
         Returns("ACME" + std::string(251, ' '))},
        {"a data path with a NUL inside", read("PvGetDbDataPath\t255\tD:\\Caf\u00E9\\0X", eDBNA_DAT),
         Returns("D:\\Caf\u00E9")},
        {"a dictionary path of size 0", read("PvGetDbDictionaryPath\t0\tD:\\Dict\\0", eDBNA_DDF), Returns("")},
    });
    // The enumeration reads the same way, and both forms show it.
    WriteLocalNames("A\td\tp\t2\nB\td\tp\t2\n");
    home.SetAnswers("PvGetDbDictionaryPath\t255\tDICT\\0junk\n");
    CheckRows({{"the enumeration with a NUL inside every dictionary path",
                [] {
                    std::string out;
                    const Variant list = Local()->GetDBNames(true);
                    for (int32_t n = 1; n <= 2; ++n)
                        out += U8(list.AsArray().At(1, n).ToText()) + "=" + U8(list.AsArray().At(3, n).ToText()) + " ";
                    auto rs = std::dynamic_pointer_cast<Recordset>(Local()->GetDBNames(false).AsObject());
                    for (; !rs->EOF_(); rs->MoveNext()) out += U8(rs->Value(u"DDF").ToText()) + " ";
                    return out;
                },
                Returns("A=DICT B=DICT DICT DICT ")}});
}

// An engine count whose names array (3 x count) no Long can count: the recordset form too (it is
// built beside the array) raises before reading a name, in 32-bit builds as in 64-bit ones.
TEST_F(CPVSServerBadInput, GetDBNamesOfAnImpossibleCount) {
    home.EnableJournal();
    for (const char* count : {"715827883", "1431655766", "2147483647"}) {
        home.SetAnswers(std::string("PvGetDbNamesData\t") + count + "\n");
        home.ClearJournal();
        CheckRows({{count, [] { return U8(Local()->GetDBNames(false).ToText()); }, RaisesRuntime(kOutOfMemory)}});
        for (const std::string& call : home.Calls())
            EXPECT_EQ(call.rfind("PvGetDbName ", 0), std::string::npos) << call;
    }
}

TEST_F(CPVSServerBadInput, GetDBNamesCount) {
    const std::string source = kSource + "GetDBNamesCount";
    const auto names = home.Path() / "local" / "dbnames";
    auto count = [] { return std::to_string(Local()->GetDBNamesCount()); };
    CheckRows({{"session never connected (handle 0)", [] { return std::to_string(CPVSServer().GetDBNamesCount()); },
                Raises(7001, source, "Invalid connection handle.")}});
    std::filesystem::remove(names);
    CheckRows({{"no names file", count, Returns("0")}});
    std::filesystem::create_directories(names);
    CheckRows({{"a names file that cannot be read (a folder)", count,
                Raises(7009, source, "Data related to database names not available.")}});
    std::filesystem::remove_all(names);
    home.SetFaults("PvGetDbNamesData\t-7\n");
    CheckRows({{"PvGetDbNamesData answers -7", count, Raises(-7, source, LayerError(-7))}});
}

// Stored names and paths of odd length or letters, through one name and through the enumeration
// (whose two forms are built in one loop: the array stands for both).
TEST_F(CPVSServerBadInput, GetDBNames) {
    const std::string source = kSource + "GetDBName";
    auto name = [](int32_t index, int32_t attrib = eDBNA_Name, const String& dbName = u"") {
        return [=] { return U8(Local()->GetDBName(index, attrib, dbName).ToText()); };
    };
    auto array = [] {
        const Variant list = Local()->GetDBNames(true);
        if (list.IsEmpty()) return std::string("Empty");
        const auto& names = list.AsArray();
        return "(" + std::to_string(names.LBound(1)) + " To " + std::to_string(names.UBound(1)) + ", " +
               std::to_string(names.LBound(2)) + " To " + std::to_string(names.UBound(2)) + ")";
    };
    const std::string longest(254, 'N');
    WriteLocalNames(longest + "\td\tp\t2\n" + std::string(255, 'M') + "\td\tp\t2\n\u03A9mega\td\tp\t2\n");
    const Outcome tooSmall = Raises(7003, source, "Allocated buffer is too small for the string.");
    CheckRows({
        {"a name of 254 characters: the buffer's limit", name(1), Returns(longest)},
        {"a name of 255 characters", name(2), tooSmall},
        {"a name outside Windows-1252 comes as the code page has it", name(3), Returns("?mega")},
        {"a name longer than the buffer in the enumeration", array, tooSmall},
    });
    WriteLocalNames("A\td\t" + std::string(300, 'P') + "\t2\n");
    CheckRows({{"a data path longer than the buffer", name(1, eDBNA_DAT, u"A"), tooSmall}});
    // An engine that answers success without writing: the blank buffer, less its last place.
    home.SetFaults("PvGetDbName\t0\n");
    CheckRows({{"PvGetDbName succeeds without writing", name(1), Returns(std::string(254, ' '))}});
    home.SetFaults("");
    WriteLocalNames("# only a comment\n\n");
    CheckRows({{"no names, array form", array, Returns("Empty")}});  // the recordset: CPVSServerTest
    WriteLocalNames("A\td\tp\t2\nB\td\tp\t2\n");
    home.SetFaults("PvGetDbDataPath\t7008\t1\n");
    CheckRows({{"the engine fails once in the middle", array, Raises(7008, source, "Sequence number is not valid.")}});
    CheckRows({{"the same again once the fault is used up", array, Returns("(1 To 3, 1 To 2)")}});
}

TEST_F(CPVSServerBadInput, CreateDBName) {
    const std::string source = kSource + "CreateDBName";
    const Outcome general = Raises(7004, source, kGeneral), invalid = Raises(5, source, kInvalidArgument);
    auto create = [](const String& name, const String& dict = u"C:\\D", const String& data = u"C:\\P") {
        return Runs([=] { Local()->CreateDBName(name, dict, data); });
    };
    CheckRows({
        {"empty name", create(u""), general},
        {"name with a tab", create(u"A\tB"), general},
        {"name with a line end", create(u"A\nB"), general},
        {"name that starts like a comment (#A)", create(u"#A"), general},
        {"name of blanks", create(u"   "), general},
        {"name with a NUL inside (NEW<NUL>X)", create(WithNul("NEW", "X")), invalid},
        {"dictionary path with a NUL inside", create(u"NEW", WithNul("C:\\D", "")), invalid},
        {"data path with a NUL inside", create(u"NEW", u"C:\\D", WithNul("", "C:\\P")), invalid},
        {"data path with a tab", create(u"NEW", u"C:\\D", u"C:\\\tP"), general},
        {"name of 255 characters (no read could return it)", create(String(255, u'N')), general},
        {"name outside Windows-1252 (\u0141\u00D3D\u0179, stored as ?\u00D3D?)", create(S("\u0141\u00D3D\u0179")),
         invalid},
        {"dictionary path outside Windows-1252", create(u"NEW", S("C:\\D\u0141")), invalid},
        {"data path outside Windows-1252", create(u"NEW", u"C:\\D", S("C:\\P\u0141")), invalid},
    });
    EXPECT_EQ(LocalNames(), (std::vector<std::string>{"ACCOUNTS"}));
    home.SetFaults("PvCreateDatabase\t-1\n");
    CheckRows({{"PvCreateDatabase answers -1", create(u"OTHER"), Raises(-1, source, LayerError(-1))}});
}

TEST_F(CPVSServerBadInput, DropDBName) {
    const std::string source = kSource + "DropDBName";
    const Outcome noSuchName = Raises(7013, source, kNoSuchName), invalid = Raises(5, source, kInvalidArgument);
    home.AddName("", "?\u00D3D?", "C:\\Dict", "C:\\Data");
    auto drop = [](const String& name) { return Runs([=] { Local()->DropDBName(name); }); };
    CheckRows({
        {"empty name", drop(u""), noSuchName},
        {"name of 100000 characters", drop(Huge()), noSuchName},
        {"ACCOUNTS<NUL>X (would drop ACCOUNTS)", drop(WithNul("ACCOUNTS", "X")), invalid},
        {"ACCOUNTS followed by a blank", drop(u"ACCOUNTS "), noSuchName},
        {"\u015A\u00D3D\u017B (would drop ?\u00D3D?)", drop(S("\u015A\u00D3D\u017B")), invalid},
    });
    EXPECT_EQ(LocalNames(), (std::vector<std::string>{"ACCOUNTS", "?\u00D3D?"}));
}

TEST_F(CPVSServerBadInput, ModifyDataBase) {
    const std::string source = kSource + "ModifyDatabase";
    const Outcome general = Raises(7004, source, kGeneral), invalid = Raises(5, source, kInvalidArgument);
    auto modify = [](const String& name, const Variant& newName, const Variant& ddf = Variant(u""),
                     const Variant& dat = Variant(u"")) {
        return Runs([=] { Local()->ModifyDataBase(name, newName, ddf, dat); });
    };
    const Variant array(SafeArray<Variant>::Vector(1, {Variant(u"X")}));
    CheckRows({
        {"dictionary path an array", modify(u"ACCOUNTS", Variant(u""), array), RaisesRuntime(kTypeMismatch)},
        {"data path a NaN", modify(u"ACCOUNTS", Variant(u""), Variant(u""), Variant(std::nan(""))),
         RaisesRuntime(kOverflow)},
        {"unknown name", modify(u"NOSUCH", Variant(u"X")), Raises(7013, source, kNoSuchName)},
        {"name with a NUL inside", modify(WithNul("ACCOUNTS", ""), Variant(u"X")), invalid},
        {"new name with a NUL inside", modify(u"ACCOUNTS", Variant(WithNul("X", "Y"))), invalid},
        {"dictionary path with a NUL inside", modify(u"ACCOUNTS", Variant(u""), Variant(WithNul("D", ""))), invalid},
        {"data path with a NUL inside", modify(u"ACCOUNTS", Variant(u""), Variant(u""), Variant(WithNul("", "P"))),
         invalid},
        {"new name outside Windows-1252", modify(u"ACCOUNTS", Variant(S("X\u0141"))), invalid},
        {"new name with a line end", modify(u"ACCOUNTS", Variant(u"X\r\nY")), general},
        {"new name of 255 characters", modify(u"ACCOUNTS", Variant(String(255, u'N'))), general},
        {"new name a Double", modify(u"ACCOUNTS", Variant(1.5)), Returns("done")},
    });
    EXPECT_EQ(LocalNames(), std::vector<std::string>{"1.5"});
}

TEST_F(CPVSServerBadInput, EngineVersion) {
    // The three version queries with engine.conf holding conf.
    auto version = [this](const std::string& conf) {
        return [=, this] {
            std::ofstream(home.Path() / "engine.conf", std::ios::trunc) << conf;
            CPVSServer s;
            return U8(s.GetEngineVersion()) + " major " + std::to_string(s.GetEngineMajorVersion()) + " on " +
                   U8(s.GetEngineOS());
        };
    };
    CheckRows({
        {"garbage", version("version=garbage\nplatform=\n"), Returns("9.5.0 major 9 on L")},
        {"huge and negative parts", version("version=70000.-1.2147483647\nplatform=W\n"),
         Returns("70000.-1.2147483647 major 70000 on W")},
        {"four parts", version("version=9.5.0.1\n"), Returns("9.5.0 major 9 on L")},
        // Only the first byte of a platform counts; a UTF-8 letter leaves its lead byte.
        {"a platform outside ASCII", version("platform=\u03A9\n"), Returns("9.5.0 major 9 on \u00CE")},
    });
    home.SetFaults("PvGetMkdeVersion\t7004\n");
    // One query on a new session, as text; a failed one leaves the session unconnected.
    auto query = [](std::function<std::string(CPVSServer&)> member) {
        return [member] {
            CPVSServer s;
            try {
                return member(s);
            } catch (const Error&) {
                EXPECT_FALSE(s.Connected);
                throw;
            }
        };
    };
    CheckRows({
        {"GetEngineVersion, PvGetMkdeVersion fails", query([](CPVSServer& s) { return U8(s.GetEngineVersion()); }),
         Raises(7004, kSource + "GetEngineVersion", kGeneral)},
        {"GetEngineMajorVersion, PvGetMkdeVersion fails",
         query([](CPVSServer& s) { return std::to_string(s.GetEngineMajorVersion()); }),
         Raises(7004, kSource + "GetEngineMajorVersion", kGeneral)},
        {"GetEngineOS, PvGetMkdeVersion fails", query([](CPVSServer& s) { return U8(s.GetEngineOS()); }),
         Raises(7004, kSource + "GetEngineOS", kGeneral)},
        {"EngineVersionMajor does not ask the version library",
         query([](CPVSServer& s) { return std::to_string(s.EngineVersionMajor()); }), Returns("9")},
    });
}

}  // namespace
}  // namespace varnholt::test
