// The stand-in engine's ODBC driver, loaded by unixODBC for "Pervasive ODBC Client Interface".
// It connects to a database name of the stand-in store (ServerName, dbq=@NAME), checks that the
// name's dictionary is in place, and answers "Select Top 1 * From T" from the data folder's
// files. Texts are UTF-8 on both sides.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "odbc/DriverSession.h"
#include "platform/drivetable/DriveTable.h"

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace varnholt::standin;

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
    bool hasResult = false;
};

struct Connection : HandleBase {
    Connection() : HandleBase(Kind::kConnection) {}
    bool connected = false;
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

SQLRETURN Fail(HandleBase& handle, const DriverFailure& failure) {
    return Fail(handle, failure.state, failure.native, failure.message);
}

std::string TextArgument(const SQLCHAR* text, SQLINTEGER length) {
    if (!text) return {};
    const auto* chars = reinterpret_cast<const char*>(text);
    return length == SQL_NTS ? std::string(chars) : std::string(chars, static_cast<size_t>(std::max(length, 0)));
}

// Copies text into an ODBC output buffer; true when it had to be cut.
bool CopyText(const std::string& text, SQLCHAR* buffer, SQLLEN capacity, SQLSMALLINT* length) {
    if (length) *length = static_cast<SQLSMALLINT>(std::min<size_t>(text.size(), INT16_MAX));
    if (!buffer || capacity <= 0) return !text.empty();
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
    connection.dataFolder = std::move(outcome.dataFolder);
    return Finish(connection, SQL_SUCCESS);
}

SQLRETURN Execute(Statement& statement, const std::string& sql) {
    statement.hasResult = false;
    if (const std::optional<DriverFailure> failure = DriverExecute(statement.connection->dataFolder, sql))
        return Fail(statement, *failure);
    statement.hasResult = true;
    return Finish(statement, SQL_SUCCESS);
}

}  // namespace

STANDIN_EXPORT SQLRETURN SQL_API SQLAllocHandle(SQLSMALLINT HandleType, SQLHANDLE InputHandle,
                                                SQLHANDLE* OutputHandle) {
    if (!OutputHandle) return SQL_ERROR;
    *OutputHandle = SQL_NULL_HANDLE;
    switch (HandleType) {
        case SQL_HANDLE_ENV:
            *OutputHandle = new Environment();
            return SQL_SUCCESS;
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

STANDIN_EXPORT SQLRETURN SQL_API SQLDriverConnect(SQLHDBC hdbc, SQLHWND, SQLCHAR* szConnStrIn,
                                                  SQLSMALLINT cbConnStrIn, SQLCHAR* szConnStrOut,
                                                  SQLSMALLINT cbConnStrOutMax, SQLSMALLINT* pcbConnStrOut,
                                                  SQLUSMALLINT) {
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

STANDIN_EXPORT SQLRETURN SQL_API SQLExecDirect(SQLHSTMT StatementHandle, SQLCHAR* StatementText,
                                               SQLINTEGER TextLength) {
    auto* statement = Cast<Statement>(StatementHandle, Kind::kStatement);
    if (!statement) return SQL_INVALID_HANDLE;
    statement->diagnostics.clear();
    if (!StatementText) return Fail(*statement, "HY009", 0, std::string(kPrefix) + "Invalid use of null pointer.");
    if (statement->hasResult) return Fail(*statement, "24000", 0, std::string(kPrefix) + "Invalid cursor state.");
    return Execute(*statement, TextArgument(StatementText, TextLength));
}

// The result of a successful query has no columns the driver knows of, and no rows.
STANDIN_EXPORT SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT StatementHandle, SQLSMALLINT* ColumnCount) {
    auto* statement = Cast<Statement>(StatementHandle, Kind::kStatement);
    if (!statement) return SQL_INVALID_HANDLE;
    statement->diagnostics.clear();
    if (ColumnCount) *ColumnCount = 0;
    return Finish(*statement, SQL_SUCCESS);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLFetch(SQLHSTMT StatementHandle) {
    auto* statement = Cast<Statement>(StatementHandle, Kind::kStatement);
    if (!statement) return SQL_INVALID_HANDLE;
    statement->diagnostics.clear();
    if (!statement->hasResult) return Fail(*statement, "24000", 0, std::string(kPrefix) + "Invalid cursor state.");
    return Finish(*statement, SQL_NO_DATA);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLCloseCursor(SQLHSTMT StatementHandle) {
    auto* statement = Cast<Statement>(StatementHandle, Kind::kStatement);
    if (!statement) return SQL_INVALID_HANDLE;
    statement->diagnostics.clear();
    if (!statement->hasResult) return Fail(*statement, "24000", 0, std::string(kPrefix) + "Invalid cursor state.");
    statement->hasResult = false;
    return Finish(*statement, SQL_SUCCESS);
}

STANDIN_EXPORT SQLRETURN SQL_API SQLFreeStmt(SQLHSTMT StatementHandle, SQLUSMALLINT Option) {
    auto* statement = Cast<Statement>(StatementHandle, Kind::kStatement);
    if (!statement) return SQL_INVALID_HANDLE;
    if (Option == SQL_DROP) return SQLFreeHandle(SQL_HANDLE_STMT, StatementHandle);
    statement->diagnostics.clear();
    if (Option == SQL_CLOSE) statement->hasResult = false;
    return Finish(*statement, SQL_SUCCESS);
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
