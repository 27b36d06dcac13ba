// Machine name, UNC paths, server names and folder names.
#include "FilesTestSupport.h"
#include "platform/System.h"

namespace varnholt::test {
namespace {

constexpr char kPathToUNC[] = "Kestrin.Varnholt.ConnectionHelper.PathToUNC";
constexpr char kGetUNC[] = "Kestrin.Varnholt.ConnectionHelper.GetUNCPathOfDriveLetter";
constexpr char kGetServerName[] = "Kestrin.Varnholt.ConnectionHelper.GetServerName";
constexpr char kRemoveDir[] = "Kestrin.Varnholt.ConnectionHelper.RemoveDir";
const std::string kLongShare = "\\\\srv\\" + std::string(993, 's');  // 999 characters: fits 1000 with its NUL

class PathsTest : public ::testing::Test {
protected:
    PathsTest() { WithLiterals(helper); }
    ScopedDrives drives{std::vector<std::string>{
        "S:\tremote\t@\t\\\\srv\\apps", "C:\tfixed\t/", "E:\tcdrom\t/media/cd", "F:\tremovable\t/f", "G:\tramdisk\t/g",
        "U:\tunknown", "N:\tnoroot", "R:\tremote", "P:\tremote\t@\t\\\\caf\xc3\xa9:1\\x", "B:\tremote\t@\t\\apps",
        "L:\tremote\t@\t" + kLongShare, "M:\tremote\t@\t" + kLongShare + "m"}};
    ConnectionHelper helper;
};

TEST_F(PathsTest, PathToUNC) {
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"  S:\\Data  ", "\\\\srv\\apps\\Data"}, {"S:", "\\\\srv\\apps\\"}, {"S:Data", "\\\\srv\\apps\\Data"},
        {"s:\\x\\", "\\\\srv\\apps\\x\\"}, {"L:\\x", kLongShare + "\\x"}, {"P:\\y", "\\\\caf\xc3\xa9:1\\x\\y"},
        {"C:\\Data", "C:\\Data"}, {"  C:\\Data ", "C:\\Data"}, {"E:\\x", "E:\\x"}, {"F:\\x", "F:\\x"},
        {"G:\\x", "G:\\x"}, {"\\\\srv\\apps\\Data", "\\\\srv\\apps\\Data"}, {"   ", ""}, {"", ""}, {"S", "S"},
        {"C:" + std::string(100000, 'x'), "C:" + std::string(100000, 'x')},
        {std::string("S:x\0y", 5), std::string("\\\\srv\\apps\\x\0y", 14)}};
    // clang-format on
    for (const auto& [path, unc] : cases) EXPECT_EQ(U8(helper.PathToUNC(S(path))), unc) << path;
}

TEST_F(PathsTest, PathToUNCOfADriveThatIsNotThere) {
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> cases = {
        {" Q:\\Data", "Q:"}, {"q:", "q:"}, {"U:\\x", "U:"}, {"N:\\x", "N:"}, {"1:\\x", "1:"},
        {"\xd0\x96:\\x", "\xd0\x96:"}, {"\xc3\x84:\\x", "\xc3\x84:"} /* in the code page, not A-Z */,
        {std::string("\0:\\x", 4), std::string("\0:", 2)}};
    // clang-format on
    for (const auto& [path, drive] : cases)
        EXPECT_RAISES(helper.PathToUNC(S(path)), kObjectErrorBase + 1, kPathToUNC, Lit(24) + " " + drive) << path;
    ConnectionHelper without;
    EXPECT_RUNTIME_ERROR(WithLiterals(without, 23).PathToUNC(u"Q:\\Data"), kSubscriptOutOfRange);
    // A helper never given texts speaks the library's English; the client's texts replace it.
    ConnectionHelper fresh;
    EXPECT_RAISES(fresh.PathToUNC(u"Q:\\Data"), kObjectErrorBase + 1, kPathToUNC, "There is no drive Q:");
    EXPECT_RAISES(WithLiterals(fresh).PathToUNC(u"Q:\\Data"), kObjectErrorBase + 1, kPathToUNC, Lit(24) + " Q:");
}

TEST_F(PathsTest, NetworkDrivesTheSystemCannotResolve) {
    EXPECT_RAISES(helper.PathToUNC(u"R:\\Data"), kObjectErrorBase + 1201, kGetUNC, Lit(26));  // no share known
    EXPECT_RAISES(helper.PathToUNC(u"M:\\Data"), kObjectErrorBase + 234, kGetUNC, Lit(28));   // 1001 with its NUL
    EXPECT_RAISES(FilesTestAccess::GetUNCPathOfDriveLetter(helper, u"S:\\"), kObjectErrorBase + 1200, kGetUNC, Lit(25));
    EXPECT_RAISES(FilesTestAccess::GetUNCPathOfDriveLetter(helper, u"C:"), kObjectErrorBase + 2250, kGetUNC, Lit(32));
}

// Network codes that the drive table never gives, and a machine without a name.
class FailingSystem final : public platform::SystemServices {
public:
    explicit FailingSystem(uint32_t code) : code_(code), previous_(platform::SetSystemForTesting(this)) {}
    ~FailingSystem() override { platform::SetSystemForTesting(previous_); }
    bool GetComputerNameA(char*, uint32_t*) override { return false; }
    uint32_t GetDriveTypeA(const char*) override { return platform::kDriveRemote; }
    uint32_t WNetGetConnectionA(const char*, char*, uint32_t*) override { return code_; }

private:
    uint32_t code_;
    platform::SystemServices* previous_;
};

TEST_F(PathsTest, EveryNetworkCodeHasItsLiteral) {
    const std::vector<std::pair<uint32_t, std::string>> cases = {
        {1200, Lit(25)}, {1201, Lit(26)}, {1208, Lit(27)}, {234, Lit(28)}, {50, Lit(29)},
        {1203, Lit(30)}, {1222, Lit(31)}, {2250, Lit(32)}, {1231, ""},     {5, ""}};
    for (const auto& [code, description] : cases) {
        FailingSystem failing(code);
        EXPECT_RAISES(helper.PathToUNC(u"S:\\x"), kObjectErrorBase + int32_t(code), kGetUNC, description) << code;
    }
    FailingSystem failing(1222);
    ConnectionHelper without;
    EXPECT_RUNTIME_ERROR(WithLiterals(without, 30).PathToUNC(u"S:\\x"), kSubscriptOutOfRange);
    EXPECT_EQ(helper.ComputerName(), u"");
}

TEST_F(PathsTest, GetServerName) {
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"S:\\Data\\Co", "srv"}, {" s:", "srv"}, {"C:\\Data", ""}, {"E:\\Data", ""}, {"\\\\srv\\apps\\Data", ""},
        {"Data", ""}, {"", ""}, {"P:\\Data", ""} /* the server part holds a colon */,
        {"S:" + std::string(100000, 'x'), "srv"}};
    // clang-format on
    for (const auto& [path, server] : cases) EXPECT_EQ(U8(helper.GetServerName(S(path))), server) << path;

    EXPECT_RAISES(helper.GetServerName(u"Q:\\Data"), 2300, kGetServerName, Lit(24) + " Q:");
    EXPECT_RAISES(helper.GetServerName(u"R:\\Data"), 2300, kGetServerName, Lit(26));
    // B:'s share "\apps" leaves RemoveDir a lone leading "\".
    EXPECT_RAISES(helper.GetServerName(u"B:\\Data"), 2300, kGetServerName, "Invalid procedure call or argument");
    ConnectionHelper without;
    EXPECT_RAISES(WithLiterals(without, 23).GetServerName(u"Q:\\Data"), 2300, kGetServerName, "Subscript out of range");
}

TEST(RemoveDir, CutsToTheServerAndChangesTheArgument) {
    ConnectionHelper helper;
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\\\\srv\\apps\\Data", "srv"}, {"\\\\server\\share\\dir\\", "server"}, {"server\\share", "server"},
        {"abc", "abc"}, {"", ""}, {"\\\\ srv \\x", "srv"}, {"a\\\\b\\c", "ab"}, {"\\\\srv", "srv"},
        {std::string(100000, '\\'), ""}, {std::string("\\\\s\0v\\x", 7), std::string("s\0v", 3)},
        {[] { std::string s; for (int i = 0; i < 100000; ++i) s += "a\\"; return s; }(), "a"}};
    // clang-format on
    for (const auto& [path, server] : cases) {
        String text = S(path);
        EXPECT_EQ(U8(helper.RemoveDir(text)), server) << path;
        EXPECT_EQ(U8(text), server) << path;
    }
    String text = u"\\abc";
    EXPECT_RAISES(helper.RemoveDir(text), kObjectErrorBase + 22000, kRemoveDir, "Invalid procedure call or argument");
    text = u"\\a\\b";
    EXPECT_RAISES(helper.RemoveDir(text), kObjectErrorBase + 22000, kRemoveDir, "Invalid procedure call or argument");
    EXPECT_EQ(text, u"\\a");  // cut as far as it got
}

TEST(FolderName, LastComponentWithA16BitPosition) {
    ConnectionHelper helper;
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"C:\\Data\\Company", "Company"}, {"C:/Data/Company/", ""}, {"Data", "Data"}, {"C:\\Data\\", ""},
        {"", ""}, {"a/b\\c", "c"}, {"a\\b/c", "c"}, {"\\", ""}, {"C:Data", "C:Data"},
        {std::string("C:\\a\0b", 6), std::string("a\0b", 3)}};
    // clang-format on
    for (const auto& [path, folder] : cases) EXPECT_EQ(U8(helper.FolderName(S(path))), folder) << path;

    const String longest = String(32762, u'x') + u"\\Name";
    ASSERT_EQ(longest.size(), 32767u);
    EXPECT_EQ(helper.FolderName(longest), u"Name");
    EXPECT_RUNTIME_ERROR(helper.FolderName(longest + u"x"), kOverflow);
    EXPECT_RUNTIME_ERROR(helper.FolderName(u"\\" + longest), kOverflow);
}

}  // namespace
}  // namespace varnholt::test
