// The store under load, and the text rules the store and the driver share. Writers killed
// mid-write are the crash suite's.
#include <filesystem>
#include <fstream>
#include <tuple>

#include "TestSupport.h"
#include "odbc/DriverText.h"
#include "store/Answers.h"
#include "store/EngineHome.h"
#include "store/Faults.h"
#include "store/NameStore.h"
#include "store/Status.h"
#include "store/Text.h"

namespace varnholt::test {
namespace {

namespace fs = std::filesystem;
using standin::DatabaseName;
using standin::NameStore;

TEST(NameStore, EnumeratingTenThousandNamesReadsTheFileOnce) {
    EngineHome home;
    fs::create_directories(home.Path() / "local");
    {
        std::ofstream out(home.Path() / "local/dbnames");
        for (int i = 1; i <= 10000; ++i) out << "NAME" << i << "\t/dict/" << i << "\t/data/" << i << "\t2\n";
    }
    NameStore& store = NameStore::ForFolder((home.Path() / "local").string());
    const uint64_t before = store.Loads();
    int32_t count = 0;
    ASSERT_EQ(store.Count(count), standin::kOk);
    ASSERT_EQ(count, 10000);
    for (int32_t sequence = 1; sequence <= count; ++sequence) {
        DatabaseName entry;
        ASSERT_EQ(store.At(sequence, entry), standin::kOk);
        DatabaseName byName;
        ASSERT_EQ(store.Find(entry.name, byName), standin::kOk);
        ASSERT_EQ(byName.dataPath, "/data/" + std::to_string(sequence));
    }
    EXPECT_EQ(store.Loads() - before, 1u);

    // Our own write is adopted without another read.
    ASSERT_EQ(store.Create({"NAME10001", "/d", "/d", 2}), standin::kOk);
    const uint64_t afterCreate = store.Loads();
    ASSERT_EQ(store.Count(count), standin::kOk);
    EXPECT_EQ(count, 10001);
    EXPECT_EQ(store.Loads(), afterCreate);
}

TEST(StoreText, CodePageAndCaseRules) {
    EXPECT_EQ(standin::AnsiToUtf8("\x80\x81\xFF"), "\xE2\x82\xAC\xC2\x81\xC3\xBF");
    EXPECT_EQ(standin::Utf8ToAnsi("\xE2\x82\xAC\xC2\x81\xC3\xBF\xE4\xB8\xAD"), "\x80\x81\xFF?");
    // Overlong and surrogate forms are no characters: "\xC0\xAF" must not become "/".
    EXPECT_EQ(standin::Utf8ToAnsi("\xC0\xAF\xE0\x80\xAF\xED\xA0\x80"), "????????");
    EXPECT_FALSE(standin::SameText("\xC0\xAF", "/"));
    EXPECT_TRUE(standin::SameText("stra\xC3\x9F\x65\xC3\x89", "STRA\xC3\x9F\x45\xC3\xA9"));  // straßeÉ
    EXPECT_TRUE(standin::SameText("\xC5\xA0KODA", "\xC5\xA1koda"));
    EXPECT_FALSE(standin::SameText("A1", "A2"));
    EXPECT_EQ(standin::ParseInt32(" -2147483648 "), INT32_MIN);
    EXPECT_EQ(standin::ParseInt32("2147483648"), std::nullopt);
    EXPECT_EQ(standin::ParseInt32("+-1"), std::nullopt);
    EXPECT_EQ(standin::ParseInt32("12x"), std::nullopt);
}

TEST(DriverText, SelectTable) {
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"Select Top 1 * From Company", "Company"},
        {"  sElEcT\ttop\n10\r*\fFROM\vCompany ; \n", "Company"},
        {"Select Top 1 * From [Company]", "Company"},
        {"Select Top 1 * From \"Company\";", "Company"},
        {"Select Top 1 * From Company;", "Company"},
        {"Select Top 1 * From Company;;", "Company;"},
        {"Select Top 1 * From ;", ";"},
        {"Select Top 1 * From Company; ;", "Company;"},
        {"Select Top 1 * From Company Extra", std::nullopt},
        {"select * from Company", "Company"},
        {"Select Top * From Company", std::nullopt},
        {"Select Top1 * From Company", std::nullopt},
        {"Select ID From Company", std::nullopt},
        {"Select Top 1 * From", std::nullopt},
        {"SelectTop 1 * From Company", std::nullopt},
        {"Select Top 1 *From Company", std::nullopt},
        {"", std::nullopt},
        // Long statements cost no stack: one frame per character once crashed the driver.
        {"Select Top 1 * From " + std::string(300000, 'x'), std::string(300000, 'x')},
        {"Select Top 1 * From x" + std::string(300000, ' ') + "y", std::nullopt},
    };
    for (const auto& [sql, table] : cases) EXPECT_EQ(standin::SelectTable(sql), table) << sql.substr(0, 60);
}

TEST(DriverText, CatalogSearchPatterns) {
    // clang-format off
    const std::tuple<std::string, std::string, bool> cases[] = {
        {"Ledger", "ledger", true},     {"Ledger", "L_dger", true},     {"Ledger", "Led%", true},
        {"Ledger", "%", true},          {"", "%", true},                {"", "", true},
        {"Ledger", "%g%r", true},       {"Ledger", "%g%x", false},      {"Ledger", "Ledge", false},
        {"Ledger", "Ledger_", false},   {"Led_ger", "Led\\_ger", true}, {"Ledxger", "Led\\_ger", false},
        {"50%", "50\\%", true},         {"500", "50\\%", false},        {"a\\b", "a\\\\b", true},
        {"\xC3\x89" "cole", "_cole", true}, {"\xC3\x89" "cole", "\xC3\xA9" "COLE", true},
        // A long run of "%" against a name that misses at its end stays linear.
        {std::string(5000, 'a') + "b", std::string(2000, '%') + "c", false},
    };
    // clang-format on
    for (const auto& [name, pattern, matches] : cases)
        EXPECT_EQ(standin::MatchesPattern(name, pattern), matches)
            << name.substr(0, 20) << " / " << pattern.substr(0, 20);
}

TEST(DriverText, ConnectionStringAttributes) {
    const std::string text = " ServerName = FS01 ;dbq={@A;}}B} junk;DBQ=@second;Empty=;x";
    EXPECT_EQ(standin::Attribute(text, "servername"), "FS01");
    EXPECT_EQ(standin::Attribute(text, "dbq"), "@A;}B");
    EXPECT_EQ(standin::Attribute(text, "empty"), "");
    EXPECT_EQ(standin::Attribute(text, "x"), std::nullopt);
    EXPECT_EQ(standin::Attribute("dbq={unterminated", "dbq"), "unterminated");
    EXPECT_EQ(standin::Attribute(std::string(100000, ';') + "dbq=@A", "dbq"), "@A");
}

TEST(StoreRecords, ParsersOfTheEngineFiles) {
    EXPECT_EQ(standin::ParseRecord("  \tx"), (standin::DatabaseName{"  ", "x", "", 0}));
    EXPECT_EQ(standin::ParseRecord("A\tD\tP\tnot a number\textra"), (standin::DatabaseName{"A", "D", "P", 0}));
    EXPECT_EQ(standin::ParseRecord("\tD"), std::nullopt);
    const auto fault = standin::ParseFault(" PvStart \t+7004\t2");
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->function, "pvstart");
    EXPECT_EQ(fault->status, 7004);
    EXPECT_EQ(fault->remaining, 2);
    for (const char* line :
         {"PvStart", "PvStart\tabc", "PvStart\t1\t0", "PvStart\t5\t-2", "PvStart\t5\t1\t9", "PvStart\t1\t \t"})
        EXPECT_EQ(standin::ParseFault(line), std::nullopt) << line;
    const auto answer = standin::ParseAnswer(" PvGetDbName \t-3\tA\\0\u00e9\\x\\");
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->function, "pvgetdbname");
    EXPECT_EQ(answer->size, -3);
    EXPECT_EQ(answer->bytes, std::string("A\0\xe9\\x\\", 6));  // only \0 is special
    EXPECT_EQ(standin::ParseAnswer("PvGetDbName\tfive\tA"), std::nullopt);
    EXPECT_EQ(standin::ParseAnswer("#PvGetDbName\t5\tA"), std::nullopt);
    const standin::EngineVersionInfo info = standin::ParseEngineConf("version=10.\nplatform=W\nversion=1.2.3.4\n");
    EXPECT_EQ(std::tie(info.major, info.minor, info.build, info.platform), std::make_tuple(10, 0, 0, 'W'));
    EXPECT_TRUE(standin::UsersAccept("#x\ty\nADMIN\tsecret\textra\n", "admin", "secret"));
    EXPECT_FALSE(standin::UsersAccept("admin\tsecret\n", "admin", "Secret"));
}

}  // namespace
}  // namespace varnholt::test
