#include <cstdio>
#include <stdexcept>

#include "TestSupport.h"
#include "varnholt/ConnectionHelper.h"
#include "varnholt/Host.h"
#include "varnholt/Login.h"

namespace varnholt::test {
namespace {

class LoginHandlerTest : public ::testing::Test {
protected:
    void TearDown() override { SetLoginHandler(nullptr); }
    udtLoginCreds Login(LoginHandler handler, int32_t mode = eUserPswd) {
        SetLoginHandler(std::move(handler));
        return helper.Login(mode, u"Sign in", u"Beta", u"Marlwood4839", u"FS01");
    }
    ConnectionHelper helper;
};

TEST_F(LoginHandlerTest, AnswerReachesTheMemberAsTheOkButtonWould) {
    struct Row {
        int32_t mode;
        udtLoginCreds expected;  // the user is kept where the prompt does not let it change
    } rows[] = {
        {eUserPswd, {u"admin", u"s3cret", false}},
        {eUserLocked, {u"Beta", u"s3cret", false}},
        {ePasswordOnly, {u"Beta", u"s3cret", false}},
    };
    for (const Row& row : rows) {
        std::string seen;
        const udtLoginCreds got = Login(
            [&](LoginRequest& request) {
                seen = U8(request.Caption() + u"|" + request.Server() + u"|" + request.UserName());
                EXPECT_TRUE(request.Cancelled());
                request.Answer(u"admin", u"s3cret");
                EXPECT_FALSE(request.Cancelled());
            },
            row.mode);
        EXPECT_EQ(got, row.expected) << "mode " << row.mode;
        EXPECT_EQ(seen, "Sign in|FS01|Beta") << "mode " << row.mode;
    }
}

TEST_F(LoginHandlerTest, CancelOrNoAnswerCancelsAndAHandlersErrorPassesOut) {
    const udtLoginCreds cancelled{u"", u"", true};
    EXPECT_EQ(Login([](LoginRequest& request) { request.Cancel(); }), cancelled);
    EXPECT_EQ(Login([](LoginRequest&) {}), cancelled);
    EXPECT_THROW(Login([](LoginRequest&) { throw std::runtime_error("no"); }), std::runtime_error);
    // An answer the member refuses stays the member's error.
    EXPECT_RAISES(Login([](LoginRequest& request) { request.Answer(u"admin", u""); }), kObjectErrorBase + 1,
                  "Kestrin.Varnholt.ConnectionHelper.Login", "Enter both a user name and a password.");
}

// A status behind the engine's marker becomes the raised number; that row is
// ConnectionHelperBadInput.CreatePSQLConnection's ("unknown name").
TEST(HostTest, ConnectionFailureWithoutAnEngineMarkerKeepsTheDriversNumberAndText) {
    const Error driver(-2147467259, u"Varnholt.DataAccess", u"[unixODBC][Driver Manager]Can't open lib");
    EXPECT_RAISES(throw ConnectionFailure(driver), -2147467259,
                  "Kestrin.Varnholt.ConnectionHelper.CreatePSQLConnection", "[unixODBC][Driver Manager]Can't open lib");
}

TEST(HostTest, LocalPathGoesThroughTheDriveTable) {
    TempDir dir;
    SetEnv("VARNHOLT_DRIVES", dir.Write("drives", "S:\tremote\t/srv/share\t\\\\FS01\\apps\n"));
    EXPECT_EQ(LocalPath(u"S:\\Lakeside\\2024"), "/srv/share/Lakeside/2024");
    EXPECT_EQ(LocalPath(u"\\\\FS01\\apps\\Lakeside"), "/srv/share/Lakeside");
    EXPECT_EQ(LocalPath(u"Q:\\Data"), "");
    EXPECT_EQ(LocalPath(u"/srv/plain"), "/srv/plain");
    UnsetEnv("VARNHOLT_DRIVES");
}

// Standard input itself is a file here, as when a password is piped in; this process reads
// nothing else from it.
TEST(ReadLineTest, LinesComeWithoutTheirEnds) {
    TempDir dir;
    const std::filesystem::path input = dir.Write("input.txt", "s3cret\r\nnext\nlast");
    ASSERT_TRUE(std::freopen(input.string().c_str(), "rb", stdin));
    const std::string first = ReadLineWithoutEcho("Password: "), second = ReadLineWithoutEcho("Password: "),
                      third = ReadLineWithoutEcho("Password: "), beyond = ReadLineWithoutEcho("Password: ");
    EXPECT_EQ(std::vector<std::string>({first, second, third, beyond}),
              std::vector<std::string>({"s3cret", "next", "last", ""}));
}

}  // namespace
}  // namespace varnholt::test
