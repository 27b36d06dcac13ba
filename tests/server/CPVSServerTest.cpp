#include <algorithm>

#include "ServerState.h"
#include "TestSupport.h"
#include "varnholt/CPVSServer.h"
#include "varnholt/DataAccess.h"

namespace varnholt::test {
namespace {

constexpr const char* kSource = "Kestrin.Varnholt.CPVSServer.";

// Journal lines as "LIBRARY FUNCTION ARGS...".
std::vector<std::string> Lines(const EngineHome& home) {
    std::vector<std::string> out;
    for (const auto& fields : home.Journal()) {
        std::string joined;
        for (size_t i = 0; i < fields.size(); ++i) joined += (i ? " " : "") + fields[i];
        out.push_back(joined);
    }
    return out;
}

class CPVSServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        home.SetUsers("FS01", {{"admin", "secret"}});
        home.EnableJournal();
    }
    // A session of FS01 with credentials the server accepts.
    static void Named(CPVSServer& server) {
        server.Server = u"FS01";
        server.User = u"admin";
        server.Password = u"secret";
    }
    EngineHome home;
};

using Calls = std::vector<std::string>;

TEST_F(CPVSServerTest, ConnectToTheLocalEngineProbesStartsAndMakesNoConnectCall) {
    CPVSServer server;
    server.Connect();
    EXPECT_EQ(server.lConn, -1);
    EXPECT_EQ(State(server), "Started=True Connected=True");
    EXPECT_EQ(Lines(home), (Calls{"W3DBAV75 PvDisconnect -1", "W3DBAV80 PvDisconnect -1", "W3DBAV90 PvDisconnect -1",
                                  "W3DBAV90 PvStart 0"}));
    home.ClearJournal();
    server.DisConnect();
    EXPECT_EQ(Lines(home), (Calls{"W3DBAV90 PvStop 0"}));
    EXPECT_EQ(server.lConn, -1);
    EXPECT_EQ(State(server), "Started=False Connected=False");
}

TEST_F(CPVSServerTest, ConnectToANamedServerTwiceAndDisconnectKeepingTheHandle) {
    CPVSServer server;
    Named(server);
    server.Connect();
    const int32_t first = server.lConn;
    EXPECT_GT(first, 0);
    home.ClearJournal();
    server.Connect();  // overwrites the handle without closing the first
    EXPECT_NE(server.lConn, first);
    EXPECT_EQ(Lines(home), (Calls{"W3DBAV90 PvStart 0", "W3DBAV90 PvConnectServer FS01 admin 6"}));
    const int32_t handle = server.lConn;
    home.ClearJournal();
    server.DisConnect();
    EXPECT_EQ(server.lConn, handle);
    EXPECT_EQ(Lines(home), (Calls{"W3DBAV90 PvDisconnect " + std::to_string(handle), "W3DBAV90 PvStop 0"}));
}

TEST_F(CPVSServerTest, FailedDisConnectStepsLeaveTheirFieldAsItWas) {
    CPVSServer server;
    Named(server);
    server.Connect();
    home.SetFaults("PvDisconnect\t7001\t1\nPvStop\t7005\t1\n");
    home.ClearJournal();
    EXPECT_RAISES(server.DisConnect(), 7001, std::string(kSource) + "DisConnect", "Invalid connection handle.");
    EXPECT_EQ(State(server), "Started=True Connected=True");
    EXPECT_EQ(Lines(home).size(), 1u);  // the stop step is not attempted
    EXPECT_RAISES(server.DisConnect(), 7005, std::string(kSource) + "DisConnect",
                  "An error occurred in the Pervasive.SQL layer. The error was [7005]");
    EXPECT_EQ(State(server), "Started=True Connected=False");
    server.DisConnect();
    EXPECT_FALSE(server.Started);
}

TEST_F(CPVSServerTest, ANewObjectDisconnectsWithoutCallsAndEndsWithoutCalls) {
    {
        CPVSServer server;
        server.DisConnect();
    }
    EXPECT_TRUE(Lines(home).empty());
    {
        CPVSServer server;
        server.Connect();
        home.ClearJournal();
    }
    EXPECT_TRUE(Lines(home).empty());  // released while connected: no disconnect, no stop
}

TEST_F(CPVSServerTest, TheFirstBindingUseBeforeTheProbePinsGenerationSeven) {
    CPVSServer server;
    server.lConn = -1;
    EXPECT_EQ(server.GetDBNamesCount(), 0);
    server.Connect();
    EXPECT_EQ(server.EngineVersionMajor(), 9);
    const Calls lines = Lines(home);
    EXPECT_EQ(lines.front(), "W3DBAV75 PvGetDbNamesData -1");
    EXPECT_EQ(lines.back(), "W3DBAV75 PvStart 0");
}

TEST_F(CPVSServerTest, EngineVersionMajorProbesOnceAndStartsNothing) {
    CPVSServer server;
    EXPECT_EQ(server.EngineVersionMajor(), 9);
    EXPECT_EQ(server.EngineVersionMajor(), 9);
    EXPECT_EQ(Lines(home).size(), 3u);
    EXPECT_EQ(State(server), "Started=False Connected=False");
}

// The recordset's fields as the empty one shows them; then one read per attribute of each name.
TEST_F(CPVSServerTest, EnumeratesNamesAsArrayAndRecordsetWithOneCallPerAttribute) {
    CPVSServer server;
    server.Connect();
    auto empty = std::dynamic_pointer_cast<Recordset>(server.GetDBNames(false).AsObject());
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->IsOpen());
    EXPECT_EQ(empty->RecordCount(), 0);
    EXPECT_TRUE(empty->EOF_());
    EXPECT_TRUE(empty->BOF_());
    ASSERT_EQ(empty->FieldCount(), 4);
    const std::tuple<const char*, int32_t, int32_t> fields[] = {
        {"id", adInteger, 0}, {"name", adVarChar, 1000}, {"DDF", adVarChar, 1000}, {"DAT", adVarChar, 1000}};
    for (int32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(U8(empty->FieldName(i)), std::get<0>(fields[i]));
        EXPECT_EQ(empty->FieldType(i), std::get<1>(fields[i]));
        EXPECT_EQ(empty->FieldDefinedSize(i), std::get<2>(fields[i]));
    }

    for (int k = 1; k <= 4; ++k)
        home.AddName("", "CO" + std::to_string(k), "C:\\Dict" + std::to_string(k), "C:\\Data" + std::to_string(k));
    home.ClearJournal();
    const Variant result = server.GetDBNames(true);
    const SafeArray<Variant>& names = result.AsArray();
    EXPECT_EQ((std::vector<int32_t>{names.LBound(1), names.UBound(1), names.LBound(2), names.UBound(2)}),
              (std::vector<int32_t>{1, 3, 1, 4}));
    Calls expected = {"W3DBAV90 PvGetDbNamesData -1"};
    for (int k = 1; k <= 4; ++k) {
        const std::string n = std::to_string(k);
        EXPECT_EQ(U8(names.At(1, k).ToText()), "CO" + n);
        EXPECT_EQ(U8(names.At(2, k).ToText()), "C:\\Data" + n);  // data path before dictionary path
        EXPECT_EQ(U8(names.At(3, k).ToText()), "C:\\Dict" + n);
        expected.push_back("W3DBAV90 PvGetDbName -1 " + n + " 255");
        expected.push_back("W3DBAV90 PvGetDbDataPath -1 CO" + n + " 255");
        expected.push_back("W3DBAV90 PvGetDbDictionaryPath -1 CO" + n + " 255");
    }
    EXPECT_EQ(Lines(home), expected);

    auto recordset = std::dynamic_pointer_cast<Recordset>(server.GetDBNames().AsObject());
    ASSERT_TRUE(recordset);
    EXPECT_EQ(recordset->RecordCount(), 4);
    for (int k = 1; k <= 4; ++k) {
        EXPECT_FALSE(recordset->EOF_());
        EXPECT_EQ(recordset->Value(u"id").ToLong(), k);
        EXPECT_EQ(U8(recordset->Value(u"NAME").ToText()), "CO" + std::to_string(k));
        EXPECT_EQ(U8(recordset->Value(2).ToText()), "C:\\Dict" + std::to_string(k));
        EXPECT_EQ(U8(recordset->Value(u"DAT").ToText()), "C:\\Data" + std::to_string(k));
        recordset->MoveNext();
    }
    EXPECT_TRUE(recordset->EOF_());
}

TEST_F(CPVSServerTest, GetDBNameReadsOneAttribute) {
    const std::string longPath = "C:\\" + std::string(251, 'p');  // 254 characters: the longest that fits
    home.AddName("", "Acme", "C:\\Dict", longPath);
    CPVSServer server;
    server.Connect();
    EXPECT_EQ(U8(server.GetDBName(1).ToText()), "Acme");
    EXPECT_EQ(U8(server.GetDBName(99, eDBNA_DDF, u"ACME").ToText()), "C:\\Dict");
    EXPECT_EQ(U8(server.GetDBName(0, eDBNA_DAT, u"acme").ToText()), longPath);
    home.ClearJournal();
    EXPECT_EQ(U8(server.GetDBName(1, 4).ToText()), "");
    EXPECT_TRUE(Lines(home).empty());
}

TEST_F(CPVSServerTest, CreateDropAndModifyNames) {
    CPVSServer server;
    server.Connect();
    home.ClearJournal();
    server.CreateDBName(u"Acme", u"C:\\Dict", u"C:\\Data");
    server.ModifyDataBase(u"Acme");
    server.ModifyDataBase(u"ACME", Variant(u"Acme2"), Variant(int32_t(7)), Variant(u"D:\\Data"));
    EXPECT_EQ(Lines(home), (Calls{"W3DBAV90 PvCreateDatabase -1 Acme C:\\Dict C:\\Data 2",
                                  "W3DBAV90 PvModifyDatabase -1 Acme    -2147483648",
                                  "W3DBAV90 PvModifyDatabase -1 ACME Acme2 7 D:\\Data -2147483648"}));
    EXPECT_EQ(home.Names(""), (std::vector<std::vector<std::string>>{{"Acme2", "7", "D:\\Data", "2"}}));
    home.ClearJournal();
    EXPECT_RUNTIME_ERROR(server.ModifyDataBase(u"Acme2", Variant::Null()), kInvalidUseOfNull);
    EXPECT_TRUE(Lines(home).empty());  // the conversion fails before any engine call
    server.DropDBName(u"ACME2");
    EXPECT_TRUE(home.Names("").empty());
}

TEST_F(CPVSServerTest, EngineVersionQueriesNeedNoConnectAndNoBinding) {
    home.SetEngineConf("8.7.13", "W");
    CPVSServer server;
    EXPECT_EQ(U8(server.GetEngineVersion()), "8.7.13");
    EXPECT_EQ(State(server), "Started=False Connected=True");
    EXPECT_EQ(server.GetEngineMajorVersion(), 8);
    EXPECT_EQ(U8(server.GetEngineOS()), "W");
    EXPECT_EQ(Lines(home),
              (Calls{"W3DBAV78 PvGetMkdeVersion -1", "W3DBAV78 PvGetMkdeVersion -1", "W3DBAV78 PvGetMkdeVersion -1"}));
    home.ClearJournal();
    // lConn is 0, not the local handle: the engine is asked to disconnect it, and refuses.
    EXPECT_RAISES(server.DisConnect(), 7001, std::string(kSource) + "DisConnect", "Invalid connection handle.");
    EXPECT_EQ(Lines(home), (Calls{"W3DBAV75 PvDisconnect 0"}));
}

}  // namespace
}  // namespace varnholt::test
