// ConnectionHelper against bad input: texts that are empty, huge, hold a NUL or characters
// outside the code page, arrays of every odd shape, missing Literals, and an engine that answers
// oddly. The fixture is a company network: the stand-in engine, the file server FS01 behind
// drive S:, a master folder with the dictionary files, and a login view that answers on cue.
#include <fstream>

#include "BadInput.h"
#include "ConnectionFixture.h"

namespace varnholt::test {
namespace {

const std::string kSource = "Kestrin.Varnholt.ConnectionHelper.";
constexpr int32_t kBase = kObjectErrorBase;
const std::string kSubscript = "Subscript out of range";
// The component's own refusals, and the driver's failures as the platform's data access
// raises them (ADO names its ODBC provider).
const std::string kDataAccess = "Varnholt.DataAccess";
#ifdef _WIN32
const std::string kProvider = "Microsoft OLE DB Provider for ODBC Drivers";
#else
const std::string kProvider = kDataAccess;
#endif
const std::string kNul(1, '\0');
constexpr int32_t kProviderError = -2147467259;

class ConnectionHelperBadInput : public ConnectionFixture {
protected:
    // n names on the local engine, NAME1..NAMEn with data paths C:\D1..C:\Dn.
    void LocalNames(int32_t n) const {
        std::filesystem::remove(home.Path() / "journal");  // thousands of calls: no journal
        std::ofstream out(home.Path() / "local" / "dbnames", std::ios::trunc);
        for (int32_t i = 1; i <= n; ++i) out << "NAME" << i << "\tC:\\Dict\tC:\\D" << i << "\t2\n";
    }
    // A row's call made after the client's Literals became literals (none: unallocated).
    std::function<std::string()> With(const SafeArray<String>& literals, std::function<std::string()> call) {
        return [=, this] { return helper.SetLiterals(literals), call(); };
    }
    // Beside S:, T: maps the share without a UNC name and L: with one too long to use.
    void MapDrivesWithoutAUsableShare() {
        const std::string dir = share.Path().string();
        drives.Write("drives", "C:\tfixed\t/\nS:\tremote\t" + dir + "\t\\\\FS01\\apps\nT:\tremote\t" + dir +
                                   "\nL:\tremote\t" + dir + "\t\\\\" + std::string(1200, 's') + "\\apps\n");
    }
    // A row's call made with the next login prompt answered so.
    std::function<std::string()> Answering(AnsweringView::Answer answer, std::function<std::string()> call) {
        return [=, this] { return view->answers.push_back(answer), call(); };
    }
};

TEST_F(ConnectionHelperBadInput, Literals) {
    const std::string pathToUnc = kSource + "PathToUNC";
    const auto unc = [this] { return U8(helper.PathToUNC(u"Q:\\x")); };
    SafeArray<String> big = Texts(1, 34);
    big.At(24) = Huge();
    CheckRows({
        {"unallocated", With({}, unc), RaisesRuntime(kSubscriptOutOfRange)},
        {"(1 To 34, 1 To 2)", With(TwoDimensional(), unc), RaisesRuntime(kSubscriptOutOfRange)},
        {"(25 To 40)", With(Texts(25, 40), unc), RaisesRuntime(kSubscriptOutOfRange)},
        {"texts of 100000 characters", With(big, unc), Raises(kBase + 1, pathToUnc, U8(Huge()) + " Q:")},
    });
}

TEST_F(ConnectionHelperBadInput, CreatePSQLConnection) {
    const std::string source = kSource + "CreatePSQLConnection";
    home.AddName("FS01", "ACME", share.Path().string(), share.Path().string());
    const Outcome nul = Raises(kProviderError, source, "The connection string holds a NUL character.");
    auto open = [&](const String& db, const String& server, bool now = true) {
        return [=, this] {
            auto connection = helper.CreatePSQLConnection(db, server, u"", u"", now);
            return "open=" + Bool(connection->IsOpen());
        };
    };
    CheckRows({
        {"not opened: any text is accepted", open(Huge(), WithNul("", "x"), false), Returns("open=False")},
        {"unknown name", open(u"@NOSUCH", u"FS01"), Raises(2301, source, LayerError(2301))},
        {"unknown server", open(u"@ACME", u"NOSUCH"), Raises(3012, source, LayerError(3012))},
        // The driver would read up to the NUL: another connection string than the one built.
        {"server name with a NUL inside", open(u"@ACME", WithNul("FS01", "x")), nul},
        {"name with a NUL inside (ACME<NUL>X would open ACME)", open(WithNul("@ACME", "X"), u"FS01"), nul},
        {"name outside Windows-1252", open(S("@ACM\u0141"), u"FS01"),
         Raises(kProviderError, source, "The connection string holds a character the code page cannot hold.")},
        {"name without its dictionary", open(u"@ACME", u"FS01"), Raises(12, source, LayerError(12))},
    });
    // The driver's message names the database; with a huge name its status lies past what the
    // message buffer keeps, and the driver's own text passes on.
    try {
        helper.CreatePSQLConnection(u"@" + Huge(), u"FS01", u"", u"", true);
        ADD_FAILURE() << "a huge unknown name opened";
    } catch (const Error& e) {
        EXPECT_EQ(e.Number(), kProviderError);
        EXPECT_EQ(U8(e.Source()), source);
        EXPECT_EQ(e.Description().find(u"Btrieve"), String::npos);
    }
    home.SetFaults("SQLDriverConnect\t40000\n");
    CheckRows({{"the engine's status past 32767: GetBtrieveErrorNumber overflows in the handler",
                open(u"@ACME", u"FS01"), RaisesRuntime(kOverflow)}});
    home.SetFaults("SQLDriverConnect\t0\n");
    CheckRows({{"the driver succeeds without a name", open(u"", u""), Returns("open=True")}});
}

TEST_F(ConnectionHelperBadInput, GetDBName) {
    const std::string source = kSource + "GetDBName";
    home.AddName("", "ACCOUNTS", "C:\\Dict", "C:\\Data");
    auto lookup = [&](const String& path, const String& server) {
        return [=, this] { return U8(helper.GetDBName(path, server)); };
    };
    CheckRows({
        {"empty data path", lookup(u"", u""), Returns("")},
        {"data path of 100000 characters", lookup(Huge(), u""), Returns("")},
        {"data path with a NUL after it", lookup(WithNul("C:\\Data", ""), u""), Returns("")},
        {"data path in another case (compared exactly)", lookup(u"c:\\data", u""), Returns("")},
        {"unknown server, prompt answered", Answering({true, "u", "p"}, lookup(u"C:\\Data", u"NOSUCH")),
         Raises(7004, source, "A general failure occurred.")},
        {"a server and no Literals for the prompt's caption", With({}, lookup(u"C:\\Data", u"FS01")),
         Raises(9, source, kSubscript)},
    });
    home.SetFaults("PvGetDbNamesData\t7009\n");
    CheckRows({{"the engine cannot read its names", lookup(u"C:\\Data", u""),
                Raises(7009, source, "Data related to database names not available.")}});
}

TEST_F(ConnectionHelperBadInput, GetDBNameAtTheIntegerLimit) {
    const std::string source = kSource + "GetDBName";
    auto lookup = [&](const std::string& path) { return [=, this] { return U8(helper.GetDBName(S(path), u"")); }; };
    // The walk over the names counts in 16 bits: the step past 32767 overflows, even after
    // the last name, unless the name is found first.
    LocalNames(32767);
    CheckRows({
        {"32767 names, found at 32767", lookup("C:\\D32767"), Returns("NAME32767")},
        {"32767 names, not found", lookup("C:\\nowhere"), Raises(6, source, "Overflow")},
    });
    LocalNames(32766);
    CheckRows({{"32766 names, not found", lookup("C:\\nowhere"), Returns("")}});
}

TEST_F(ConnectionHelperBadInput, DBNameExists) {
    const std::string source = kSource + "DBNameExists";
    home.AddName("", "ACCOUNTS", "C:\\Dict", "C:\\Data");
    home.AddName("", "\u00C4RGER", "C:\\Dict", "C:\\Data2");
    auto exists = [&](const String& name, const String& server = u"") {
        return [=, this] { return Bool(helper.DBNameExists(name, server)); };
    };
    CheckRows({
        {"empty name", exists(u""), Returns("False")},
        {"name of 100000 characters", exists(Huge()), Returns("False")},
        {"name with a NUL after it", exists(WithNul("ACCOUNTS", "")), Returns("False")},
        {"ASCII letters in another case", exists(u"accounts"), Returns("True")},
        {"Windows-1252 letter in another case", exists(S("\u00E4rger")), Returns("True")},
        {"a name's first letters", exists(u"ACCOUNT"), Returns("False")},
        {"name outside Windows-1252 is not mistaken for '?'", exists(S("\u03A9")), Returns("False")},
    });
    home.SetFaults("PvGetDbNamesData\t13\n");
    CheckRows({{"PvGetDbNamesData answers 13", exists(u"ACCOUNTS"), Returns("False")}});
    home.SetFaults("");
    LocalNames(32768);
    CheckRows({{"32768 names", exists(u"NAME32768"), Raises(6, source, "Overflow")}});
}

TEST_F(ConnectionHelperBadInput, CreatePSQLDBName) {
    const std::string source = kSource + "CreatePSQLDBName";
    home.AddServer("FS01");
    const String company = CompanyOnShare("Co1");
    MapDrivesWithoutAUsableShare();
    auto create = [&](const String& name, const String& install, const String& ddf, const String& dat,
                      bool force = false) {
        return Runs([=, this] { helper.CreatePSQLDBName(name, u"FS01", install, ddf, dat, u"u", u"p", force); });
    };
    CheckRows({
        {"data folder of 300 characters", create(u"A", masterPath, company, Huge().substr(0, 300)),
         Raises(kBase, kSource + "DoesFileExist", "L33")},
        {"master folder without dictionary files", create(u"A", u"S:\\Co1", company, company),
         Raises(kBase + 10004, kSource + "CopyFiles", "L15 S:\\Co1\\File.ddf L16")},
#ifndef _WIN32  // the test prefix under Wine has no drives T: and L: to hold the data files
        // T: has no share and L: one too long: the dictionary folder's failure is the one reported.
        {"both folders on drives without a usable share", create(u"A", masterPath, u"T:\\Co1", u"L:\\Co1"),
         Raises(kBase + 1201, kSource + "GetUNCPathOfDriveLetter", "L26")},
#endif
        {"forced login, Literals (1 To 12)", With(Texts(1, 12), create(u"A", masterPath, company, company, true)),
         RaisesRuntime(kSubscriptOutOfRange)},
    });
    EXPECT_TRUE(home.Names("FS01").empty());
}

TEST_F(ConnectionHelperBadInput, MakeDBName) {
    auto make = [&](const String& prefix, const String& path) {
        return [=, this] { return U8(helper.MakeDBName(prefix, path)); };
    };
    CheckRows({
        {"empty prefix and path", make(u"", u""), Returns("")},
        {"prefix outside Windows-1252 is kept, in upper case", make(S(" \u03C9x "), u"C:\\a-b"), Returns("\u03A9XAB")},
        {"folder with a NUL and characters outside Windows-1252", make(u"p", S("C:\\a\u20AC\u03A9") + u'\0' + u"1"),
         Returns("PA1")},
        {"path of 32767 characters", make(u"", String(32767, u'z')), Returns(std::string(32767, 'Z'))},
        {"path of 32768 characters", make(u"", String(32768, u'z')), RaisesRuntime(kOverflow)},
    });
}

TEST_F(ConnectionHelperBadInput, LegitimiseDBName) {
    String mixed;  // 100000 kept, 100000 dropped
    for (int i = 0; i < 100000; ++i) mixed += u"a-";
    auto legit = [&](const String& name) { return [=, this] { return U8(helper.LegitimiseDBName(name)); }; };
    CheckRows({
        {"NUL, punctuation and Windows-1252 letters", legit(S("a\u00C4-1_b \u20AC") + u'\0' + u"z"), Returns("a1bz")},
        {"lone surrogates and characters outside Windows-1252", legit(String(u"\xD800x\xDC00\u03A9y")), Returns("xy")},
        {"the neighbours of each range of ASCII letters and digits", legit(u"/09:@AZ[`az{"), Returns("09AZaz")},
        {"100000 characters", [&] { return std::to_string(helper.LegitimiseDBName(mixed).size()); }, Returns("100000")},
    });
}

TEST_F(ConnectionHelperBadInput, ThrowPSQLError) {
    auto raise = [&](int32_t number, const String& proc) {
        return Runs([=, this] { helper.ThrowPSQLError(number, proc); });
    };
    CheckRows({
        {"status 0 cannot be raised", raise(0, u"P"), RaisesRuntime(kInvalidProcedureCall)},
        {"-2147483648", raise(INT32_MIN, u"P"), Raises(INT32_MIN, kSource + "P", LayerError(INT32_MIN))},
        {"empty procedure name", raise(7013, u""), Raises(7013, kSource, "Named database does not exist.")},
        {"procedure name with a NUL", raise(7001, WithNul("P", "Q")),
         Raises(7001, kSource + std::string("P\0Q", 3), "Invalid connection handle.")},
    });
}

TEST_F(ConnectionHelperBadInput, GetCreateDB) {
    home.SetUsers("FS01", {{"Beta", "Marlwood4839"}});
    const String company = CompanyOnShare("Co1", "Orders.DAT");
    auto create = [&](const String& table, const SafeArray<String>& lits) {
        return [=, this] { return U8(helper.GetCreateDB(u"ACME", company, masterPath, table, lits)); };
    };
    const std::string connected = "Driver={Pervasive ODBC Client Interface};ServerName=FS01;dbq=@ACME";
    CheckRows({
        {"table in another case", create(u"orders", lits), Returns(connected)},
        // 200000 characters once crashed the driver's statement matcher (one stack frame per
        // character); now an unknown table like any other.
        {"table name of 200000 characters", create(String(200000, u'T'), lits),
         Raises(kProviderError, kProvider, "No such table or object.")},
        {"table followed by a second statement", create(u"Orders; DROP TABLE Orders", lits),
         Raises(
             kProviderError, kProvider,
             "[Varnholt][Stand-in ODBC] Syntax error in the statement: Select Top 1 * From Orders; DROP TABLE Orders")},
        {"table with a NUL inside (Orders<NUL>X would prove Orders)", create(WithNul("Orders", "X"), lits),
         Raises(kProviderError, kDataAccess, "The statement holds a NUL character.")},
        {"empty table", create(u"", lits),
         Raises(kProviderError, kProvider,
                "[Varnholt][Stand-in ODBC] Syntax error in the statement: Select Top 1 * From ")},
        {"Lits unallocated: not read when nothing goes wrong", create(u"Orders", SafeArray<String>()),
         Returns(connected)},
    });
}

TEST_F(ConnectionHelperBadInput, GetPSQLConnStr) {
    home.SetUsers("FS01", {{"admin", "secret"}});
    const String company = CompanyOnShare("Co1");
    auto connStr = [&](const String& path, const SafeArray<String>& lits) {
        return [=, this] { return U8(helper.GetPSQLConnStr(u"ACME", path, masterPath, lits)); };
    };
    CheckRows({
        {"data folder on an unknown drive", connStr(u"Q:\\x", lits), Raises(2300, kSource + "GetServerName", "L24 Q:")},
        {"defaults refused, prompt cancelled", Answering({false, "", ""}, connStr(company, lits)),
         Raises(10008, "PSQL.DBNameExists", "L32")},
        {"defaults refused, Lits (1 To 31)", Answering({false, "", ""}, connStr(company, Texts(1, 31))),
         RaisesRuntime(kSubscriptOutOfRange)},
        {"defaults refused, Lits unallocated", connStr(company, SafeArray<String>()),
         RaisesRuntime(kSubscriptOutOfRange)},
    });
    // Nothing was created; the record keeps the defaults that were tried.
    EXPECT_FALSE(helper.DBWasCreated());
    EXPECT_EQ(U8(helper.userName()), "Beta");
    EXPECT_EQ(U8(helper.UserPassword()), "Marlwood4839");
}

TEST_F(ConnectionHelperBadInput, ModifyDataBase) {
    const std::string source = kSource + "ModifyDatabase";
    home.AddName("", "ACME", "C:\\old", "C:\\old");
    TempDir folders;  // a local disk: on Windows the share is drive S:, a network drive
    const std::string local = folders.Path().string() + "/Co1";
    folders.Write("Co1/Orders.dat", "rows");
    auto modify = [&](const String& name, const String& newName, const String& ddf) {
        return
            [=, this] { return U8(helper.ModifyDataBase(name, newName, masterPath, ddf, S(local), u"", u"", lits)); };
    };
    CheckRows({{"empty dictionary folder", modify(u"ACME", u"NEW", u""), Raises(2306, source, "L11")}});
#ifndef _WIN32  // drives T: and L: come from the POSIX drive table
    // The data folder is converted first, by the server lookup; the dictionary folder then.
    MapDrivesWithoutAUsableShare();
    share.Write("Co1/Orders.dat", "rows");
    auto modifyOn = [&](const String& ddf, const String& dat) {
        return [=, this] { return U8(helper.ModifyDataBase(u"ACME", u"NEW", masterPath, ddf, dat, u"", u"", lits)); };
    };
    CheckRows({
        {"dictionary folder on a drive without a share", modifyOn(u"T:\\Co1", S(local)),
         Raises(kBase + 1201, kSource + "GetUNCPathOfDriveLetter", "L26")},
        {"both folders on drives without a usable share", modifyOn(u"T:\\Co1", u"L:\\Co1"),
         Raises(2300, kSource + "GetServerName", "L28")},
    });
#endif
    EXPECT_EQ(home.Names("").at(0).at(0), "ACME");
}

TEST_F(ConnectionHelperBadInput, CopyDictionaryFiles) {
    const std::string source = kSource + "CopyFiles";
    const String target = S(share.Path().string() + "/");
#ifndef _WIN32  // '?' cannot be part of a Windows folder name
    std::filesystem::create_directories(share.Path() / "d?");
#endif
    std::filesystem::create_directories(share.Path() / u8"d\u0141");
    auto copy = [&](const String& from, const String& to) {
        return [=, this] { return Bool(helper.CopyDictionaryFiles(from, to)); };
    };
    const String master = masterPath + u"/";
    CheckRows({
        {"target folder missing", copy(master, target + u"missing/"),
         Raises(kBase + 10003, source,
                "L15 " + U8(target) + "missing/File.ddf L18\r\n\r\nPath not found: cannot create " + U8(target) +
                    "missing/File.ddf (" + MissingFolderReason() + ")")},
        {"source of 300 characters", copy(String(300, u'm'), target), Raises(kBase + 10004, source, "L33")},
        {"target outside Windows-1252 beside its '?' form", copy(master, target + S("d\u0141/")), Returns("True")},
        {"target with a NUL inside", copy(master, target + WithNul("a", "/")),
         Raises(kBase + 10003, source,
                "L15 " + U8(target) + "a" + kNul + "/File.ddf L18\r\n\r\nBad file name or number: cannot create " +
                    U8(target) + "a" + kNul + "/File.ddf (the name holds a NUL character)")},
    });
    EXPECT_TRUE(HasDictionary(share.Path() / u8"d\u0141"));
#ifndef _WIN32
    EXPECT_TRUE(std::filesystem::is_empty(share.Path() / "d?"));
#endif
}

}  // namespace
}  // namespace varnholt::test
