// The stand-in ODBC driver through the unixODBC driver manager, as the component's data
// access reaches it.
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "TestSupport.h"

namespace varnholt::test {
namespace {

namespace fs = std::filesystem;

#define DRIVER "Driver={Pervasive ODBC Client Interface};"
const std::string kAccounts = DRIVER "ServerName=FS01;dbq=@ACCOUNTS";

struct Diagnostic {
    SQLRETURN result = SQL_SUCCESS;
    std::string state;
    SQLINTEGER native = 0;
    std::string message;
};

class Handle {
public:
    Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle_))) handle_ = SQL_NULL_HANDLE;
    }
    // A connection left open is closed first. Its statements, declared after it, are gone by
    // then: closing it earlier frees them under their Handles, which then free them again.
    ~Handle() {
        if (handle_ == SQL_NULL_HANDLE) return;
        if (type_ == SQL_HANDLE_DBC) SQLDisconnect(handle_);
        SQLFreeHandle(type_, handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    SQLHANDLE Get() const { return handle_; }
    Diagnostic Outcome(SQLRETURN result) const {
        Diagnostic d;
        d.result = result;
        SQLCHAR state[6] = {};
        SQLCHAR message[1024] = {};
        SQLSMALLINT length = 0;
        if (SQLGetDiagRec(type_, handle_, 1, state, &d.native, message, sizeof message, &length) == SQL_SUCCESS) {
            d.state = reinterpret_cast<char*>(state);
            d.message = reinterpret_cast<char*>(message);
        }
        return d;
    }

private:
    SQLSMALLINT type_;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

class OdbcDriverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // Before the first environment: the manager reads its configuration folder once.
        setenv("ODBCSYSINI", STANDIN_ODBCSYSINI, 1);
    }
    void SetUp() override {
        ASSERT_NE(env_.Get(), nullptr);
        ASSERT_TRUE(SQL_SUCCEEDED(
            SQLSetEnvAttr(env_.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)));
        unsetenv("VARNHOLT_DRIVES");
    }

    // A database name whose dictionary folder holds FILE.DDF and whose data folder holds
    // the given data files.
    void AddDatabase(const std::string& server, const std::string& name, const std::vector<std::string>& dataFiles) {
        const fs::path dict = files_.Path() / name / "dict";
        const fs::path data = files_.Path() / name / "data";
        fs::create_directories(dict);
        fs::create_directories(data);
        std::ofstream(dict / "file.ddf") << "dictionary";
        for (const auto& file : dataFiles) std::ofstream(data / file) << "rows";
        home_.AddName(server, name, dict.string(), data.string());
    }

    Diagnostic Connect(Handle& dbc, const std::string& text) {
        std::string copy = text;
        return dbc.Outcome(SQLDriverConnect(dbc.Get(), nullptr, reinterpret_cast<SQLCHAR*>(copy.data()), SQL_NTS,
                                            nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    }
    Diagnostic Execute(Handle& stmt, const std::string& sql) {
        std::string copy = sql;
        return stmt.Outcome(SQLExecDirect(stmt.Get(), reinterpret_cast<SQLCHAR*>(copy.data()), SQL_NTS));
    }
    // A connection to ACCOUNTS on FS01, whose data folder holds dataFiles; the fixture owns it.
    Handle& Accounts(const std::vector<std::string>& dataFiles) {
        AddDatabase("FS01", "ACCOUNTS", dataFiles);
        dbc_ = std::make_unique<Handle>(SQL_HANDLE_DBC, env_.Get());
        const Diagnostic d = Connect(*dbc_, kAccounts);
        EXPECT_EQ(d.result, SQL_SUCCESS) << d.message;
        return *dbc_;
    }
    static std::string HostName() {
        char host[256] = {};
        gethostname(host, sizeof host - 1);
        return host;
    }

    EngineHome home_;
    TempDir files_;
    Handle env_{SQL_HANDLE_ENV, SQL_NULL_HANDLE};
    std::unique_ptr<Handle> dbc_;
};

TEST_F(OdbcDriverTest, NamedDatabaseOpensAndAnswersSelectTop) {
    AddDatabase("FS01", "ACCOUNTS", {"Company.DAT"});
    Handle dbc(SQL_HANDLE_DBC, env_.Get());
    const Diagnostic connected =
        Connect(dbc, DRIVER "ServerName=FS01;dbq=@accounts");
    ASSERT_EQ(connected.result, SQL_SUCCESS) << connected.message;
    {
        Handle stmt(SQL_HANDLE_STMT, dbc.Get());
        const Diagnostic selected = Execute(stmt, "Select Top 1 * From COMPANY");
        ASSERT_EQ(selected.result, SQL_SUCCESS) << selected.message;
        SQLSMALLINT columns = -1;
        EXPECT_EQ(SQLNumResultCols(stmt.Get(), &columns), SQL_SUCCESS);
        EXPECT_EQ(SQLFetch(stmt.Get()), SQL_NO_DATA);
    }
    {
        Handle stmt(SQL_HANDLE_STMT, dbc.Get());
        const Diagnostic selected = Execute(stmt, "  select TOP 1 *  from company ;");
        EXPECT_EQ(selected.result, SQL_SUCCESS) << selected.message;
    }
    EXPECT_EQ(SQLDisconnect(dbc.Get()), SQL_SUCCESS);
}

TEST_F(OdbcDriverTest, ConnectionStringKeysIgnoreCaseAndBlanks) {
    AddDatabase("", "LOCALDB", {});
    const std::string strings[] = {
        DRIVER "ServerName=" + HostName() + ";dbq=@LOCALDB",
        "DRIVER=Pervasive ODBC Client Interface; servername = ;  DBQ = @localdb ",
        DRIVER "dbq={@LocalDB}",
    };
    for (const std::string& text : strings) {
        Handle dbc(SQL_HANDLE_DBC, env_.Get());
        const Diagnostic connected = Connect(dbc, text);
        EXPECT_EQ(connected.result, SQL_SUCCESS) << text << ": " << connected.message;
        if (SQL_SUCCEEDED(connected.result)) SQLDisconnect(dbc.Get());
    }
}

TEST_F(OdbcDriverTest, ConnectFailuresCarryTheEngineStatus) {
    AddDatabase("FS01", "NODICT", {});
    fs::remove(files_.Path() / "NODICT/dict/file.ddf");
    home_.AddServer("EMPTY");
    fs::create_directories(home_.Path() / "servers/BROKEN/dbnames");  // a folder where the file belongs
    struct Case {
        std::string text;
        std::string message;
        SQLINTEGER native;
    } cases[] = {
        {DRIVER "ServerName=NOSUCH;dbq=@X",
         "[Varnholt][Stand-in ODBC] Server NOSUCH is not reachable. (Btrieve Error 3012)", 3012},
        {DRIVER "ServerName=EMPTY;dbq=@ACCOUNTS",
         "[Varnholt][Stand-in ODBC] Database name ACCOUNTS is not defined on server EMPTY. (Btrieve Error 2301)", 2301},
        {DRIVER "ServerName=EMPTY;dbq=",
         "[Varnholt][Stand-in ODBC] Database name  is not defined on server EMPTY. (Btrieve Error 2301)", 2301},
        {DRIVER "ServerName=BROKEN;dbq=@ACCOUNTS",
         "[Varnholt][Stand-in ODBC] The database names of server BROKEN are not available. (Btrieve Error 7009)", 7009},
        {DRIVER "ServerName=FS01;dbq=@NODICT",
         "[Varnholt][Stand-in ODBC] The dictionary file FILE.DDF of NODICT is missing in " +
             (files_.Path() / "NODICT/dict").string() + ". (Btrieve Error 12)",
         12},
    };
    for (const Case& c : cases) {
        Handle dbc(SQL_HANDLE_DBC, env_.Get());
        const Diagnostic d = Connect(dbc, c.text);
        EXPECT_EQ(d.result, SQL_ERROR) << c.text;
        EXPECT_EQ(d.state, "08001");
        EXPECT_EQ(d.native, c.native);
        EXPECT_EQ(d.message, c.message);
    }
}

TEST_F(OdbcDriverTest, StatementFailures) {
    Handle& dbc = Accounts({"Company.DAT", "Ledger.txt"});
    struct Case {
        const char* sql;
        const char* state;
        std::string message;
    } cases[] = {
        {"Select Top 1 * From Ledger", "42S02", "No such table or object."},
        {"Select Top 1 * From Missing", "42S02", "No such table or object."},
        {"Select Top 1 * From ../ACCOUNTS/data/Company", "42S02", "No such table or object."},
        {"Select ID From Company", "42000",
         "[Varnholt][Stand-in ODBC] Syntax error in the statement: Select ID From Company"},
        {"Delete From Company", "42000",
         "[Varnholt][Stand-in ODBC] Syntax error in the statement: Delete From Company"},
    };
    for (const Case& c : cases) {
        Handle stmt(SQL_HANDLE_STMT, dbc.Get());
        const Diagnostic d = Execute(stmt, c.sql);
        EXPECT_EQ(d.result, SQL_ERROR) << c.sql;
        EXPECT_EQ(d.state, c.state) << c.sql;
        EXPECT_EQ(d.message, c.message);
    }
}

// A table name of 200000 characters once overflowed the stack of the statement matcher.
TEST_F(OdbcDriverTest, StatementsOfAnyLengthAreAnswered) {
    Handle& dbc = Accounts({"Company.DAT"});
    const std::string table(200000, 'T');
    for (const std::string& sql : {"Select Top 1 * From " + table, "Select Top 1 * From Company" + table + " ;",
                                   "Select Top 1 * From Company ;" + std::string(200000, ' ')}) {
        Handle stmt(SQL_HANDLE_STMT, dbc.Get());
        const Diagnostic d = Execute(stmt, sql);
        if (sql.back() == ' ') {
            EXPECT_EQ(d.result, SQL_SUCCESS) << d.message;
        } else {
            EXPECT_EQ(d.result, SQL_ERROR);
            EXPECT_EQ(d.state, "42S02");
        }
    }
}

TEST_F(OdbcDriverTest, WindowsPathsMapThroughTheDriveTable) {
    const fs::path share = files_.Path() / "share";
    fs::create_directories(share / "Dict");
    fs::create_directories(share / "Data");
    std::ofstream(share / "Dict/FILE.DDF") << "dictionary";
    std::ofstream(share / "Data/orders.dat") << "rows";
    const fs::path drives = files_.Write("drives", "S:\tremote\t" + share.string() + "\t\\\\srv\\apps\n");
    setenv("VARNHOLT_DRIVES", drives.c_str(), 1);
    home_.AddName("", "MAPPED", "S:\\Dict", "\\\\SRV\\apps\\Data");
    home_.AddName("", "NODRIVE", "Q:\\Dict", "Q:\\Data");

    Handle dbc(SQL_HANDLE_DBC, env_.Get());
    const Diagnostic connected = Connect(dbc, DRIVER "dbq=@MAPPED");
    ASSERT_EQ(connected.result, SQL_SUCCESS) << connected.message;
    Handle stmt(SQL_HANDLE_STMT, dbc.Get());
    const Diagnostic selected = Execute(stmt, "Select Top 1 * From Orders");
    EXPECT_EQ(selected.result, SQL_SUCCESS) << selected.message;

    Handle other(SQL_HANDLE_DBC, env_.Get());
    const Diagnostic unmapped = Connect(other, DRIVER "dbq=@NODRIVE");
    EXPECT_EQ(unmapped.native, 12);
}

TEST_F(OdbcDriverTest, JournalAndFaults) {
    AddDatabase("FS01", "ACCOUNTS", {"Company.DAT"});
    home_.EnableJournal();
    home_.SetFaults("SQLDriverConnect\t2\t1\nSQLExecDirect\t-4994\t1\n");
    const std::string& text = kAccounts;
    Handle dbc(SQL_HANDLE_DBC, env_.Get());
    const Diagnostic faulted = Connect(dbc, text);
    EXPECT_EQ(faulted.result, SQL_ERROR);
    EXPECT_EQ(faulted.state, "HY000");
    EXPECT_EQ(faulted.message, "[Varnholt][Stand-in ODBC] Injected failure. (Btrieve Error 2)");
    ASSERT_EQ(Connect(dbc, text).result, SQL_SUCCESS);
    {
        // Freed before the disconnect, which frees it itself and leaves the handle dangling.
        Handle stmt(SQL_HANDLE_STMT, dbc.Get());
        EXPECT_EQ(Execute(stmt, "Select Top 1 * From Company").native, -4994);
        EXPECT_EQ(Execute(stmt, "Select Top 1 * From Company").result, SQL_SUCCESS);
    }
    SQLDisconnect(dbc.Get());

    std::vector<std::string> libraries;
    for (const auto& fields : home_.Journal()) libraries.push_back(fields.at(0));
    EXPECT_EQ(libraries, std::vector<std::string>(4, "ODBC"));
    EXPECT_EQ(home_.Calls(), (std::vector<std::string>{"SQLDriverConnect " + text, "SQLDriverConnect " + text,
                                                       "SQLExecDirect Select Top 1 * From Company",
                                                       "SQLExecDirect Select Top 1 * From Company"}));
}

// Prepared statements are looked at when prepared and again when executed.
TEST_F(OdbcDriverTest, PrepareAndExecute) {
    home_.EnableJournal();
    Handle& dbc = Accounts({"Company.DAT"});
    auto prepare = [](Handle& stmt, std::string sql) {
        return stmt.Outcome(SQLPrepare(stmt.Get(), reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS));
    };
    Handle stmt(SQL_HANDLE_STMT, dbc.Get());
    EXPECT_EQ(prepare(stmt, "Select Top 1 Name From Company").state, "42000");
    ASSERT_EQ(prepare(stmt, "select * from COMPANY").result, SQL_SUCCESS);
    SQLSMALLINT columns = 0;
    EXPECT_EQ(SQLNumResultCols(stmt.Get(), &columns), SQL_SUCCESS);
    EXPECT_EQ(columns, 2);
    for (int run = 0; run < 2; ++run) {
        ASSERT_EQ(stmt.Outcome(SQLExecute(stmt.Get())).result, SQL_SUCCESS) << run;
        EXPECT_EQ(SQLFetch(stmt.Get()), SQL_NO_DATA);
        EXPECT_EQ(SQLCloseCursor(stmt.Get()), SQL_SUCCESS);
    }
    fs::remove(files_.Path() / "ACCOUNTS/data/Company.DAT");
    const Diagnostic gone = stmt.Outcome(SQLExecute(stmt.Get()));
    EXPECT_EQ(gone.state, "42S02");
    EXPECT_EQ(home_.Calls(), (std::vector<std::string>{
                                 "SQLDriverConnect " + kAccounts,
                                 "SQLPrepare Select Top 1 Name From Company", "SQLPrepare select * from COMPANY",
                                 "SQLExecute select * from COMPANY", "SQLExecute select * from COMPANY",
                                 "SQLExecute select * from COMPANY"}));
}

// What pyodbc and isql do not read of a query's columns.
TEST_F(OdbcDriverTest, ColumnsOfATable) {
    Handle& dbc = Accounts({"Company.DAT"});
    Handle stmt(SQL_HANDLE_STMT, dbc.Get());
    ASSERT_EQ(Execute(stmt, "Select Top 1 * From company").result, SQL_SUCCESS);
    const std::tuple<SQLUSMALLINT, SQLLEN, SQLLEN> sizes[] = {{1, 11, 4}, {2, 64, 256}};  // display, octets
    for (const auto& [column, display, octets] : sizes) {
        SQLCHAR table[16] = {};
        SQLLEN shown = 0, bytes = 0;
        EXPECT_EQ(SQLColAttribute(stmt.Get(), column, SQL_DESC_BASE_TABLE_NAME, table, sizeof table, nullptr, nullptr),
                  SQL_SUCCESS);
        EXPECT_STREQ(reinterpret_cast<char*>(table), "Company");  // as the folder spells it
        EXPECT_EQ(SQLColAttribute(stmt.Get(), column, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &shown), SQL_SUCCESS);
        EXPECT_EQ(SQLColAttribute(stmt.Get(), column, SQL_DESC_OCTET_LENGTH, nullptr, 0, nullptr, &bytes), SQL_SUCCESS);
        EXPECT_EQ(std::tie(shown, bytes), std::tie(display, octets)) << column;
    }
    SQLCHAR name[3] = {};
    const Diagnostic cut = stmt.Outcome(SQLDescribeCol(stmt.Get(), 2, name, sizeof name, nullptr, nullptr, nullptr,
                                                       nullptr, nullptr));
    EXPECT_EQ(std::tie(cut.result, cut.state), std::make_tuple(SQL_SUCCESS_WITH_INFO, std::string("01004")));
    EXPECT_STREQ(reinterpret_cast<char*>(name), "NA");
    EXPECT_EQ(stmt.Outcome(SQLDescribeCol(stmt.Get(), 3, name, sizeof name, nullptr, nullptr, nullptr, nullptr,
                                          nullptr)).state, "07009");
    EXPECT_EQ(stmt.Outcome(SQLColAttribute(stmt.Get(), 1, 9999, nullptr, 0, nullptr, nullptr)).state, "HY091");
    EXPECT_EQ(SQLFetch(stmt.Get()), SQL_NO_DATA);
    SQLINTEGER id = 0;
    EXPECT_EQ(stmt.Outcome(SQLGetData(stmt.Get(), 1, SQL_C_SLONG, &id, 0, nullptr)).state, "24000");
}

TEST_F(OdbcDriverTest, TablesMatchSearchPatterns) {
    Handle& dbc = Accounts({"Ledger.dat", "Company.DAT", "Led_ger.DAT", "notes.txt", ".DAT"});
    struct Case {
        const char* catalog;
        const char* table;
        const char* types;
        std::vector<std::string> names;
    } cases[] = {
        {nullptr, nullptr, nullptr, {"Company", "Led_ger", "Ledger"}},
        {"", "led%", "'TABLE','VIEW'", {"Led_ger", "Ledger"}},
        {nullptr, "Led\\_ger", nullptr, {"Led_ger"}},
        {nullptr, "L_dger", nullptr, {"Ledger"}},
        {nullptr, "%o%", nullptr, {"Company"}},
        {nullptr, "%", "VIEW", {}},
        {"OTHER", nullptr, nullptr, {}},
        {nullptr, "", "%", {""}},  // the table types, listed as rows of no table
    };
    auto text = [](const char* value) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(value)); };
    for (const Case& c : cases) {
        Handle stmt(SQL_HANDLE_STMT, dbc.Get());
        ASSERT_EQ(SQLTables(stmt.Get(), text(c.catalog), SQL_NTS, nullptr, 0, text(c.table), SQL_NTS, text(c.types),
                            SQL_NTS),
                  SQL_SUCCESS);
        std::vector<std::string> names;
        while (SQLFetch(stmt.Get()) == SQL_SUCCESS) {
            char name[64] = {}, type[16] = {};
            SQLLEN length = 0;
            EXPECT_EQ(SQLGetData(stmt.Get(), 3, SQL_C_CHAR, name, sizeof name, &length), SQL_SUCCESS);
            EXPECT_EQ(SQLGetData(stmt.Get(), 4, SQL_C_CHAR, type, sizeof type, &length), SQL_SUCCESS);
            EXPECT_STREQ(type, "TABLE");
            names.push_back(name);
        }
        EXPECT_EQ(names, c.names) << (c.table ? c.table : "(null)");
    }
}

// One row of SQLGetTypeInfo read in every way the driver converts, call after call.
TEST_F(OdbcDriverTest, GetDataConversions) {
    Handle& dbc = Accounts({});
    Handle stmt(SQL_HANDLE_STMT, dbc.Get());
    ASSERT_EQ(SQLGetTypeInfo(stmt.Get(), SQL_VARCHAR), SQL_SUCCESS);
    ASSERT_EQ(SQLFetch(stmt.Get()), SQL_SUCCESS);
    struct Call {
        SQLUSMALLINT column;
        SQLSMALLINT type;
        SQLLEN capacity;
        bool indicator;
        SQLRETURN result;
        const char* state;
        SQLLEN length;
        std::string bytes;  // the buffer's start afterwards
    } calls[] = {
        {1, SQL_C_SLONG, 4, true, SQL_ERROR, "22018", -7, ""},
        {1, SQL_C_CHAR, 4, true, SQL_SUCCESS_WITH_INFO, "01004", 7, std::string("VAR\0", 4)},
        {1, SQL_C_CHAR, 4, true, SQL_SUCCESS_WITH_INFO, "01004", 4, std::string("CHA\0", 4)},
        {1, SQL_C_CHAR, 4, true, SQL_SUCCESS, "", 1, std::string("R\0", 2)},
        {1, SQL_C_CHAR, 4, true, SQL_NO_DATA, "", -7, ""},
        {2, SQL_C_WCHAR, 8, true, SQL_SUCCESS, "", 4, std::string("1\0" "2\0\0\0", 6)},
        {7, SQL_C_SSHORT, 2, true, SQL_SUCCESS, "", 2, std::string("\x01\0", 2)},
        {7, SQL_C_SSHORT, 2, true, SQL_NO_DATA, "", -7, ""},
        {3, SQL_C_CHAR, 0, true, SQL_SUCCESS_WITH_INFO, "01004", 3, ""},  // the length alone
        {3, SQL_C_BINARY, 8, true, SQL_ERROR, "HYC00", -7, ""},
        {10, SQL_C_SLONG, 4, false, SQL_ERROR, "22002", -7, ""},
        {10, SQL_C_SLONG, 4, true, SQL_SUCCESS, "", SQL_NULL_DATA, ""},
        {20, SQL_C_CHAR, 4, true, SQL_ERROR, "07009", -7, ""},
    };
    for (const Call& c : calls) {
        char buffer[16] = {};
        SQLLEN length = -7;
        const Diagnostic d = stmt.Outcome(
            SQLGetData(stmt.Get(), c.column, c.type, buffer, c.capacity, c.indicator ? &length : nullptr));
        const std::string where = "column " + std::to_string(c.column) + " as " + std::to_string(c.type);
        EXPECT_EQ(d.result, c.result) << where;
        if (c.result != SQL_SUCCESS && c.result != SQL_NO_DATA) {
            EXPECT_EQ(d.state, c.state) << where;
        }
        EXPECT_EQ(length, c.length) << where;
        EXPECT_EQ(std::string(buffer, c.bytes.size()), c.bytes) << where;
    }
}

TEST_F(OdbcDriverTest, BoundColumnsAreFilledByFetch) {
    Handle& dbc = Accounts({"Company.DAT", "Ledger.DAT"});
    Handle stmt(SQL_HANDLE_STMT, dbc.Get());
    char name[16] = {}, type[4] = {};
    EXPECT_EQ(stmt.Outcome(SQLBindCol(stmt.Get(), 3, SQL_C_BINARY, name, sizeof name, nullptr)).state, "HYC00");
    SQLLEN nameLength = 0, typeLength = 0, catalogLength = 0;
    SQLINTEGER catalog = 0;
    ASSERT_EQ(SQLBindCol(stmt.Get(), 3, SQL_C_CHAR, name, sizeof name, &nameLength), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt.Get(), 4, SQL_C_CHAR, type, sizeof type, &typeLength), SQL_SUCCESS);
    ASSERT_EQ(SQLTables(stmt.Get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    const Diagnostic first = stmt.Outcome(SQLFetch(stmt.Get()));
    EXPECT_EQ(std::tie(first.result, first.state), std::make_tuple(SQL_SUCCESS_WITH_INFO, std::string("01004")));
    EXPECT_EQ(std::make_tuple(std::string(name), nameLength, std::string(type), typeLength),
              std::make_tuple(std::string("Company"), SQLLEN{7}, std::string("TAB"), SQLLEN{5}));
    // TABLE_CAT is null: bound without an indicator, the row cannot be given.
    ASSERT_EQ(SQLBindCol(stmt.Get(), 1, SQL_C_SLONG, &catalog, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(stmt.Outcome(SQLFetch(stmt.Get())).state, "22002");
    ASSERT_EQ(SQLBindCol(stmt.Get(), 1, SQL_C_SLONG, &catalog, 0, &catalogLength), SQL_SUCCESS);
    EXPECT_EQ(SQLFreeStmt(stmt.Get(), SQL_CLOSE), SQL_SUCCESS);
    ASSERT_EQ(SQLTables(stmt.Get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(SQLFetch(stmt.Get()), SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(catalogLength, SQL_NULL_DATA);
    EXPECT_EQ(SQLFreeStmt(stmt.Get(), SQL_UNBIND), SQL_SUCCESS);
    name[0] = '\0';
    EXPECT_EQ(SQLFetch(stmt.Get()), SQL_SUCCESS);  // Ledger, into no buffer
    EXPECT_STREQ(name, "");
    EXPECT_EQ(SQLFetch(stmt.Get()), SQL_NO_DATA);
}

TEST_F(OdbcDriverTest, InformationAndAttributes) {
    AddDatabase("FS01", "ACCOUNTS", {});
    home_.SetEngineConf("10.2.1", "L");
    Handle dbc(SQL_HANDLE_DBC, env_.Get());
    ASSERT_EQ(Connect(dbc, DRIVER "ServerName=fs01;dbq=@accounts").result, SQL_SUCCESS);
    const std::pair<SQLUSMALLINT, std::string> texts[] = {
        {SQL_SERVER_NAME, "fs01"}, {SQL_DATABASE_NAME, "ACCOUNTS"}, {SQL_DBMS_VER, "10.02.0001"}};
    for (const auto& [type, value] : texts) {
        char text[64] = {};
        EXPECT_EQ(SQLGetInfo(dbc.Get(), type, text, sizeof text, nullptr), SQL_SUCCESS) << type;
        EXPECT_EQ(text, value);
    }
    SQLUINTEGER ignored = 0;
    EXPECT_EQ(dbc.Outcome(SQLGetInfo(dbc.Get(), SQL_CREATE_TABLE, &ignored, sizeof ignored, nullptr)).state, "HYC00");
    char catalog[] = "OTHER";
    const Diagnostic catalogs = dbc.Outcome(SQLSetConnectAttr(dbc.Get(), SQL_ATTR_CURRENT_CATALOG, catalog, SQL_NTS));
    EXPECT_EQ(std::tie(catalogs.result, catalogs.state), std::make_tuple(SQL_ERROR, std::string("HYC00")));
    const Diagnostic writable = dbc.Outcome(SQLSetConnectAttr(
        dbc.Get(), SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_WRITE), SQL_IS_UINTEGER));
    EXPECT_EQ(std::tie(writable.result, writable.state), std::make_tuple(SQL_SUCCESS_WITH_INFO, std::string("01S02")));
    EXPECT_EQ(SQLSetConnectAttr(dbc.Get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF),
                                SQL_IS_UINTEGER),
              SQL_SUCCESS);
    SQLUINTEGER autocommit = SQL_AUTOCOMMIT_ON, access = SQL_MODE_READ_WRITE;
    EXPECT_EQ(SQLGetConnectAttr(dbc.Get(), SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLGetConnectAttr(dbc.Get(), SQL_ATTR_ACCESS_MODE, &access, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(std::tie(autocommit, access), std::make_tuple(SQLUINTEGER{SQL_AUTOCOMMIT_OFF}, SQLUINTEGER{SQL_MODE_READ_ONLY}));
    EXPECT_EQ(SQLEndTran(SQL_HANDLE_DBC, dbc.Get(), SQL_ROLLBACK), SQL_SUCCESS);
}


// Paths the driver manager shields the driver from, called on the driver directly.
class DriverDirect : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(driver_, nullptr) << dlerror(); }
    void TearDown() override {
        if (driver_) dlclose(driver_);
    }
    template <class Fn>
    Fn Entry(const char* name) const {
        return reinterpret_cast<Fn>(dlsym(driver_, name));
    }
    Diagnostic Last(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN result) const {
        auto getDiagRec = Entry<decltype(&SQLGetDiagRec)>("SQLGetDiagRec");
        Diagnostic d;
        d.result = result;
        SQLCHAR state[6] = {};
        SQLCHAR message[512] = {};
        SQLSMALLINT length = 0;
        if (getDiagRec(type, handle, 1, state, &d.native, message, sizeof message, &length) == SQL_SUCCESS) {
            d.state = reinterpret_cast<char*>(state);
            d.message = reinterpret_cast<char*>(message);
        }
        return d;
    }

    void* driver_ = dlopen(STANDIN_ODBC_DRIVER, RTLD_NOW | RTLD_LOCAL);
    decltype(&SQLAllocHandle) alloc_ = Entry<decltype(&SQLAllocHandle)>("SQLAllocHandle");
    decltype(&SQLFreeHandle) free_ = Entry<decltype(&SQLFreeHandle)>("SQLFreeHandle");
    decltype(&SQLDriverConnect) connect_ = Entry<decltype(&SQLDriverConnect)>("SQLDriverConnect");
    decltype(&SQLDisconnect) disconnect_ = Entry<decltype(&SQLDisconnect)>("SQLDisconnect");
    decltype(&SQLExecDirect) execute_ = Entry<decltype(&SQLExecDirect)>("SQLExecDirect");
    decltype(&SQLFetch) fetch_ = Entry<decltype(&SQLFetch)>("SQLFetch");
    decltype(&SQLCloseCursor) closeCursor_ = Entry<decltype(&SQLCloseCursor)>("SQLCloseCursor");
    decltype(&SQLFreeStmt) freeStmt_ = Entry<decltype(&SQLFreeStmt)>("SQLFreeStmt");
    decltype(&SQLGetDiagField) diagField_ = Entry<decltype(&SQLGetDiagField)>("SQLGetDiagField");
    EngineHome home_;
    TempDir files_;
};

TEST_F(DriverDirect, SequenceAndArgumentErrors) {
    fs::create_directories(files_.Path() / "dict");
    std::ofstream(files_.Path() / "dict/FILE.DDF") << "dictionary";
    std::ofstream(files_.Path() / "dict/T.DAT") << "rows";
    home_.AddName("", "DB", (files_.Path() / "dict").string(), (files_.Path() / "dict").string());
    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
    ASSERT_EQ(alloc_(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    ASSERT_EQ(alloc_(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    EXPECT_EQ(alloc_(SQL_HANDLE_STMT, env, &stmt), SQL_INVALID_HANDLE);

    struct Expected {
        const char* state;
        const char* message;
    };
    auto expect = [&](SQLSMALLINT type, SQLHANDLE handle, SQLRETURN result, Expected e) {
        const Diagnostic d = Last(type, handle, result);
        EXPECT_EQ(d.result, SQL_ERROR) << e.message;
        EXPECT_EQ(d.state, e.state);
        EXPECT_EQ(d.message, std::string("[Varnholt][Stand-in ODBC] ") + e.message);
    };
    expect(SQL_HANDLE_DBC, dbc, alloc_(SQL_HANDLE_STMT, dbc, &stmt), {"08003", "Connection not open."});
    expect(SQL_HANDLE_DBC, dbc, disconnect_(dbc), {"08003", "Connection not open."});
    expect(SQL_HANDLE_DBC, dbc, connect_(dbc, nullptr, nullptr, SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT),
           {"HY009", "Invalid use of null pointer."});

    std::string text = "dbq=@DB";
    SQLCHAR out[4] = {};
    SQLSMALLINT outLength = 0;
    const Diagnostic cut = Last(SQL_HANDLE_DBC, dbc,
                                connect_(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, out,
                                         sizeof out, &outLength, SQL_DRIVER_NOPROMPT));
    EXPECT_EQ(cut.result, SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(cut.state, "01004");
    EXPECT_EQ(cut.message, "[Varnholt][Stand-in ODBC] String data, right truncated.");
    EXPECT_STREQ(reinterpret_cast<char*>(out), "dbq");
    EXPECT_EQ(outLength, 7);
    expect(SQL_HANDLE_DBC, dbc,
           connect_(dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr, 0, nullptr,
                    SQL_DRIVER_NOPROMPT),
           {"08002", "Connection name in use."});

    ASSERT_EQ(alloc_(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    expect(SQL_HANDLE_STMT, stmt, fetch_(stmt), {"24000", "Invalid cursor state."});
    expect(SQL_HANDLE_STMT, stmt, Entry<decltype(&SQLExecute)>("SQLExecute")(stmt), {"HY010", "Function sequence error."});
    expect(SQL_HANDLE_STMT, stmt, closeCursor_(stmt), {"24000", "Invalid cursor state."});
    expect(SQL_HANDLE_STMT, stmt, execute_(stmt, nullptr, SQL_NTS), {"HY009", "Invalid use of null pointer."});
    std::string sql = "Select Top 1 * From T";
    ASSERT_EQ(execute_(stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_SUCCESS);
    expect(SQL_HANDLE_STMT, stmt, execute_(stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS),
           {"24000", "Invalid cursor state."});
    EXPECT_EQ(closeCursor_(stmt), SQL_SUCCESS);
    ASSERT_EQ(execute_(stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(freeStmt_(stmt, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(fetch_(stmt), SQL_ERROR);

    // Diagnostic fields of the record just made.
    SQLINTEGER number = 0, native = -1;
    char state[6] = {}, origin[16] = {};
    SQLSMALLINT length = 0;
    EXPECT_EQ(diagField_(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &number, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(number, 1);
    EXPECT_EQ(diagField_(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SQLSTATE, state, sizeof state, &length), SQL_SUCCESS);
    EXPECT_STREQ(state, "24000");
    EXPECT_EQ(diagField_(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_NATIVE, &native, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(native, 0);
    EXPECT_EQ(diagField_(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_CLASS_ORIGIN, origin, sizeof origin, &length), SQL_SUCCESS);
    EXPECT_STREQ(origin, "ISO 9075");
    EXPECT_EQ(diagField_(SQL_HANDLE_STMT, stmt, 2, SQL_DIAG_SQLSTATE, state, sizeof state, &length), SQL_NO_DATA);

    // SQLGetFunctions names exactly what the library exports.
    const std::pair<SQLUSMALLINT, const char*> functions[] = {
        {SQL_API_SQLALLOCHANDLE, "SQLAllocHandle"}, {SQL_API_SQLFREEHANDLE, "SQLFreeHandle"},
        {SQL_API_SQLSETENVATTR, "SQLSetEnvAttr"}, {SQL_API_SQLDRIVERCONNECT, "SQLDriverConnect"},
        {SQL_API_SQLDISCONNECT, "SQLDisconnect"}, {SQL_API_SQLEXECDIRECT, "SQLExecDirect"},
        {SQL_API_SQLPREPARE, "SQLPrepare"}, {SQL_API_SQLEXECUTE, "SQLExecute"},
        {SQL_API_SQLNUMRESULTCOLS, "SQLNumResultCols"}, {SQL_API_SQLDESCRIBECOL, "SQLDescribeCol"},
        {SQL_API_SQLCOLATTRIBUTE, "SQLColAttribute"}, {SQL_API_SQLROWCOUNT, "SQLRowCount"},
        {SQL_API_SQLFETCH, "SQLFetch"}, {SQL_API_SQLGETDATA, "SQLGetData"}, {SQL_API_SQLBINDCOL, "SQLBindCol"},
        {SQL_API_SQLMORERESULTS, "SQLMoreResults"}, {SQL_API_SQLCLOSECURSOR, "SQLCloseCursor"},
        {SQL_API_SQLFREESTMT, "SQLFreeStmt"}, {SQL_API_SQLTABLES, "SQLTables"}, {SQL_API_SQLCOLUMNS, "SQLColumns"},
        {SQL_API_SQLGETTYPEINFO, "SQLGetTypeInfo"}, {SQL_API_SQLGETDIAGREC, "SQLGetDiagRec"},
        {SQL_API_SQLGETDIAGFIELD, "SQLGetDiagField"}, {SQL_API_SQLGETINFO, "SQLGetInfo"},
        {SQL_API_SQLGETFUNCTIONS, "SQLGetFunctions"}, {SQL_API_SQLSETCONNECTATTR, "SQLSetConnectAttr"},
        {SQL_API_SQLGETCONNECTATTR, "SQLGetConnectAttr"}, {SQL_API_SQLENDTRAN, "SQLEndTran"},
        {SQL_API_SQLBINDPARAMETER, "SQLBindParameter"}, {SQL_API_SQLFETCHSCROLL, "SQLFetchScroll"},
        {SQL_API_SQLSETSTMTATTR, "SQLSetStmtAttr"}, {SQL_API_SQLGETSTMTATTR, "SQLGetStmtAttr"},
        {SQL_API_SQLNUMPARAMS, "SQLNumParams"}, {SQL_API_SQLCONNECT, "SQLConnect"},
    };
    auto getFunctions = Entry<decltype(&SQLGetFunctions)>("SQLGetFunctions");
    SQLUSMALLINT all[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {};
    ASSERT_EQ(getFunctions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, all), SQL_SUCCESS);
    size_t listed = 0;
    for (SQLUSMALLINT id = 0; id < SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 16; ++id) listed += SQL_FUNC_EXISTS(all, id);
    EXPECT_EQ(listed, 28u);
    for (const auto& [id, name] : functions) {
        SQLUSMALLINT one = 2;
        EXPECT_EQ(getFunctions(dbc, id, &one), SQL_SUCCESS);
        const bool exported = dlsym(driver_, name) != nullptr;
        EXPECT_EQ(SQL_FUNC_EXISTS(all, id) == SQL_TRUE, exported) << name;
        EXPECT_EQ(one, exported ? SQL_TRUE : SQL_FALSE) << name;
    }

    // A statement left open is freed with the disconnect (the sanitizer build checks for leaks).
    EXPECT_EQ(disconnect_(dbc), SQL_SUCCESS);
    EXPECT_EQ(free_(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    EXPECT_EQ(free_(SQL_HANDLE_ENV, env), SQL_SUCCESS);
}

}  // namespace
}  // namespace varnholt::test
