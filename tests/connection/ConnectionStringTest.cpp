#include <fstream>

#include "ConnectionFixture.h"

namespace varnholt::test {
namespace {

constexpr const char* kPrefix = "Driver={Pervasive ODBC Client Interface};ServerName=";

using ConnectionStrings = ConnectionFixture;

// User and password never reach the text; a blank server is not an empty one; nothing is quoted.
TEST_F(ConnectionStrings, NameTheDriverServerAndDatabaseOnly) {
    const std::tuple<const char*, const char*, std::string> cases[] = {
        {"@ACCOUNTS", "FS01", std::string(kPrefix) + "FS01;dbq=@ACCOUNTS"},
        {"@A", " ", std::string(kPrefix) + " ;dbq=@A"},
        {"x;y{z}", "a;b", std::string(kPrefix) + "a;b;dbq=x;y{z}"},
    };
    for (const auto& [db, server, expected] : cases)
        EXPECT_EQ(U8(helper.PSQLConnectionString(S(db), S(server), u"admin", u"secret")), expected);
}

TEST_F(ConnectionStrings, AConnectionNotOpenedNowTouchesNothing) {
    auto connection = helper.CreatePSQLConnection(u"@NOSUCH", u"NOWHERE", u"", u"", false);
    ASSERT_TRUE(connection);
    EXPECT_FALSE(connection->IsOpen());
    EXPECT_EQ(U8(connection->ConnectionString()), std::string(kPrefix) + "NOWHERE;dbq=@NOSUCH");
    // Neither the engine nor its driver saw it (on Windows the ADO layer journals the string set).
    for (const auto& line : home.Journal()) EXPECT_EQ(line.at(0), "ADODB") << line.at(1);
}

TEST_F(ConnectionStrings, OpensAgainstAnExistingName) {
    const String company = CompanyOnShare("Co1");
    share.Write("Co1/FILE.DDF", "dictionary");
    home.AddName("FS01", "ACME", "\\\\FS01\\apps\\Co1", "\\\\FS01\\apps\\Co1");
    auto connection = helper.CreatePSQLConnection(u"@ACME", u"FS01", u"", u"", true);
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

// Run on its own (connection.NoDriver), with ODBCSYSINI naming a folder where no driver is registered.
using NoDriver = ConnectionFixture;
TEST_F(NoDriver, AFailureWithoutAnEngineMarkerKeepsItsNumberAndText) {
    EXPECT_RAISES(helper.CreatePSQLConnection(u"@ACME", u"FS01", u"", u"", true), -2147467259,
                  "Kestrin.Varnholt.ConnectionHelper.CreatePSQLConnection",
                  "[unixODBC][Driver Manager]Can't open lib 'Pervasive ODBC Client Interface' : file not found");
}

}  // namespace
}  // namespace varnholt::test
