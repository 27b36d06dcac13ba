#include <fstream>

#include "ConnectionFixture.h"

namespace varnholt::test {
namespace {

const std::string kPrefix = "Driver={Pervasive ODBC Client Interface};ServerName=";

using ConnectionStrings = ConnectionFixture;

// User and password never reach the text; an empty server is this computer, a blank one is not;
// nothing is quoted, nor cut at a NUL or any length.
TEST_F(ConnectionStrings, NameTheDriverServerAndDatabaseOnly) {
    const std::string huge(100000, 's');
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"@ACCOUNTS", "FS01", kPrefix + "FS01;dbq=@ACCOUNTS"},
        {"@A", " ", kPrefix + " ;dbq=@A"},
        {"@A", "", kPrefix + HostName() + ";dbq=@A"},
        {"", "FS01", kPrefix + "FS01;dbq="},
        {"x;y{z}", "a;b", kPrefix + "a;b;dbq=x;y{z}"},
        {std::string("A\0B", 3), "FS01", kPrefix + "FS01;dbq=A" + std::string("\0B", 2)},
        {"A", huge, kPrefix + huge + ";dbq=A"},
    };
    for (const auto& [db, server, expected] : cases)
        EXPECT_EQ(U8(helper.PSQLConnectionString(S(db), S(server), String(100000, u'u'), String(u"p\0w", 3))),
                  expected);
}

TEST_F(ConnectionStrings, AConnectionNotOpenedNowTouchesNothing) {
    auto connection = helper.CreatePSQLConnection(u"@NOSUCH", u"NOWHERE", u"", u"", false);
    ASSERT_TRUE(connection);
    EXPECT_FALSE(connection->IsOpen());
    EXPECT_EQ(U8(connection->ConnectionString()), kPrefix + "NOWHERE;dbq=@NOSUCH");
    // Neither the engine nor its driver saw it (on Windows the ADO layer journals the string set).
    for (const auto& line : home.Journal()) EXPECT_EQ(line.at(0), "ADODB") << line.at(1);
}

TEST_F(ConnectionStrings, OpensAgainstAnExistingName) {
    const String company = CompanyOnShare("Co1");
    share.Write("Co1/FILE.DDF", "dictionary");
    home.AddName("FS01", "ACME", "\\\\FS01\\apps\\Co1", "\\\\FS01\\apps\\Co1");
    auto connection = helper.CreatePSQLConnection(u"@ACME", u"FS01", u"", u"", true);
    EXPECT_TRUE(connection->IsOpen());
#ifdef _WIN32
    constexpr char kOpenSource[] = "ADODB.Connection";  // ADO's connection refuses it itself
#else
    constexpr char kOpenSource[] = "Varnholt.DataAccess";
#endif
    EXPECT_RAISES(connection->Open(u"", u"", u"", adOptionUnspecified), 3705, kOpenSource,
                  "Operation is not allowed when the object is open.");
    EXPECT_TRUE(connection->IsOpen());
    connection->Close();
    EXPECT_FALSE(connection->IsOpen());
}

TEST_F(ConnectionStrings, AnEngineNamedWithoutAStatusCannotBeRaisedAsOne) {
    home.AddServer("FS01");
    std::ofstream(home.Path() / "servers" / "FS01" / "offline").flush();
    // "Btrieve" without "Btrieve Error" gives status 0, which cannot be raised.
    EXPECT_RUNTIME_ERROR(helper.CreatePSQLConnection(u"@ACME", u"FS01", u"", u"", true), kInvalidProcedureCall);
}

}  // namespace
}  // namespace varnholt::test
