// The stand-in ODBC driver through the unixODBC driver manager, as the component's data
// access reaches it.
#include <sql.h>
#include <sqlext.h>

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
const std::string kPrefix = "[Varnholt][Stand-in ODBC] ";

struct Diagnostic {
    SQLRETURN result = SQL_SUCCESS;
    std::string state;
    SQLINTEGER native = 0;
    std::string message;
    // The call's result and the state of its first record ("" without one).
    ::testing::AssertionResult Is(SQLRETURN expected, const std::string& expectedState) const {
        if (result == expected && state == expectedState) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "result " << result << ", state '" << state << "': " << message;
    }
};

// The first diagnostic record of a handle after a call that returned result.
Diagnostic Read(decltype(&SQLGetDiagRec) getDiagRec, SQLSMALLINT type, SQLHANDLE handle, SQLRETURN result) {
    Diagnostic d{result, "", 0, ""};
    SQLCHAR state[6] = {}, message[1024] = {};
    SQLSMALLINT length = 0;
    if (getDiagRec(type, handle, 1, state, &d.native, message, sizeof message, &length) == SQL_SUCCESS) {
        d.state = reinterpret_cast<char*>(state);
        d.message = reinterpret_cast<char*>(message);
    }
    return d;
}

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
    Diagnostic Outcome(SQLRETURN result) const { return Read(&SQLGetDiagRec, type_, handle_, result); }

private:
    SQLSMALLINT type_;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

SQLCHAR* Text(const char* value) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(value)); }

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
        files_.Write(name + "/dict/file.ddf", "dictionary");
        fs::create_directories(files_.Path() / name / "data");
        for (const auto& file : dataFiles) files_.Write(name + "/data/" + file, "rows");
        home_.AddName(server, name, (files_.Path() / name / "dict").string(), (files_.Path() / name / "data").string());
    }
    Diagnostic Connect(Handle& dbc, std::string text) {
        return dbc.Outcome(SQLDriverConnect(dbc.Get(), nullptr, Text(text.c_str()), SQL_NTS, nullptr, 0, nullptr,
                                            SQL_DRIVER_NOPROMPT));
    }
    Diagnostic Execute(Handle& stmt, std::string sql) {
        return stmt.Outcome(SQLExecDirect(stmt.Get(), Text(sql.c_str()), SQL_NTS));
    }
    // A connection to ACCOUNTS on FS01, whose data folder holds dataFiles; the fixture owns it.
    Handle& Accounts(const std::vector<std::string>& dataFiles) {
        AddDatabase("FS01", "ACCOUNTS", dataFiles);
        dbc_ = std::make_unique<Handle>(SQL_HANDLE_DBC, env_.Get());
        EXPECT_TRUE(Connect(*dbc_, kAccounts).Is(SQL_SUCCESS, ""));
        return *dbc_;
    }

    EngineHome home_;
    TempDir files_;
    Handle env_{SQL_HANDLE_ENV, SQL_NULL_HANDLE};
    std::unique_ptr<Handle> dbc_;
};

TEST_F(OdbcDriverTest, ConnectFailuresCarryTheEngineStatus) {
    AddDatabase("FS01", "NODICT", {});
    fs::remove(files_.Path() / "NODICT/dict/file.ddf");
    home_.AddServer("EMPTY");
    fs::create_directories(home_.Path() / "servers/BROKEN/dbnames");  // a folder where the file belongs
    const std::tuple<std::string, std::string, SQLINTEGER> cases[] = {
        {"NOSUCH;dbq=@X", "Server NOSUCH is not reachable.", 3012},
        {"EMPTY;dbq=", "Database name  is not defined on server EMPTY.", 2301},
        {"BROKEN;dbq=@ACCOUNTS", "The database names of server BROKEN are not available.", 7009},
        {"FS01;dbq=@NODICT",
         "The dictionary file FILE.DDF of NODICT is missing in " + (files_.Path() / "NODICT/dict").string() + ".", 12},
    };
    for (const auto& [server, message, native] : cases) {
        Handle dbc(SQL_HANDLE_DBC, env_.Get());
        const Diagnostic d = Connect(dbc, DRIVER "ServerName=" + server);
        EXPECT_TRUE(d.Is(SQL_ERROR, "08001")) << server;
        EXPECT_EQ(d.native, native);
        EXPECT_EQ(d.message, kPrefix + message + " (Btrieve Error " + std::to_string(native) + ")");
    }
}

// The statement forms the matcher takes are rows of its own test, isql meets the refusals' texts
// (odbc_clients_test.py), and the columns of an answer are ColumnsOfATable's; here what the
// driver makes of them. A table name of 200000 characters once overflowed the stack of the
// statement matcher.
TEST_F(OdbcDriverTest, StatementsAreAnsweredOrRefused) {
    Handle& dbc = Accounts({"Company.DAT"});
    const std::string table(200000, 'T'), noTable = "No such table or object.";
    const std::tuple<std::string, std::string, std::string> cases[] = {
        // statement, state, message
        {"Select Top 1 * From COMPANY", "", ""},
        {"Select Top 1 * From ../ACCOUNTS/data/Company", "42S02", noTable},
        {"Select Top 1 * From " + table, "42S02", noTable},
        {"Delete From Company", "42000", kPrefix + "Syntax error in the statement: Delete From Company"},
    };
    for (const auto& [sql, state, message] : cases) {
        Handle stmt(SQL_HANDLE_STMT, dbc.Get());
        const Diagnostic d = Execute(stmt, sql);
        EXPECT_TRUE(d.Is(state.empty() ? SQL_SUCCESS : SQL_ERROR, state)) << sql.substr(0, 60);
        EXPECT_EQ(d.message, message);
    }
}

TEST_F(OdbcDriverTest, WindowsPathsMapThroughTheDriveTable) {
    files_.Write("share/Dict/FILE.DDF", "dictionary");
    files_.Write("share/Data/orders.dat", "rows");
    const std::string drives = "S:\tremote\t" + (files_.Path() / "share").string() + "\t\\\\srv\\apps\n";
    setenv("VARNHOLT_DRIVES", files_.Write("drives", drives).c_str(), 1);
    home_.AddName("", "MAPPED", "S:\\Dict", "\\\\SRV\\apps\\Data");
    home_.AddName("", "NODRIVE", "Q:\\Dict", "Q:\\Data");
    Handle dbc(SQL_HANDLE_DBC, env_.Get()), other(SQL_HANDLE_DBC, env_.Get());
    ASSERT_TRUE(Connect(dbc, DRIVER "dbq=@MAPPED").Is(SQL_SUCCESS, ""));
    Handle stmt(SQL_HANDLE_STMT, dbc.Get());
    EXPECT_TRUE(Execute(stmt, "Select Top 1 * From Orders").Is(SQL_SUCCESS, ""));
    EXPECT_EQ(Connect(other, DRIVER "dbq=@NODRIVE").native, 12);
}

// Every call is journalled, faulted ones too; prepared statements are looked at when prepared
// and again when executed.
TEST_F(OdbcDriverTest, JournalFaultsAndPreparedStatements) {
    AddDatabase("FS01", "ACCOUNTS", {"Company.DAT"});
    home_.EnableJournal();
    home_.SetFaults("SQLDriverConnect\t2\t1\nSQLExecDirect\t-4994\t1\n");
    Handle dbc(SQL_HANDLE_DBC, env_.Get());
    const Diagnostic faulted = Connect(dbc, kAccounts);
    EXPECT_TRUE(faulted.Is(SQL_ERROR, "HY000"));
    EXPECT_EQ(faulted.message, kPrefix + "Injected failure. (Btrieve Error 2)");
    ASSERT_EQ(Connect(dbc, kAccounts).result, SQL_SUCCESS);
    const std::string select = "Select Top 1 * From Company";
    {
        // Freed before the disconnect, which frees it itself and leaves the handle dangling.
        Handle stmt(SQL_HANDLE_STMT, dbc.Get());
        EXPECT_EQ(Execute(stmt, select).native, -4994);
        EXPECT_EQ(Execute(stmt, select).result, SQL_SUCCESS);
        EXPECT_EQ(SQLCloseCursor(stmt.Get()), SQL_SUCCESS);
        auto prepare = [&](const char* sql) { return stmt.Outcome(SQLPrepare(stmt.Get(), Text(sql), SQL_NTS)); };
        EXPECT_TRUE(prepare("Select Top 1 Name From Company").Is(SQL_ERROR, "42000"));
        ASSERT_TRUE(prepare("select * from COMPANY").Is(SQL_SUCCESS, ""));
        SQLSMALLINT columns = 0;
        EXPECT_EQ(SQLNumResultCols(stmt.Get(), &columns), SQL_SUCCESS);
        EXPECT_EQ(columns, 2);
        for (int run = 0; run < 2; ++run) {
            ASSERT_TRUE(stmt.Outcome(SQLExecute(stmt.Get())).Is(SQL_SUCCESS, "")) << run;
            EXPECT_EQ(SQLFetch(stmt.Get()), SQL_NO_DATA);
            EXPECT_EQ(SQLCloseCursor(stmt.Get()), SQL_SUCCESS);
        }
        fs::remove(files_.Path() / "ACCOUNTS/data/Company.DAT");
        EXPECT_TRUE(stmt.Outcome(SQLExecute(stmt.Get())).Is(SQL_ERROR, "42S02"));
    }
    SQLDisconnect(dbc.Get());
    for (const auto& fields : home_.Journal()) EXPECT_EQ(fields.at(0), "ODBC");
    const std::string execute = "SQLExecute select * from COMPANY";
    EXPECT_EQ(home_.Calls(), (std::vector<std::string>{"SQLDriverConnect " + kAccounts, "SQLDriverConnect " + kAccounts,
                                                       "SQLExecDirect " + select, "SQLExecDirect " + select,
                                                       "SQLPrepare Select Top 1 Name From Company",
                                                       "SQLPrepare select * from COMPANY", execute, execute, execute}));
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
    auto describe = [&](SQLUSMALLINT column) {
        return stmt.Outcome(
            SQLDescribeCol(stmt.Get(), column, name, sizeof name, nullptr, nullptr, nullptr, nullptr, nullptr));
    };
    EXPECT_TRUE(describe(2).Is(SQL_SUCCESS_WITH_INFO, "01004"));
    EXPECT_STREQ(reinterpret_cast<char*>(name), "NA");
    EXPECT_TRUE(describe(3).Is(SQL_ERROR, "07009"));
    EXPECT_TRUE(
        stmt.Outcome(SQLColAttribute(stmt.Get(), 1, 9999, nullptr, 0, nullptr, nullptr)).Is(SQL_ERROR, "HY091"));
    EXPECT_EQ(SQLFetch(stmt.Get()), SQL_NO_DATA);
    SQLINTEGER id = 0;
    EXPECT_TRUE(stmt.Outcome(SQLGetData(stmt.Get(), 1, SQL_C_SLONG, &id, 0, nullptr)).Is(SQL_ERROR, "24000"));
}

// The patterns themselves are rows of the matcher's own test (StoreTest.cpp).
TEST_F(OdbcDriverTest, TablesMatchSearchPatterns) {
    Handle& dbc = Accounts({"Ledger.dat", "Company.DAT", "Led_ger.DAT", "notes.txt", ".DAT"});
    struct Case {
        const char *catalog, *table, *types;
        std::vector<std::string> names;
    } cases[] = {
        {nullptr, nullptr, nullptr, {"Company", "Led_ger", "Ledger"}},
        {"", "led%", "'TABLE','VIEW'", {"Led_ger", "Ledger"}},
        {nullptr, "%", "VIEW", {}},
        {"OTHER", nullptr, nullptr, {}},
        {nullptr, "", "%", {""}},  // the table types, listed as rows of no table
    };
    for (const Case& c : cases) {
        Handle stmt(SQL_HANDLE_STMT, dbc.Get());
        ASSERT_EQ(
            SQLTables(stmt.Get(), Text(c.catalog), SQL_NTS, nullptr, 0, Text(c.table), SQL_NTS, Text(c.types), SQL_NTS),
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
        {2, SQL_C_WCHAR, 8, true, SQL_SUCCESS, "", 4, std::string("1\0002\0\0\0", 6)},
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
        const Diagnostic d =
            stmt.Outcome(SQLGetData(stmt.Get(), c.column, c.type, buffer, c.capacity, c.indicator ? &length : nullptr));
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
    SQLLEN nameLength = 0, typeLength = 0, catalogLength = 0;
    SQLINTEGER catalog = 0;
    const Diagnostic binary = stmt.Outcome(SQLBindCol(stmt.Get(), 3, SQL_C_BINARY, name, sizeof name, nullptr));
    EXPECT_TRUE(binary.Is(SQL_ERROR, "HYC00"));
    ASSERT_EQ(SQLBindCol(stmt.Get(), 3, SQL_C_CHAR, name, sizeof name, &nameLength), SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt.Get(), 4, SQL_C_CHAR, type, sizeof type, &typeLength), SQL_SUCCESS);
    ASSERT_EQ(SQLTables(stmt.Get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_TRUE(stmt.Outcome(SQLFetch(stmt.Get())).Is(SQL_SUCCESS_WITH_INFO, "01004"));
    EXPECT_EQ(std::make_tuple(std::string(name), nameLength, std::string(type), typeLength),
              std::make_tuple(std::string("Company"), SQLLEN{7}, std::string("TAB"), SQLLEN{5}));
    // TABLE_CAT is null: bound without an indicator, the row cannot be given.
    ASSERT_EQ(SQLBindCol(stmt.Get(), 1, SQL_C_SLONG, &catalog, 0, nullptr), SQL_SUCCESS);
    EXPECT_TRUE(stmt.Outcome(SQLFetch(stmt.Get())).Is(SQL_ERROR, "22002"));
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

// Commit and rollback are pyodbc's (odbc_clients_test.py).
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
    const Diagnostic create = dbc.Outcome(SQLGetInfo(dbc.Get(), SQL_CREATE_TABLE, &ignored, sizeof ignored, nullptr));
    EXPECT_TRUE(create.Is(SQL_ERROR, "HYC00"));
    auto set = [&](SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
        return dbc.Outcome(SQLSetConnectAttr(dbc.Get(), attribute, value, length));
    };
    EXPECT_TRUE(set(SQL_ATTR_CURRENT_CATALOG, Text("OTHER"), SQL_NTS).Is(SQL_ERROR, "HYC00"));
    EXPECT_TRUE(set(SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_WRITE), SQL_IS_UINTEGER)
                    .Is(SQL_SUCCESS_WITH_INFO, "01S02"));
    EXPECT_TRUE(set(SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER)
                    .Is(SQL_SUCCESS, ""));
    SQLUINTEGER autocommit = SQL_AUTOCOMMIT_ON, access = SQL_MODE_READ_WRITE;
    EXPECT_EQ(SQLGetConnectAttr(dbc.Get(), SQL_ATTR_AUTOCOMMIT, &autocommit, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(SQLGetConnectAttr(dbc.Get(), SQL_ATTR_ACCESS_MODE, &access, 0, nullptr), SQL_SUCCESS);
    EXPECT_EQ(std::tie(autocommit, access),
              std::make_tuple(SQLUINTEGER{SQL_AUTOCOMMIT_OFF}, SQLUINTEGER{SQL_MODE_READ_ONLY}));
}

// The driver's own entry point SQL<name>, as its type in the headers.
#define DIRECT(name) reinterpret_cast<decltype(&SQL##name)>(dlsym(driver, "SQL" #name))

// Paths the driver manager shields the driver from, called on the driver directly.
TEST(DriverDirect, SequenceAndArgumentErrors) {
    EngineHome home;
    TempDir files;
    files.Write("dict/FILE.DDF", "dictionary");
    files.Write("dict/T.DAT", "rows");
    home.AddName("", "DB", (files.Path() / "dict").string(), (files.Path() / "dict").string());
    void* driver = dlopen(STANDIN_ODBC_DRIVER, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(driver, nullptr) << dlerror();
    SQLHANDLE env = nullptr, dbc = nullptr, stmt = nullptr;
    ASSERT_EQ(DIRECT(AllocHandle)(SQL_HANDLE_ENV, nullptr, &env), SQL_SUCCESS);
    ASSERT_EQ(DIRECT(AllocHandle)(SQL_HANDLE_DBC, env, &dbc), SQL_SUCCESS);
    EXPECT_EQ(DIRECT(AllocHandle)(SQL_HANDLE_STMT, env, &stmt), SQL_INVALID_HANDLE);

    // A call on a handle of type, its result and its first record.
    auto expect = [&](SQLSMALLINT type, SQLHANDLE handle, SQLRETURN result, SQLRETURN expected, const char* state,
                      const std::string& message) {
        const Diagnostic d = Read(DIRECT(GetDiagRec), type, handle, result);
        EXPECT_TRUE(d.Is(expected, state)) << message;
        EXPECT_EQ(d.message, kPrefix + message);
    };
    auto connect = [&](const char* text, SQLCHAR* out, SQLSMALLINT capacity, SQLSMALLINT* length) {
        return DIRECT(DriverConnect)(dbc, nullptr, Text(text), SQL_NTS, out, capacity, length, SQL_DRIVER_NOPROMPT);
    };
    const std::string notOpen = "Connection not open.", badCursor = "Invalid cursor state.",
                      nullPointer = "Invalid use of null pointer.";
    expect(SQL_HANDLE_DBC, dbc, DIRECT(AllocHandle)(SQL_HANDLE_STMT, dbc, &stmt), SQL_ERROR, "08003", notOpen);
    expect(SQL_HANDLE_DBC, dbc, DIRECT(Disconnect)(dbc), SQL_ERROR, "08003", notOpen);
    expect(SQL_HANDLE_DBC, dbc, connect(nullptr, nullptr, 0, nullptr), SQL_ERROR, "HY009", nullPointer);
    SQLCHAR out[4] = {};
    SQLSMALLINT outLength = 0;
    expect(SQL_HANDLE_DBC, dbc, connect("dbq=@DB", out, sizeof out, &outLength), SQL_SUCCESS_WITH_INFO, "01004",
           "String data, right truncated.");
    EXPECT_STREQ(reinterpret_cast<char*>(out), "dbq");
    EXPECT_EQ(outLength, 7);
    expect(SQL_HANDLE_DBC, dbc, connect("dbq=@DB", nullptr, 0, nullptr), SQL_ERROR, "08002", "Connection name in use.");

    ASSERT_EQ(DIRECT(AllocHandle)(SQL_HANDLE_STMT, dbc, &stmt), SQL_SUCCESS);
    expect(SQL_HANDLE_STMT, stmt, DIRECT(Fetch)(stmt), SQL_ERROR, "24000", badCursor);
    expect(SQL_HANDLE_STMT, stmt, DIRECT(Execute)(stmt), SQL_ERROR, "HY010", "Function sequence error.");
    expect(SQL_HANDLE_STMT, stmt, DIRECT(CloseCursor)(stmt), SQL_ERROR, "24000", badCursor);
    expect(SQL_HANDLE_STMT, stmt, DIRECT(ExecDirect)(stmt, nullptr, SQL_NTS), SQL_ERROR, "HY009", nullPointer);
    SQLCHAR* sql = Text("Select Top 1 * From T");
    ASSERT_EQ(DIRECT(ExecDirect)(stmt, sql, SQL_NTS), SQL_SUCCESS);
    expect(SQL_HANDLE_STMT, stmt, DIRECT(ExecDirect)(stmt, sql, SQL_NTS), SQL_ERROR, "24000", badCursor);
    EXPECT_EQ(DIRECT(CloseCursor)(stmt), SQL_SUCCESS);
    ASSERT_EQ(DIRECT(ExecDirect)(stmt, sql, SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(DIRECT(FreeStmt)(stmt, SQL_CLOSE), SQL_SUCCESS);
    EXPECT_EQ(DIRECT(Fetch)(stmt), SQL_ERROR);

    // Diagnostic fields of the record just made.
    SQLINTEGER number = 0, native = -1;
    char state[6] = {}, origin[16] = {};
    auto field = [&](SQLSMALLINT record, SQLSMALLINT id, SQLPOINTER value, SQLSMALLINT size) {
        SQLSMALLINT length = 0;
        return DIRECT(GetDiagField)(SQL_HANDLE_STMT, stmt, record, id, value, size, &length);
    };
    EXPECT_EQ(field(0, SQL_DIAG_NUMBER, &number, 0), SQL_SUCCESS);
    EXPECT_EQ(field(1, SQL_DIAG_SQLSTATE, state, sizeof state), SQL_SUCCESS);
    EXPECT_EQ(field(1, SQL_DIAG_NATIVE, &native, 0), SQL_SUCCESS);
    EXPECT_EQ(field(1, SQL_DIAG_CLASS_ORIGIN, origin, sizeof origin), SQL_SUCCESS);
    EXPECT_EQ(std::make_tuple(number, std::string(state), native, std::string(origin)),
              std::make_tuple(1, std::string("24000"), 0, std::string("ISO 9075")));
    EXPECT_EQ(field(2, SQL_DIAG_SQLSTATE, state, sizeof state), SQL_NO_DATA);

    // SQLGetFunctions names exactly what the library exports.
    // clang-format off
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
    // clang-format on
    SQLUSMALLINT all[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = {}, odbc2[100] = {};
    ASSERT_EQ(DIRECT(GetFunctions)(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, all), SQL_SUCCESS);
    ASSERT_EQ(DIRECT(GetFunctions)(dbc, SQL_API_ALL_FUNCTIONS, odbc2), SQL_SUCCESS);
    size_t listed = 0;
    for (SQLUSMALLINT id = 0; id < SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 16; ++id) listed += SQL_FUNC_EXISTS(all, id);
    EXPECT_EQ(listed, 28u);
    // The ODBC 2 list: one flag for each function number below 100, the same as the ODBC 3 bits.
    for (SQLUSMALLINT id = 0; id < 100; ++id) EXPECT_EQ(odbc2[id], SQL_FUNC_EXISTS(all, id)) << id;
    for (const auto& [id, name] : functions) {
        SQLUSMALLINT one = 2;
        EXPECT_EQ(DIRECT(GetFunctions)(dbc, id, &one), SQL_SUCCESS);
        const bool exported = dlsym(driver, name) != nullptr;
        EXPECT_EQ(SQL_FUNC_EXISTS(all, id) == SQL_TRUE, exported) << name;
        EXPECT_EQ(one, exported ? SQL_TRUE : SQL_FALSE) << name;
    }

    // A statement left open is freed with the disconnect (the sanitizer build checks for leaks).
    EXPECT_EQ(DIRECT(Disconnect)(dbc), SQL_SUCCESS);
    EXPECT_EQ(DIRECT(FreeHandle)(SQL_HANDLE_DBC, dbc), SQL_SUCCESS);
    EXPECT_EQ(DIRECT(FreeHandle)(SQL_HANDLE_ENV, env), SQL_SUCCESS);
    dlclose(driver);
}
#undef DIRECT

}  // namespace
}  // namespace varnholt::test
