#include "ConnectionFixture.h"

namespace varnholt::test {
namespace {

namespace fs = std::filesystem;

const std::string kUncCo1 = "\\\\FS01\\apps\\Co1";
const std::string kHelper = "Kestrin.Varnholt.ConnectionHelper.";
using Records = std::vector<std::vector<std::string>>;
// The connects when the defaults are refused and the credentials entered at the prompt accepted.
const std::vector<std::string> kDefaultsThenEntered = {"PvConnectServer FS01 Beta 12", "PvConnectServer FS01 admin 6",
                                                       "PvConnectServer FS01 admin 6"};

class Provisioning : public ConnectionFixture {
protected:
    std::vector<std::string> CallsOf(const std::string& function) const {
        std::vector<std::string> out;
        for (const auto& line : home.Calls())
            if (line.rfind(function + " ", 0) == 0) out.push_back(line);
        return out;
    }
    // The same, with the connection handle (the first argument) left out.
    std::vector<std::string> CallsWithoutHandle(const std::string& function) const {
        std::vector<std::string> out;
        for (std::string line : CallsOf(function)) {
            const size_t first = line.find(' '), second = line.find(' ', first + 1);
            out.push_back(line.erase(first, second - first));
        }
        return out;
    }
};

TEST_F(Provisioning, DefaultCredentialsAcceptedCreateTheNameOnceInUncForm) {
    home.SetUsers("FS01", {{"Beta", "Marlwood4839"}});
    const String company = CompanyOnShare("Co1");
    EXPECT_EQ(U8(helper.GetPSQLConnStr(u"ACME", company, masterPath, lits)),
              "Driver={Pervasive ODBC Client Interface};ServerName=FS01;dbq=@ACME");
    EXPECT_TRUE(helper.DBWasCreated());
    EXPECT_EQ(U8(helper.userName()), "Beta");
    EXPECT_EQ(U8(helper.UserPassword()), "Marlwood4839");
    EXPECT_TRUE(view->shown.empty());
    EXPECT_EQ(home.Names("FS01"), (Records{{"ACME", kUncCo1, kUncCo1, "2"}}));
    EXPECT_TRUE(HasDictionary(share.Path() / "Co1"));

    fs::remove(share.Path() / "Co1" / "File.ddf");
    helper.GetPSQLConnStr(u"acme", company, masterPath, lits);
    EXPECT_FALSE(helper.DBWasCreated());
    EXPECT_FALSE(fs::exists(share.Path() / "Co1" / "File.ddf"));  // nothing copied for an existing name
}

TEST_F(Provisioning, RejectedDefaultsPromptOnceAndCreateWithTheEnteredCredentials) {
    home.SetUsers("FS01", {{"admin", "secret"}});
    view->answers = {{true, "admin", "secret"}};
    const String company = CompanyOnShare("Co1");
    helper.GetPSQLConnStr(u"ACME", company, masterPath, lits);
    EXPECT_EQ(view->shown, (Prompts{{"L31", "", "", "FS01"}}));
    EXPECT_TRUE(helper.DBWasCreated());
    EXPECT_EQ(U8(helper.userName()), "admin");
    EXPECT_EQ(CallsOf("PvConnectServer"), kDefaultsThenEntered);
    EXPECT_EQ(CallsWithoutHandle("PvCreateDatabase"),
              (std::vector<std::string>{"PvCreateDatabase ACME " + kUncCo1 + " " + kUncCo1 + " 2"}));
}

TEST_F(Provisioning, GetCreateDBProvesTheTableAndFailsUnchangedWithoutIt) {
    home.SetUsers("FS01", {{"Beta", "Marlwood4839"}});
    try {
        helper.GetCreateDB(u"ACME", CompanyOnShare("Co2", "Stock.dat"), masterPath, u"Orders", lits);
        ADD_FAILURE() << "a missing table must fail";
    } catch (const Error& e) {
        EXPECT_EQ(U8(e.Description()), "No such table or object.");
    }
    EXPECT_TRUE(helper.DBWasCreated());
    EXPECT_EQ(home.Names("FS01").size(), 1u);
}

// Lits unallocated: no text of it is needed.
TEST_F(Provisioning, CreateDBEntryNeverPromptsAndPassesRefusalsOn) {
    home.SetUsers("FS01", {{"admin", "secret"}});
    const String company = CompanyOnShare("Co1");
    EXPECT_RAISES(helper.CreateDBEntry(u"ACME", company, masterPath, {}, u"", u"pw"), 7029, kHelper + "DBNameExists",
                  "Invalid User Details");
    EXPECT_EQ(CallsOf("PvConnectServer"), (std::vector<std::string>{"PvConnectServer FS01 Beta 2"}));
    EXPECT_RAISES(helper.CreateDBEntry(u"ACME", company, masterPath, {}, u"admin", String(u"secret\0", 7)), 5,
                  kHelper + "DBNameExists", "Invalid procedure call or argument");
    EXPECT_EQ(U8(helper.CreateDBEntry(u"ACME", company, masterPath, {}, u"admin", u"secret")),
              "Driver={Pervasive ODBC Client Interface};ServerName=FS01;dbq=@ACME");
    EXPECT_TRUE(helper.DBWasCreated());
    EXPECT_TRUE(view->shown.empty());
}

TEST_F(Provisioning, ALocalFolderAddressesTheLocalEngineWithoutCredentials) {
    TempDir local;
    local.Write("Sales.DAT", "x");
    const String folder = S(local.Path().string());
    EXPECT_EQ(U8(helper.GetPSQLConnStr(u"Shop", folder, masterPath, lits)),
              "Driver={Pervasive ODBC Client Interface};ServerName=" + HostName() + ";dbq=@Shop");
    EXPECT_EQ(U8(helper.userName()), "");
    EXPECT_EQ(home.Names("").size(), 1u);
    EXPECT_TRUE(CallsOf("PvConnectServer").empty());
    EXPECT_TRUE(HasDictionary(local.Path()));
}

TEST_F(Provisioning, FoldersAreCheckedBeforeAnyCopyOrEngineCall) {
    helper.SetLiterals(Texts(1, 11));  // 2306 needs only Literals(11)
    EXPECT_RAISES(helper.CreatePSQLDBName(u"A", u"", u"nowhere", u"", u"nowhere", u"", u"", true), 2306,
                  kHelper + "CreatePSQLDBName", "L11");
    helper.SetLiterals(lits);
    TempDir empty;
    const String folder = S(empty.Path().string());
    const std::string noData = "L12 " + empty.Path().string() + ".";
    EXPECT_RAISES(helper.CreatePSQLDBName(u"A", u"", masterPath, folder, folder, u"", u"", false), 2305,
                  kHelper + "CreatePSQLDBName", noData);
    EXPECT_RAISES(helper.ModifyDataBase(u"A", u"", masterPath, folder, folder, u"", u"", lits), 2305,
                  kHelper + "ModifyDatabase", noData);
    EXPECT_FALSE(HasDictionary(empty.Path()));
    EXPECT_TRUE(home.Journal().empty());
}

TEST_F(Provisioning, ACancelledForcedLoginComesAfterTheCopy) {
    view->answers = {{false, "", ""}};
    const String company = CompanyOnShare("Co1");
    EXPECT_RAISES(helper.CreatePSQLDBName(u"A", u"FS01", masterPath, company, company, u"", u"", true), -1,
                  kHelper + "CreatePSQLDBName", "USER_CANCELLED");
    EXPECT_TRUE(HasDictionary(share.Path() / "Co1"));
    EXPECT_EQ(view->shown, (Prompts{{"L13 FS01", "L14", "", "{L7}"}}));
    EXPECT_TRUE(home.Journal().empty());
}

TEST_F(Provisioning, EngineErrorsInsideCreationKeepTheirOwnSources) {
    home.AddName("FS01", "ACME", "x", "y");
    const String company = CompanyOnShare("Co1");
    EXPECT_RAISES(helper.CreatePSQLDBName(u"acme", u"FS01", masterPath, company, company, u"", u"", false), 7012,
                  "Kestrin.Varnholt.CPVSServer.CreateDBName", "Named database already exists on the server.");
    // The session was closed even though the creation failed.
    EXPECT_EQ(CallsOf("PvStop").size(), 1u);
}

TEST_F(Provisioning, ModifyDataBaseRepointsAndRenamesAnExistingName) {
    home.SetUsers("FS01", {{"Beta", "Marlwood4839"}});
    home.AddName("FS01", "ACME", "old", "old");
    const String company = CompanyOnShare("Co1");
    EXPECT_EQ(U8(helper.ModifyDataBase(u"acme", u"ACME2", masterPath, company, company, u"", u"", lits)), "");
    EXPECT_EQ(CallsWithoutHandle("PvModifyDatabase"),
              (std::vector<std::string>{"PvModifyDatabase acme ACME2 " + kUncCo1 + " " + kUncCo1 + " -2147483648"}));
    EXPECT_EQ(home.Names("FS01"), (Records{{"ACME2", kUncCo1, kUncCo1, "2"}}));
    EXPECT_TRUE(view->shown.empty());
    EXPECT_EQ(U8(helper.userName()), "Beta");
}

TEST_F(Provisioning, ModifyDataBaseLeavesAMissingNameAloneAfterTheCopy) {
    home.AddServer("FS01");
    const String company = CompanyOnShare("Co1");
    helper.ModifyDataBase(u"GONE", u"", masterPath, company, company, u"u", u"p", lits);
    EXPECT_TRUE(HasDictionary(share.Path() / "Co1"));
    EXPECT_TRUE(CallsOf("PvModifyDatabase").empty());
    EXPECT_TRUE(home.Names("FS01").empty());
}

TEST_F(Provisioning, ModifyDataBaseTriesDefaultsThenPromptsAndPassesRefusalsOn) {
    home.SetUsers("FS01", {{"admin", "secret"}});
    home.AddName("FS01", "ACME", "a", "b");
    home.AddName("FS01", "OTHER", "a", "b");
    view->answers = {{true, "admin", "secret"}};
    const String company = CompanyOnShare("Co1");
    EXPECT_RAISES(helper.ModifyDataBase(u"ACME", u"OTHER", masterPath, company, company, u"", u"", lits), 7012,
                  "Kestrin.Varnholt.CPVSServer.ModifyDatabase", "Named database already exists on the server.");
    EXPECT_EQ(view->shown, (Prompts{{"L31", "", "", "FS01"}}));
    EXPECT_EQ(CallsOf("PvConnectServer"), kDefaultsThenEntered);
    EXPECT_EQ(U8(helper.userName()), "admin");
}

}  // namespace
}  // namespace varnholt::test
