// Data access on POSIX: connections over unixODBC, and the in-memory recordset (the only kind of
// recordset the component builds itself).
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <memory>
#include <mutex>

#include "platform/DataAccessText.h"
#include "platform/MemoryRecordset.h"
#include "varnholt/DataAccess.h"
#include "varnholt/Error.h"

namespace varnholt {
namespace {

using platform::kDataAccessSource;
using platform::kProviderError;

[[noreturn]] void RaiseDataAccess(int32_t number, const char16_t* description) {
    Raise(number, kDataAccessSource, description);
}

class OdbcHandle {
public:
    OdbcHandle() = default;
    OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
        if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle_))) handle_ = SQL_NULL_HANDLE;
    }
    ~OdbcHandle() { Reset(); }
    OdbcHandle(OdbcHandle&& other) noexcept : type_(other.type_), handle_(other.handle_) {
        other.handle_ = SQL_NULL_HANDLE;
    }
    OdbcHandle& operator=(OdbcHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            type_ = other.type_;
            handle_ = other.handle_;
            other.handle_ = SQL_NULL_HANDLE;
        }
        return *this;
    }
    void Reset() {
        if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
        handle_ = SQL_NULL_HANDLE;
    }
    SQLHANDLE Get() const { return handle_; }
    SQLSMALLINT Type() const { return type_; }
    explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }

private:
    SQLSMALLINT type_ = 0;
    SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// One ODBC environment for the process: the driver manager reads its configuration once.
SQLHENV Environment() {
    static OdbcHandle env = [] {
        OdbcHandle h(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
        if (h) SQLSetEnvAttr(h.Get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        return h;
    }();
    if (!env) RaiseDataAccess(kProviderError, u"The ODBC driver manager could not be initialised.");
    return env.Get();
}

// The driver's own text for the latest failure on handle.
[[noreturn]] void RaiseDiagnostic(const OdbcHandle& handle) {
    SQLCHAR state[6] = {};
    SQLCHAR message[SQL_MAX_MESSAGE_LENGTH * 4] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    String text = u"The ODBC driver reported a failure without a message.";
    if (SQL_SUCCEEDED(SQLGetDiagRec(handle.Type(), handle.Get(), 1, state, &native, message, sizeof message, &length)))
        text = FromUtf8(reinterpret_cast<const char*>(message));
    Raise(kProviderError, kDataAccessSource, text);
}

class OdbcConnection final : public Connection {
public:
    ~OdbcConnection() override { Close(); }
    void SetConnectionString(const String& text) override {
        if (IsOpen()) platform::RaiseObjectOpen();
        connectionString_ = text;
    }
    String ConnectionString() const override { return connectionString_; }
    void Open(const String& connectionString, const String&, const String&, int32_t) override {
        if (IsOpen()) platform::RaiseObjectOpen();
        if (!connectionString.empty()) connectionString_ = connectionString;
        OdbcHandle dbc(SQL_HANDLE_DBC, Environment());
        if (!dbc) RaiseDataAccess(kProviderError, u"The ODBC driver manager could not allocate a connection.");
        // Dropped text could be the database name, leaving a connection to something else.
        platform::RefuseUnsendableDriverText(connectionString_, u"connection string");
        std::string text = ToUtf8(connectionString_);
        const SQLRETURN rc = SQLDriverConnect(dbc.Get(), nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS,
                                              nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        if (!SQL_SUCCEEDED(rc)) RaiseDiagnostic(dbc);
        dbc_ = std::move(dbc);
    }
    void Close() override {
        if (!dbc_) return;
        SQLDisconnect(dbc_.Get());
        dbc_.Reset();
    }
    bool IsOpen() const override { return static_cast<bool>(dbc_); }

    // A statement run on this connection; raises the driver's text on failure.
    OdbcHandle Execute(const String& sql) {
        if (!IsOpen()) platform::RaiseObjectClosed();
        OdbcHandle stmt(SQL_HANDLE_STMT, dbc_.Get());
        if (!stmt) RaiseDiagnostic(dbc_);
        platform::RefuseUnsendableDriverText(sql, u"statement");
        std::string text = ToUtf8(sql);
        if (!SQL_SUCCEEDED(SQLExecDirect(stmt.Get(), reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS)))
            RaiseDiagnostic(stmt);
        return stmt;
    }

private:
    String connectionString_;
    OdbcHandle dbc_;
};

// The in-memory recordset, with the statement of the query it was opened with.
class OdbcRecordset final : public platform::MemoryRecordset {
public:
    using MemoryRecordset::Open;
    void Open(const String& source, Connection& connection, int32_t, int32_t, int32_t) override {
        RequireClosed();
        auto* odbc = dynamic_cast<OdbcConnection*>(&connection);
        if (!odbc) RaiseRuntime(kTypeMismatch);
        statement_ = odbc->Execute(source);
        MemoryRecordset::Open();
    }
    void Close() override {
        MemoryRecordset::Close();
        statement_.Reset();
    }

private:
    OdbcHandle statement_;
};

}  // namespace

std::shared_ptr<Connection> CreateConnection() { return std::make_shared<OdbcConnection>(); }
std::shared_ptr<Recordset> CreateRecordset() { return std::make_shared<OdbcRecordset>(); }

}  // namespace varnholt
