// The stand-in engine's ODBC driver, loaded by unixODBC for "Pervasive ODBC Client Interface".
// It connects to a database name of the stand-in store (ServerName, dbq=@NAME), checks that the
// name's dictionary is in place, and answers "Select [Top N] * From T" and the catalog functions
// from the data folder's files: every table has the same columns and no records (see README.md).
// Texts are UTF-8 on both sides.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "odbc/Catalog.h"
#include "odbc/DriverSession.h"
#include "odbc/DriverText.h"
#include "odbc/Information.h"
#include "odbc/ResultSet.h"
#include "platform/drivetable/DriveTable.h"
#include "store/EngineHome.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace varnholt::standin;
using namespace varnholt::standin::odbc;

constexpr char kPrefix[] = "[Varnholt][Stand-in ODBC] ";

struct Diagnostic {
    std::string state;
    int32_t native = 0;
    std::string message;
};

enum class Kind : uint32_t { kEnvironment = 0x56454E56, kConnection = 0x5644424Bu, kStatement = 0x5653544Du };

struct HandleBase {
    explicit HandleBase(Kind k) : kind(k) {}
    Kind kind;
    std::vector<Diagnostic> diagnostics;
    SQLRETURN lastReturn = SQL_SUCCESS;
};

struct Environment : HandleBase {
    Environment() : HandleBase(Kind::kEnvironment) {}
};

struct Connection;

struct Statement : HandleBase {
    explicit Statement(Connection* c) : HandleBase(Kind::kStatement), connection(c) {}
    Connection* connection;
    // A prepared statement: its text and what executing it answers. Forced by a fault of
    // status 0, it was never checked and executes without a look at the folder.
    std::optional<std::string> prepared;
    bool preparedForced = false;
    ResultSet result;        // of the open cursor, else of the prepared statement
    bool hasResult = false;  // a cursor is open
    size_t fetched = 0;      // rows fetched so far; the last of them is the current row
    bool pastEnd = false;
    std::vector<size_t> read;  // per column of the current row: what SQLGetData gave of it
    struct Binding {
        SQLSMALLINT type = SQL_C_DEFAULT;
        SQLPOINTER target = nullptr;  // none: the column is not bound
        SQLLEN capacity = 0;
        SQLLEN* indicator = nullptr;
    };
    std::vector<Binding> bindings;  // by column number - 1
};

struct Connection : HandleBase {
    Connection() : HandleBase(Kind::kConnection) {}
    bool connected = false;
    bool autocommit = true;
    std::string server;      // as the caller named it; empty for the local engine
    std::string database;    // the database name
    std::string dataFolder;  // local POSIX folder of the connected name's data files
    // A connection owns its statements: disconnecting frees those the application left.
    std::vector<std::unique_ptr<Statement>> statements;
};

template <class T>
T* Cast(SQLHANDLE handle, Kind kind) {
    auto* base = static_cast<HandleBase*>(handle);
    return base && base->kind == kind ? static_cast<T*>(base) : nullptr;
}

HandleBase* AnyHandle(SQLSMALLINT type, SQLHANDLE handle) {
    switch (type) {
        case SQL_HANDLE_ENV: return Cast<Environment>(handle, Kind::kEnvironment);
        case SQL_HANDLE_DBC: return Cast<Connection>(handle, Kind::kConnection);
        case SQL_HANDLE_STMT: return Cast<Statement>(handle, Kind::kStatement);
        default: return nullptr;
    }
}

// Every function starts a handle's diagnostics afresh and ends through Finish.
SQLRETURN Finish(HandleBase& handle, SQLRETURN result) {
    handle.lastReturn = result;
    return result;
}

SQLRETURN Fail(HandleBase& handle, std::string state, int32_t native, std::string message) {
    handle.diagnostics.push_back({std::move(state), native, std::move(message)});
    return Finish(handle, SQL_ERROR);
}

// A failure of the driver itself, not of the engine: state and a message under the prefix.
SQLRETURN Refuse(HandleBase& handle, const char* state, const std::string& message) {
    return Fail(handle, state, 0, kPrefix + message);
}

SQLRETURN Warn(HandleBase& handle, const char* state, const std::string& message) {
    handle.diagnostics.push_back({state, 0, kPrefix + message});
    return Finish(handle, SQL_SUCCESS_WITH_INFO);
}

SQLRETURN Truncated(HandleBase& handle) { return Warn(handle, "01004", "String data, right truncated."); }

SQLRETURN Fail(HandleBase& handle, const DriverFailure& failure) {
    return Fail(handle, failure.state, failure.native, failure.message);
}

std::string TextArgument(const SQLCHAR* text, SQLINTEGER length) {
    if (!text) return {};
    const auto* chars = reinterpret_cast<const char*>(text);
    return length == SQL_NTS ? std::string(chars) : std::string(chars, static_cast<size_t>(std::max(length, 0)));
}

// Copies text into an ODBC output buffer; true when it had to be cut. No buffer asks for the
// length alone, which cuts nothing.
template <class Length>
bool CopyText(const std::string& text, void* out, SQLLEN capacity, Length* length) {
    if (length) *length = static_cast<Length>(std::min<size_t>(text.size(), std::numeric_limits<Length>::max()));
    auto* buffer = static_cast<char*>(out);
    if (!buffer) return false;
    if (capacity <= 0) return !text.empty();
    const size_t copied = std::min(text.size(), static_cast<size_t>(capacity - 1));
    std::memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
    return copied < text.size();
}

// Stored paths may be in Windows form; the drive table says where they are here.
std::string LocalPath(const std::string& enginePath) {
    return varnholt::platform::DriveTable::Load().ToLocalPath(enginePath);
}

// States that ODBC defines beyond the SQL standard's.
bool IsOdbcState(const std::string& state) {
    return state.compare(0, 2, "HY") == 0 || state.compare(0, 2, "IM") == 0 || state.compare(0, 3, "42S") == 0 ||
           state.compare(0, 3, "01S") == 0;
}

SQLRETURN Connect(Connection& connection, const std::string& text) {
    DriverConnection outcome = DriverConnect(text, LocalPath);
    if (outcome.failure) return Fail(connection, *outcome.failure);
    connection.connected = true;
    connection.server = std::move(outcome.server);
    connection.database = std::move(outcome.database);
    connection.dataFolder = std::move(outcome.dataFolder);
    return Finish(connection, SQL_SUCCESS);
}

void OpenCursor(Statement& statement, ResultSet result) {
    statement.result = std::move(result);
    statement.hasResult = true;
    statement.fetched = 0;
    statement.pastEnd = false;
    statement.read.assign(statement.result.columns.size(), 0);
}

void CloseCursor(Statement& statement) {
    statement.hasResult = false;
    if (!statement.prepared) statement.result = {};
}

void Unprepare(Statement& statement) {
    statement.prepared.reset();
    statement.preparedForced = false;
    statement.result = {};
}

// The three ways to run a statement, journaled and faulted under their function names.
enum class Step { kExecDirect, kPrepare, kExecute };

const char* FunctionName(Step step) {
    switch (step) {
        case Step::kExecDirect: return "SQLExecDirect";
        case Step::kPrepare: return "SQLPrepare";
        default: return "SQLExecute";
    }
}

SQLRETURN Execute(Statement& statement, Step step, const std::string& sql) {
    if (step != Step::kExecute) Unprepare(statement);
    // A prepared statement is looked at again, its table may be gone since; one prepared under a
    // fault of 0 never was.
    const bool check = step != Step::kExecute || !statement.preparedForced;
    DriverExecution run = DriverExecute(statement.connection->dataFolder, sql, FunctionName(step), check);
    if (run.failure) return Fail(statement, *run.failure);
    ResultSet result = run.table.empty() ? ResultSet{} : TableResult(run.table);
    if (step == Step::kPrepare) {
        statement.prepared = sql;
        statement.preparedForced = run.table.empty();
        statement.result = std::move(result);
    } else {
        OpenCursor(statement, std::move(result));
    }
    return Finish(statement, SQL_SUCCESS);
}

}  // namespace

STANDIN_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT HandleType, SQLHANDLE InputHandle,
                                                SQLHANDLE* OutputHandle) {
    if (!OutputHandle) return SQL_ERROR;
    *OutputHandle = SQL_NULL_HANDLE;
    switch (HandleType) {
        case SQL_HANDLE_ENV: *OutputHandle = new Environment(); return SQL_SUCCESS;
        case SQL_HANDLE_DBC:
            if (!Cast<Environment>(InputHandle, Kind::kEnvironment)) return SQL_INVALID_HANDLE;
            *OutputHandle = new Connection();
            return SQL_SUCCESS;
        case SQL_HANDLE_STMT: {
            auto* connection = Cast<Connection>(InputHandle, Kind::kConnection);
            if (!connection) return SQL_INVALID_HANDLE;
            connection->diagnostics.clear();
            if (!connection->connected)
                return Fail(*connection, "08003", 0, std::string(kPrefix) + "Connection not open.");
            connection->statements.push_back(std::make_unique<Statement>(connection));
            *OutputHandle = connection->statements.back().get();
            return SQL_SUCCESS;
        }
        default: return SQL_ERROR;
    }
}

STANDIN_EXPORT SQLRETURN SQL_API SQLFreeHandle(SQLSMALLINT HandleType, SQLHANDLE Handle) {
    HandleBase* handle = AnyHandle(HandleType, Handle);
    if (!handle) return SQL_INVALID_HANDLE;
    switch (HandleType) {
        case SQL_HANDLE_ENV: delete static_cast<Environment*>(handle); break;
        case SQL_HANDLE_DBC: delete static_cast<Connection*>(handle); break;
        default: {
            auto& owned = static_cast<Statement*>(handle)->connection->statements;
            std::erase_if(owned, [handle](const auto& statement) { return statement.get() == handle; });
            break;
        }
    }
    return SQL_SUCCESS;
}

STANDIN_EXPORT SQLRETURN SQL_API SQLSetEnvAttr(SQLHENV EnvironmentHandle, SQLINTEGER, SQLPOINTER, SQLINTEGER) {
    auto* environment = Cast<Environment>(EnvironmentHandle, Kind::kEnvironment);
    if (!environment) return SQL_INVALID_HANDLE;
    environment->diagnostics.clear();
    return Finish(*environment, SQL_SUCCESS);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLDriverConnect(SQLHDBC hdbc, SQLHWND, SQLCHAR* szConnStrIn, SQLSMALLINT cbConnStrIn,
                                                  SQLCHAR* szConnStrOut, SQLSMALLINT cbConnStrOutMax,
                                                  SQLSMALLINT* pcbConnStrOut, SQLUSMALLINT) {
    auto* connection = Cast<Connection>(hdbc, Kind::kConnection);
    if (!connection) return SQL_INVALID_HANDLE;
    connection->diagnostics.clear();
    if (!szConnStrIn) return Fail(*connection, "HY009", 0, std::string(kPrefix) + "Invalid use of null pointer.");
    if (connection->connected) return Fail(*connection, "08002", 0, std::string(kPrefix) + "Connection name in use.");
    const std::string text = TextArgument(szConnStrIn, cbConnStrIn);
    const SQLRETURN result = Connect(*connection, text);
    if (!SQL_SUCCEEDED(result)) return result;
    if (CopyText(text, szConnStrOut, cbConnStrOutMax, pcbConnStrOut)) {
        connection->diagnostics.push_back({"01004", 0, std::string(kPrefix) + "String data, right truncated."});
        return Finish(*connection, SQL_SUCCESS_WITH_INFO);
    }
    return result;
}

STANDIN_EXPORT SQLRETURN SQL_API SQLDisconnect(SQLHDBC ConnectionHandle) {
    auto* connection = Cast<Connection>(ConnectionHandle, Kind::kConnection);
    if (!connection) return SQL_INVALID_HANDLE;
    connection->diagnostics.clear();
    if (!connection->connected) return Fail(*connection, "08003", 0, std::string(kPrefix) + "Connection not open.");
    connection->connected = false;
    connection->dataFolder.clear();
    connection->statements.clear();
    return Finish(*connection, SQL_SUCCESS);
}

namespace {

Statement* OpenStatement(SQLHSTMT handle) {
    auto* statement = Cast<Statement>(handle, Kind::kStatement);
    if (statement) statement->diagnostics.clear();
    return statement;
}

// A search argument of a catalog function: a null pointer stays none.
std::optional<std::string> OptionalText(const SQLCHAR* text, SQLINTEGER length) {
    if (!text) return std::nullopt;
    return TextArgument(text, length);
}

// Catalog functions answer like a query: a cursor over their result.
SQLRETURN Catalog(Statement& statement, ResultSet result) {
    if (statement.hasResult) return Refuse(statement, "24000", "Invalid cursor state.");
    Unprepare(statement);
    OpenCursor(statement, std::move(result));
    return Finish(statement, SQL_SUCCESS);
}

SQLRETURN NoConversion(Statement& statement, SQLSMALLINT type) {
    return Refuse(statement, "HYC00",
                  "Optional feature not implemented: no conversion to C type " + std::to_string(type) + ".");
}

// What a conversion of GetData means to the caller of SQLGetData or SQLFetch.
SQLRETURN Converted(Statement& statement, SQLSMALLINT type, GetDataOutcome outcome) {
    switch (outcome) {
        case GetDataOutcome::kDone: return Finish(statement, SQL_SUCCESS);
        case GetDataOutcome::kTruncated: return Truncated(statement);
        case GetDataOutcome::kNoMoreData: return Finish(statement, SQL_NO_DATA);
        case GetDataOutcome::kNullNoIndicator:
            return Refuse(statement, "22002", "Indicator variable required but not supplied.");
        case GetDataOutcome::kNotANumber:
            return Refuse(statement, "22018", "Invalid character value for the conversion asked for.");
        case GetDataOutcome::kOutOfRange: return Refuse(statement, "22003", "Numeric value out of range.");
        case GetDataOutcome::kUnsupportedType: break;
    }
    return NoConversion(statement, type);
}

// Fills the bound columns from the current row. A truncated value warns and the fetch goes on;
// a value that cannot be converted fails it.
SQLRETURN FillBindings(Statement& statement) {
    const Row& row = statement.result.rows[statement.fetched - 1];
    SQLRETURN result = Finish(statement, SQL_SUCCESS);
    for (size_t i = 0; i < statement.bindings.size(); ++i) {
        const Statement::Binding& b = statement.bindings[i];
        if (!b.target) continue;
        if (i >= row.size()) return Refuse(statement, "07009", "Invalid descriptor index.");
        size_t whole = 0;
        const SQLRETURN one =
            Converted(statement, b.type,
                      GetData(row[i], statement.result.columns[i], b.type, b.target, b.capacity, b.indicator, whole));
        if (!SQL_SUCCEEDED(one)) return one;
        if (one == SQL_SUCCESS_WITH_INFO) result = one;
    }
    return Finish(statement, result);
}

const Column* ColumnOf(Statement& statement, SQLUSMALLINT number) {
    if (number < 1 || number > statement.result.columns.size()) return nullptr;
    return &statement.result.columns[number - 1];
}

}  // namespace

STANDIN_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT StatementHandle, SQLCHAR* StatementText,
                                               SQLINTEGER TextLength) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    if (!StatementText) return Refuse(*statement, "HY009", "Invalid use of null pointer.");
    if (statement->hasResult) return Refuse(*statement, "24000", "Invalid cursor state.");
    return Execute(*statement, Step::kExecDirect, TextArgument(StatementText, TextLength));
}

STANDIN_EXPORT SQLRETURN SQL_API SQLPrepare(SQLHSTMT StatementHandle, SQLCHAR* StatementText, SQLINTEGER TextLength) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    if (!StatementText) return Refuse(*statement, "HY009", "Invalid use of null pointer.");
    if (statement->hasResult) return Refuse(*statement, "24000", "Invalid cursor state.");
    return Execute(*statement, Step::kPrepare, TextArgument(StatementText, TextLength));
}

STANDIN_EXPORT SQLRETURN SQL_API SQLExecute(SQLHSTMT StatementHandle) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    if (statement->hasResult) return Refuse(*statement, "24000", "Invalid cursor state.");
    if (!statement->prepared) return Refuse(*statement, "HY010", "Function sequence error.");
    return Execute(*statement, Step::kExecute, *statement->prepared);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT StatementHandle, SQLSMALLINT* ColumnCount) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    if (!statement->hasResult && !statement->prepared) return Refuse(*statement, "HY010", "Function sequence error.");
    if (ColumnCount) *ColumnCount = static_cast<SQLSMALLINT>(statement->result.columns.size());
    return Finish(*statement, SQL_SUCCESS);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                                SQLCHAR* ColumnName, SQLSMALLINT BufferLength, SQLSMALLINT* NameLength,
                                                SQLSMALLINT* DataType, SQLULEN* ColumnSize, SQLSMALLINT* DecimalDigits,
                                                SQLSMALLINT* Nullable) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    if (!statement->hasResult && !statement->prepared) return Refuse(*statement, "HY010", "Function sequence error.");
    const Column* column = ColumnOf(*statement, ColumnNumber);
    if (!column) return Refuse(*statement, "07009", "Invalid descriptor index.");
    if (BufferLength < 0) return Refuse(*statement, "HY090", "Invalid string or buffer length.");
    if (DataType) *DataType = column->type;
    if (ColumnSize) *ColumnSize = column->size;
    if (DecimalDigits) *DecimalDigits = 0;
    if (Nullable) *Nullable = column->nullable;
    if (CopyText(column->name, ColumnName, BufferLength, NameLength)) return Truncated(*statement);
    return Finish(*statement, SQL_SUCCESS);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLColAttribute(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber,
                                                 SQLUSMALLINT FieldIdentifier, SQLPOINTER CharacterAttribute,
                                                 SQLSMALLINT BufferLength, SQLSMALLINT* StringLength,
                                                 SQLLEN* NumericAttribute) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    if (!statement->hasResult && !statement->prepared) return Refuse(*statement, "HY010", "Function sequence error.");
    auto number = [&](SQLLEN value) {
        if (NumericAttribute) *NumericAttribute = value;
        return Finish(*statement, SQL_SUCCESS);
    };
    if (FieldIdentifier == SQL_DESC_COUNT || FieldIdentifier == SQL_COLUMN_COUNT)
        return number(static_cast<SQLLEN>(statement->result.columns.size()));
    const Column* column = ColumnOf(*statement, ColumnNumber);
    if (!column) return Refuse(*statement, "07009", "Invalid descriptor index.");
    auto text = [&](const std::string& value) {
        if (CopyText(value, CharacterAttribute, BufferLength, StringLength)) return Truncated(*statement);
        return Finish(*statement, SQL_SUCCESS);
    };
    const bool isText = column->type == SQL_VARCHAR;
    switch (FieldIdentifier) {
        case SQL_DESC_NAME:
        case SQL_DESC_LABEL:
        case SQL_DESC_BASE_COLUMN_NAME:
        case SQL_COLUMN_NAME: return text(column->name);
        case SQL_DESC_TABLE_NAME:
        case SQL_DESC_BASE_TABLE_NAME: return text(column->table);
        case SQL_DESC_CATALOG_NAME:
        case SQL_DESC_SCHEMA_NAME: return text("");
        case SQL_DESC_TYPE_NAME:
        case SQL_DESC_LOCAL_TYPE_NAME: return text(TypeName(column->type));
        case SQL_DESC_LITERAL_PREFIX:
        case SQL_DESC_LITERAL_SUFFIX: return text(isText ? "'" : "");
        case SQL_DESC_TYPE:
        case SQL_DESC_CONCISE_TYPE: return number(column->type);
        case SQL_DESC_LENGTH:
        case SQL_DESC_PRECISION:
        case SQL_COLUMN_LENGTH:
        case SQL_COLUMN_PRECISION: return number(static_cast<SQLLEN>(column->size));
        case SQL_DESC_OCTET_LENGTH: return number(OctetLength(*column));
        case SQL_DESC_DISPLAY_SIZE: return number(DisplaySize(*column));
        case SQL_DESC_SCALE:
        case SQL_COLUMN_SCALE: return number(0);
        case SQL_DESC_NUM_PREC_RADIX: return number(isText ? 0 : 10);
        case SQL_DESC_NULLABLE:
        case SQL_COLUMN_NULLABLE: return number(column->nullable);
        case SQL_DESC_UNSIGNED: return number(isText ? SQL_TRUE : SQL_FALSE);
        case SQL_DESC_CASE_SENSITIVE:
        case SQL_DESC_FIXED_PREC_SCALE:
        case SQL_DESC_AUTO_UNIQUE_VALUE: return number(SQL_FALSE);
        case SQL_DESC_SEARCHABLE: return number(isText ? SQL_SEARCHABLE : SQL_PRED_BASIC);
        case SQL_DESC_UPDATABLE: return number(SQL_ATTR_READONLY);
        case SQL_DESC_UNNAMED: return number(SQL_NAMED);
        default: return Refuse(*statement, "HY091", "Invalid descriptor field identifier.");
    }
}

// No statement changes rows: what a query answers counts as none affected.
STANDIN_EXPORT SQLRETURN SQL_API SQLRowCount(SQLHSTMT StatementHandle, SQLLEN* RowCount) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    if (!statement->hasResult) return Refuse(*statement, "HY010", "Function sequence error.");
    if (RowCount) *RowCount = -1;
    return Finish(*statement, SQL_SUCCESS);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLFetch(SQLHSTMT StatementHandle) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    if (!statement->hasResult) return Refuse(*statement, "24000", "Invalid cursor state.");
    if (statement->fetched == statement->result.rows.size()) {
        statement->pastEnd = true;
        return Finish(*statement, SQL_NO_DATA);
    }
    ++statement->fetched;
    statement->read.assign(statement->result.columns.size(), 0);
    return FillBindings(*statement);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLBindCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLSMALLINT TargetType,
                                            SQLPOINTER TargetValue, SQLLEN BufferLength, SQLLEN* StrLen_or_Ind) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    // Column 0 is the bookmark, which the driver does not keep.
    if (ColumnNumber < 1) return Refuse(*statement, "07009", "Invalid descriptor index.");
    if (BufferLength < 0) return Refuse(*statement, "HY090", "Invalid string or buffer length.");
    if (TargetValue && !Converts(TargetType)) return NoConversion(*statement, TargetType);
    if (statement->bindings.size() < ColumnNumber) statement->bindings.resize(ColumnNumber);
    statement->bindings[ColumnNumber - 1] = {TargetType, TargetValue, BufferLength, StrLen_or_Ind};
    return Finish(*statement, SQL_SUCCESS);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLGetData(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLSMALLINT TargetType,
                                            SQLPOINTER TargetValue, SQLLEN BufferLength, SQLLEN* StrLen_or_Ind) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    if (!statement->hasResult || statement->fetched == 0 || statement->pastEnd)
        return Refuse(*statement, "24000", "Invalid cursor state.");
    const Column* column = ColumnOf(*statement, ColumnNumber);
    if (!column) return Refuse(*statement, "07009", "Invalid descriptor index.");
    if (BufferLength < 0) return Refuse(*statement, "HY090", "Invalid string or buffer length.");
    const Value& value = statement->result.rows[statement->fetched - 1][ColumnNumber - 1];
    return Converted(*statement, TargetType,
                     GetData(value, *column, TargetType, TargetValue, BufferLength, StrLen_or_Ind,
                             statement->read[ColumnNumber - 1]));
}

// One result per statement.
STANDIN_EXPORT SQLRETURN SQL_API SQLMoreResults(SQLHSTMT StatementHandle) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    if (statement->hasResult) CloseCursor(*statement);
    return Finish(*statement, SQL_NO_DATA);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT StatementHandle) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    if (!statement->hasResult) return Refuse(*statement, "24000", "Invalid cursor state.");
    CloseCursor(*statement);
    return Finish(*statement, SQL_SUCCESS);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT StatementHandle, SQLUSMALLINT Option) {
    auto* statement = Cast<Statement>(StatementHandle, Kind::kStatement);
    if (!statement) return SQL_INVALID_HANDLE;
    if (Option == SQL_DROP) return SQLFreeHandle(SQL_HANDLE_STMT, StatementHandle);
    statement->diagnostics.clear();
    if (Option == SQL_CLOSE && statement->hasResult) CloseCursor(*statement);
    if (Option == SQL_UNBIND) statement->bindings.clear();
    return Finish(*statement, SQL_SUCCESS);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLTables(SQLHSTMT StatementHandle, SQLCHAR* CatalogName, SQLSMALLINT NameLength1,
                                           SQLCHAR* SchemaName, SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                           SQLSMALLINT NameLength3, SQLCHAR* TableType, SQLSMALLINT NameLength4) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    return Catalog(*statement, TablesResult(statement->connection->dataFolder, OptionalText(CatalogName, NameLength1),
                                            OptionalText(SchemaName, NameLength2), OptionalText(TableName, NameLength3),
                                            OptionalText(TableType, NameLength4)));
}

STANDIN_EXPORT SQLRETURN SQL_API SQLColumns(SQLHSTMT StatementHandle, SQLCHAR* CatalogName, SQLSMALLINT NameLength1,
                                            SQLCHAR* SchemaName, SQLSMALLINT NameLength2, SQLCHAR* TableName,
                                            SQLSMALLINT NameLength3, SQLCHAR* ColumnName, SQLSMALLINT NameLength4) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    return Catalog(*statement,
                   ColumnsResult(statement->connection->dataFolder, OptionalText(CatalogName, NameLength1),
                                 OptionalText(SchemaName, NameLength2), OptionalText(TableName, NameLength3),
                                 OptionalText(ColumnName, NameLength4)));
}

STANDIN_EXPORT SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT StatementHandle, SQLSMALLINT DataType) {
    Statement* statement = OpenStatement(StatementHandle);
    if (!statement) return SQL_INVALID_HANDLE;
    return Catalog(*statement, TypeInfoResult(DataType));
}

STANDIN_EXPORT SQLRETURN SQL_API SQLGetDiagRec(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber,
                                               SQLCHAR* Sqlstate, SQLINTEGER* NativeError, SQLCHAR* MessageText,
                                               SQLSMALLINT BufferLength, SQLSMALLINT* TextLength) {
    const HandleBase* handle = AnyHandle(HandleType, Handle);
    if (!handle) return SQL_INVALID_HANDLE;
    if (RecNumber < 1) return SQL_ERROR;
    if (static_cast<size_t>(RecNumber) > handle->diagnostics.size()) return SQL_NO_DATA;
    const Diagnostic& record = handle->diagnostics[static_cast<size_t>(RecNumber) - 1];
    if (Sqlstate) std::memcpy(Sqlstate, record.state.c_str(), 6);
    if (NativeError) *NativeError = record.native;
    if (BufferLength < 0) return SQL_ERROR;
    return CopyText(record.message, MessageText, BufferLength, TextLength) ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

STANDIN_EXPORT SQLRETURN SQL_API SQLGetDiagField(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT RecNumber,
                                                 SQLSMALLINT DiagIdentifier, SQLPOINTER DiagInfo,
                                                 SQLSMALLINT BufferLength, SQLSMALLINT* StringLength) {
    const HandleBase* handle = AnyHandle(HandleType, Handle);
    if (!handle) return SQL_INVALID_HANDLE;
    auto text = [&](const std::string& value) {
        return CopyText(value, static_cast<SQLCHAR*>(DiagInfo), BufferLength, StringLength) ? SQL_SUCCESS_WITH_INFO
                                                                                            : SQL_SUCCESS;
    };
    // Header fields.
    switch (DiagIdentifier) {
        case SQL_DIAG_NUMBER:
            if (DiagInfo) *static_cast<SQLINTEGER*>(DiagInfo) = static_cast<SQLINTEGER>(handle->diagnostics.size());
            return SQL_SUCCESS;
        case SQL_DIAG_RETURNCODE:
            if (DiagInfo) *static_cast<SQLRETURN*>(DiagInfo) = handle->lastReturn;
            return SQL_SUCCESS;
        case SQL_DIAG_ROW_COUNT:
        case SQL_DIAG_CURSOR_ROW_COUNT:
            if (DiagInfo) *static_cast<SQLLEN*>(DiagInfo) = 0;
            return SQL_SUCCESS;
        case SQL_DIAG_DYNAMIC_FUNCTION: return text("");
        case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
            if (DiagInfo) *static_cast<SQLINTEGER*>(DiagInfo) = SQL_DIAG_UNKNOWN_STATEMENT;
            return SQL_SUCCESS;
        default: break;
    }
    // Record fields.
    if (RecNumber < 1) return SQL_ERROR;
    if (static_cast<size_t>(RecNumber) > handle->diagnostics.size()) return SQL_NO_DATA;
    const Diagnostic& record = handle->diagnostics[static_cast<size_t>(RecNumber) - 1];
    switch (DiagIdentifier) {
        case SQL_DIAG_SQLSTATE: return text(record.state);
        case SQL_DIAG_NATIVE:
            if (DiagInfo) *static_cast<SQLINTEGER*>(DiagInfo) = record.native;
            return SQL_SUCCESS;
        case SQL_DIAG_MESSAGE_TEXT: return text(record.message);
        case SQL_DIAG_CLASS_ORIGIN:
        case SQL_DIAG_SUBCLASS_ORIGIN: return text(IsOdbcState(record.state) ? "ODBC 3.0" : "ISO 9075");
        case SQL_DIAG_CONNECTION_NAME:
        case SQL_DIAG_SERVER_NAME: return text("");
        case SQL_DIAG_ROW_NUMBER:
            if (DiagInfo) *static_cast<SQLLEN*>(DiagInfo) = SQL_NO_ROW_NUMBER;
            return SQL_SUCCESS;
        case SQL_DIAG_COLUMN_NUMBER:
            if (DiagInfo) *static_cast<SQLINTEGER*>(DiagInfo) = SQL_NO_COLUMN_NUMBER;
            return SQL_SUCCESS;
        default: return SQL_ERROR;
    }
}

namespace {

// The functions this file exports, for SQLGetFunctions.
constexpr SQLUSMALLINT kFunctions[] = {
    SQL_API_SQLALLOCHANDLE,    SQL_API_SQLFREEHANDLE,     SQL_API_SQLSETENVATTR,   SQL_API_SQLDRIVERCONNECT,
    SQL_API_SQLDISCONNECT,     SQL_API_SQLEXECDIRECT,     SQL_API_SQLPREPARE,      SQL_API_SQLEXECUTE,
    SQL_API_SQLNUMRESULTCOLS,  SQL_API_SQLDESCRIBECOL,    SQL_API_SQLCOLATTRIBUTE, SQL_API_SQLROWCOUNT,
    SQL_API_SQLFETCH,          SQL_API_SQLGETDATA,        SQL_API_SQLMORERESULTS,  SQL_API_SQLCLOSECURSOR,
    SQL_API_SQLFREESTMT,       SQL_API_SQLTABLES,         SQL_API_SQLCOLUMNS,      SQL_API_SQLGETTYPEINFO,
    SQL_API_SQLGETDIAGREC,     SQL_API_SQLGETDIAGFIELD,   SQL_API_SQLGETINFO,      SQL_API_SQLGETFUNCTIONS,
    SQL_API_SQLSETCONNECTATTR, SQL_API_SQLGETCONNECTATTR, SQL_API_SQLENDTRAN,      SQL_API_SQLBINDCOL,
};

// "MM.mm.bbbb" from engine.conf.
std::string DbmsVersion() {
    const EngineVersionInfo version = ReadEngineConf(EngineHome());
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d.%04d", version.major % 100, version.minor % 100, version.build % 10000);
    return text;
}

}  // namespace

STANDIN_EXPORT SQLRETURN SQL_API SQLGetInfo(SQLHDBC ConnectionHandle, SQLUSMALLINT InfoType, SQLPOINTER InfoValue,
                                            SQLSMALLINT BufferLength, SQLSMALLINT* StringLength) {
    auto* connection = Cast<Connection>(ConnectionHandle, Kind::kConnection);
    if (!connection) return SQL_INVALID_HANDLE;
    connection->diagnostics.clear();
    if (!connection->connected) return Refuse(*connection, "08003", "Connection not open.");
    auto text = [&](const std::string& value) {
        if (BufferLength < 0) return Refuse(*connection, "HY090", "Invalid string or buffer length.");
        if (CopyText(value, InfoValue, BufferLength, StringLength)) return Truncated(*connection);
        return Finish(*connection, SQL_SUCCESS);
    };
    switch (InfoType) {
        case SQL_SERVER_NAME: return text(connection->server.empty() ? LocalHostName() : connection->server);
        case SQL_DATABASE_NAME: return text(connection->database);
        case SQL_DBMS_VER: return text(DbmsVersion());
        default: break;
    }
    const std::optional<InfoAnswer> info = FixedInfo(InfoType);
    if (!info)
        return Refuse(*connection, "HYC00",
                      "Optional feature not implemented: information type " + std::to_string(InfoType) + ".");
    if (info->kind == InfoAnswer::kText) return text(info->text);
    if (info->kind == InfoAnswer::kSmall) {
        if (InfoValue) *static_cast<SQLUSMALLINT*>(InfoValue) = static_cast<SQLUSMALLINT>(info->number);
        if (StringLength) *StringLength = sizeof(SQLUSMALLINT);
    } else {
        if (InfoValue) *static_cast<SQLUINTEGER*>(InfoValue) = info->number;
        if (StringLength) *StringLength = sizeof(SQLUINTEGER);
    }
    return Finish(*connection, SQL_SUCCESS);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLGetFunctions(SQLHDBC ConnectionHandle, SQLUSMALLINT FunctionId,
                                                 SQLUSMALLINT* Supported) {
    auto* connection = Cast<Connection>(ConnectionHandle, Kind::kConnection);
    if (!connection) return SQL_INVALID_HANDLE;
    connection->diagnostics.clear();
    if (!Supported) return Refuse(*connection, "HY009", "Invalid use of null pointer.");
    const auto exported = [](SQLUSMALLINT id) {
        return std::find(std::begin(kFunctions), std::end(kFunctions), id) != std::end(kFunctions);
    };
    if (FunctionId == SQL_API_ODBC3_ALL_FUNCTIONS) {
        std::fill_n(Supported, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE, SQLUSMALLINT{0});
        for (const SQLUSMALLINT id : kFunctions) Supported[id >> 4] |= static_cast<SQLUSMALLINT>(1u << (id & 0xF));
    } else if (FunctionId == SQL_API_ALL_FUNCTIONS) {
        // The ODBC 2 list: one flag for each function number below 100.
        for (SQLUSMALLINT id = 0; id < 100; ++id) Supported[id] = exported(id) ? SQL_TRUE : SQL_FALSE;
    } else {
        *Supported = exported(FunctionId) ? SQL_TRUE : SQL_FALSE;
    }
    return Finish(*connection, SQL_SUCCESS);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLSetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                                   SQLINTEGER) {
    auto* connection = Cast<Connection>(ConnectionHandle, Kind::kConnection);
    if (!connection) return SQL_INVALID_HANDLE;
    connection->diagnostics.clear();
    const auto number = static_cast<SQLULEN>(reinterpret_cast<uintptr_t>(Value));
    switch (Attribute) {
        // Either way no change is ever pending: every transaction is empty.
        case SQL_ATTR_AUTOCOMMIT:
            if (number != SQL_AUTOCOMMIT_ON && number != SQL_AUTOCOMMIT_OFF) break;
            connection->autocommit = number == SQL_AUTOCOMMIT_ON;
            return Finish(*connection, SQL_SUCCESS);
        case SQL_ATTR_ACCESS_MODE:
            if (number == SQL_MODE_READ_ONLY) return Finish(*connection, SQL_SUCCESS);
            return Warn(*connection, "01S02", "Option value changed: the stand-in is read-only.");
        case SQL_ATTR_TXN_ISOLATION:
            if (number == SQL_TXN_SERIALIZABLE) return Finish(*connection, SQL_SUCCESS);
            return Warn(*connection, "01S02", "Option value changed: transactions are serializable.");
        // Nothing waits: every call answers at once.
        case SQL_ATTR_LOGIN_TIMEOUT:
        case SQL_ATTR_CONNECTION_TIMEOUT: return Finish(*connection, SQL_SUCCESS);
        default:
            return Refuse(*connection, "HYC00",
                          "Optional feature not implemented: connection attribute " + std::to_string(Attribute) + ".");
    }
    return Refuse(*connection, "HY024", "Invalid attribute value.");
}

STANDIN_EXPORT SQLRETURN SQL_API SQLGetConnectAttr(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                                   SQLINTEGER, SQLINTEGER* StringLength) {
    auto* connection = Cast<Connection>(ConnectionHandle, Kind::kConnection);
    if (!connection) return SQL_INVALID_HANDLE;
    connection->diagnostics.clear();
    SQLUINTEGER number = 0;
    switch (Attribute) {
        case SQL_ATTR_AUTOCOMMIT: number = connection->autocommit ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF; break;
        case SQL_ATTR_ACCESS_MODE: number = SQL_MODE_READ_ONLY; break;
        case SQL_ATTR_TXN_ISOLATION: number = SQL_TXN_SERIALIZABLE; break;
        case SQL_ATTR_CONNECTION_DEAD: number = connection->connected ? SQL_CD_FALSE : SQL_CD_TRUE; break;
        case SQL_ATTR_LOGIN_TIMEOUT:
        case SQL_ATTR_CONNECTION_TIMEOUT: number = 0; break;
        default:
            return Refuse(*connection, "HYC00",
                          "Optional feature not implemented: connection attribute " + std::to_string(Attribute) + ".");
    }
    if (Value) *static_cast<SQLUINTEGER*>(Value) = number;
    if (StringLength) *StringLength = sizeof number;
    return Finish(*connection, SQL_SUCCESS);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLEndTran(SQLSMALLINT HandleType, SQLHANDLE Handle, SQLSMALLINT CompletionType) {
    HandleBase* handle = AnyHandle(HandleType, Handle);
    if (!handle || HandleType == SQL_HANDLE_STMT) return SQL_INVALID_HANDLE;
    handle->diagnostics.clear();
    if (CompletionType != SQL_COMMIT && CompletionType != SQL_ROLLBACK)
        return Refuse(*handle, "HY012", "Invalid transaction operation code.");
    return Finish(*handle, SQL_SUCCESS);
}
