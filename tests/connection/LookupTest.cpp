#include "ConnectionFixture.h"

namespace varnholt::test {
namespace {

class Lookups : public ConnectionFixture {
protected:
    Lookups() {
        home.AddName("", "LOCAL1", "C:\\Dict", "C:\\Data\\Co1");
        home.AddName("", "Local2", "C:\\Dict", "C:\\Data\\Co1");  // shares the data path
        home.SetUsers("FS01", {{"admin", "secret"}});
        home.AddName("FS01", "ACME", "\\\\FS01\\apps\\Co1", "\\\\FS01\\apps\\Co1");
        home.AddServer("EMPTY");
    }
};

TEST_F(Lookups, TheLocalEngineNeedsNoPromptAndComparesDataPathsExactly) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Data\\Co1", "LOCAL1"},  // the first of two names on one folder
        {"C:\\Data\\Co1\\", ""},
        {"C:\\Data", ""},
    };
    for (const auto& [path, name] : cases) EXPECT_EQ(U8(helper.GetDBName(S(path), u"")), name) << path;
    EXPECT_TRUE(view->shown.empty());
}

TEST_F(Lookups, AMissingCredentialOnANamedServerPromptsAndWritesBack) {
    view->answers = {{true, "admin", "secret"}};
    String user = u"someone", password;
    EXPECT_EQ(U8(helper.GetDBName(u"\\\\FS01\\apps\\Co1", u"FS01", user, password)), "ACME");
    EXPECT_EQ(U8(user), "admin");
    EXPECT_EQ(U8(password), "secret");
    // Both given now: no second prompt.
    EXPECT_EQ(U8(helper.GetDBName(u"\\\\FS01\\apps\\Co1", u"FS01", user, password)), "ACME");
    EXPECT_EQ(view->shown, (Prompts{{"L10", "Beta", "Marlwood4839", "FS01"}}));
}

// A cancelled prompt keeps the caller's values and goes on without credentials; either refusal
// reaches the caller under the lookup's source.
TEST_F(Lookups, ACancelledPromptOrARefusalReachesTheCallerWithTheLookupsSource) {
    view->answers = {{false, "", ""}};
    String user = u"admin", password;
    EXPECT_RAISES(helper.GetDBName(u"x", u"FS01", user, password), 7002, "Kestrin.Varnholt.ConnectionHelper.GetDBName",
                  "Call with NULL pointer");
    EXPECT_EQ(U8(user), "admin");
    EXPECT_EQ(U8(password), "");
    password = u"wrong";
    EXPECT_RAISES(helper.GetDBName(u"x", u"FS01", user, password), 7029, "Kestrin.Varnholt.ConnectionHelper.GetDBName",
                  "Invalid User Details");
}

TEST_F(Lookups, AServerWithoutNamesFindsNothing) {
    String user = u"u", password = u"p";
    EXPECT_EQ(U8(helper.GetDBName(u"x", u"EMPTY", user, password)), "");
    EXPECT_FALSE(helper.DBNameExists(u"x", u"EMPTY"));
}

TEST_F(Lookups, EveryLookupClosesItsConnection) {
    EXPECT_TRUE(helper.DBNameExists(u"ACME", u"FS01", u"admin", u"secret"));
    std::vector<std::string> calls = home.Calls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[calls.size() - 2].rfind("PvDisconnect ", 0), 0u);
    EXPECT_NE(calls[calls.size() - 2], "PvDisconnect -1");
    EXPECT_EQ(calls.back(), "PvStop 0");

    // A failed lookup keeps its session until the next lookup, which closes it first.
    home.SetFaults("PvGetDbName\t7004\t1\n");
    EXPECT_RAISES(helper.DBNameExists(u"ACME", u"FS01", u"admin", u"secret"), 7004,
                  "Kestrin.Varnholt.ConnectionHelper.DBNameExists", "A general failure occurred.");
    home.ClearJournal();
    EXPECT_TRUE(helper.DBNameExists(u"local1", u""));
    calls = home.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].rfind("PvDisconnect ", 0), 0u);
    EXPECT_EQ(calls[1], "PvStop 0");
}

}  // namespace
}  // namespace varnholt::test
