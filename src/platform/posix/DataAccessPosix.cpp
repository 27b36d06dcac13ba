// Data access on POSIX: connections over unixODBC, and a recordset of our own that keeps its
// rows in memory (the only kind of recordset the component builds itself).
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <type_traits>

#include "platform/DataAccessText.h"
#include "varnholt/DataAccess.h"
#include "varnholt/Error.h"

namespace varnholt {
namespace {

using platform::kDataAccessSource;
using platform::kProviderError;

// ADO's numbers for the failures a client can provoke here.
constexpr int32_t kObjectClosed = 3704;
constexpr int32_t kObjectOpen = 3705;
constexpr int32_t kNoCurrentRecord = 3021;
constexpr int32_t kItemNotFound = 3265;

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
        if (IsOpen()) RaiseDataAccess(kObjectOpen, u"Operation is not allowed when the object is open.");
        connectionString_ = text;
    }
    String ConnectionString() const override { return connectionString_; }
    void Open(const String& connectionString, const String&, const String&, int32_t) override {
        if (IsOpen()) RaiseDataAccess(kObjectOpen, u"Operation is not allowed when the object is open.");
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
        if (!IsOpen()) RaiseDataAccess(kObjectClosed, u"Operation is not allowed when the object is closed.");
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

class MemoryRecordset final : public Recordset {
public:
    void AppendField(const String& name, int32_t type, int32_t definedSize, int32_t attributes) override {
        if (open_) RaiseDataAccess(kObjectOpen, u"Operation is not allowed when the object is open.");
        fields_.push_back({name, UCase(name), type, definedSize, attributes});
    }
    void Open() override {
        if (open_) RaiseDataAccess(kObjectOpen, u"Operation is not allowed when the object is open.");
        open_ = true;
        position_ = 0;
    }
    void Open(const String& source, Connection& connection, int32_t, int32_t, int32_t) override {
        if (open_) RaiseDataAccess(kObjectOpen, u"Operation is not allowed when the object is open.");
        auto* odbc = dynamic_cast<OdbcConnection*>(&connection);
        if (!odbc) RaiseRuntime(kTypeMismatch);
        statement_ = odbc->Execute(source);
        open_ = true;
        position_ = 0;
    }
    void AddNew(const std::vector<String>& fieldNames, const std::vector<Variant>& values) override {
        Add(fieldNames, values);
    }
    void AddNew(const std::vector<String>& fieldNames, std::vector<Variant>&& values) override {
        Add(fieldNames, values);
    }
    void UpdateBatch(int32_t) override { RequireOpen(); }
    void MoveFirst() override {
        RequireOpen();
        if (rowCount_ == 0)
            RaiseDataAccess(kNoCurrentRecord,
                            u"Either BOF or EOF is True, or the current record has been deleted. "
                            u"Requested operation requires a current record.");
        position_ = 0;
    }
    void MoveNext() override {
        RequireOpen();
        if (EOF_())
            RaiseDataAccess(kNoCurrentRecord,
                            u"Either BOF or EOF is True, or the current record has been deleted. "
                            u"Requested operation requires a current record.");
        ++position_;
    }
    void Close() override {
        RequireOpen();
        statement_.Reset();
        chunks_.clear();
        rowCount_ = 0;
        lastNames_.clear();  // fields may be appended before the next Open
        lastIndices_.clear();
        open_ = false;
    }
    bool IsOpen() const override { return open_; }
    int32_t FieldCount() const override { return static_cast<int32_t>(fields_.size()); }
    String FieldName(int32_t index) const override { return Field(index).name; }
    int32_t FieldType(int32_t index) const override { return Field(index).type; }
    int32_t FieldDefinedSize(int32_t index) const override { return Field(index).definedSize; }
    Variant Value(int32_t index) const override {
        Field(index);
        return CurrentRow()[static_cast<size_t>(index)];
    }
    Variant Value(const String& fieldName) const override { return CurrentRow()[FieldIndex(fieldName)]; }
    int32_t RecordCount() const override {
        RequireOpen();
        return static_cast<int32_t>(rowCount_);
    }
    bool EOF_() const override {
        RequireOpen();
        return rowCount_ == 0 || position_ >= static_cast<int64_t>(rowCount_);
    }
    bool BOF_() const override {
        RequireOpen();
        return rowCount_ == 0 || position_ < 0;
    }

private:
    struct FieldInfo {
        String name;
        String upperName;  // lookups ignore case; kept so that a lookup converts only its own name
        int32_t type, definedSize, attributes;
    };
    void RequireOpen() const {
        if (!open_) RaiseDataAccess(kObjectClosed, u"Operation is not allowed when the object is closed.");
    }
    const FieldInfo& Field(int32_t index) const {
        if (index < 0 || index >= FieldCount())
            RaiseDataAccess(kItemNotFound,
                            u"Item cannot be found in the collection corresponding to the requested name or ordinal.");
        return fields_[static_cast<size_t>(index)];
    }
    template <class Values>  // const (copied) or not (taken over)
    void Add(const std::vector<String>& fieldNames, Values& values) {
        RequireOpen();
        if (fieldNames.size() != values.size()) RaiseRuntime(kInvalidProcedureCall);
        // Rows are added by the same names one after another: those are looked up once.
        if (fieldNames != lastNames_) {
            std::vector<size_t> indices;
            indices.reserve(fieldNames.size());
            for (const String& name : fieldNames) indices.push_back(FieldIndex(name));
            lastNames_ = fieldNames;
            lastIndices_ = std::move(indices);
        }
        const size_t width = fields_.size(), perChunk = RowsPerChunk();
        if (chunks_.empty() || slot_ == perChunk) {
            chunks_.push_back(std::make_unique<Variant[]>(perChunk * width));
            slot_ = 0;
        }
        // Every name is found before a cell is written, and copying a Variant cannot fail: a
        // failed addition leaves no partial row.
        Variant* row = chunks_.back().get() + slot_ * width;
        for (size_t i = 0; i < fieldNames.size(); ++i) {
            Variant& cell = row[lastIndices_[i]];
            if constexpr (std::is_const_v<Values>)
                cell = values[i];
            else
                cell = std::move(values[i]);
        }
        ++slot_;
        ++rowCount_;
        position_ = static_cast<int64_t>(rowCount_) - 1;
    }
    // Rows lie in chunks of about kChunkCells values, so that adding one allocates nothing most
    // of the time and never moves the rows before it.
    static constexpr size_t kChunkCells = 2048;
    size_t RowsPerChunk() const { return std::max<size_t>(1, kChunkCells / std::max<size_t>(1, fields_.size())); }
    // UCase(name) == upper, without building UCase(name): every row added looks up each field.
    static bool SameName(StringView upper, StringView name) {
        if (upper.size() != name.size()) return false;
        for (size_t i = 0; i < name.size(); ++i) {
            char16_t c = name[i];
            if (c >= u'a' && c <= u'z')
                c = static_cast<char16_t>(c - 32);
            else if (c >= 0x80)
                c = UCase(name.substr(i, 1))[0];
            if (c != upper[i]) return false;
        }
        return true;
    }
    size_t FieldIndex(const String& name) const {
        for (size_t i = 0; i < fields_.size(); ++i)
            if (SameName(fields_[i].upperName, name)) return i;
        RaiseDataAccess(kItemNotFound,
                        u"Item cannot be found in the collection corresponding to the requested name or ordinal.");
    }
    const Variant* CurrentRow() const {
        if (EOF_() || BOF_())
            RaiseDataAccess(kNoCurrentRecord,
                            u"Either BOF or EOF is True, or the current record has been deleted. "
                            u"Requested operation requires a current record.");
        const size_t row = static_cast<size_t>(position_), perChunk = RowsPerChunk();
        return chunks_[row / perChunk].get() + (row % perChunk) * fields_.size();
    }

    std::vector<FieldInfo> fields_;
    std::vector<std::unique_ptr<Variant[]>> chunks_;  // rowCount_ rows of fields_.size() values
    size_t rowCount_ = 0;
    size_t slot_ = 0;                // rows used in the last chunk
    std::vector<String> lastNames_;  // the field names of the last row added, and their fields
    std::vector<size_t> lastIndices_;
    int64_t position_ = 0;
    bool open_ = false;
    OdbcHandle statement_;
};

}  // namespace

std::shared_ptr<Connection> CreateConnection() { return std::make_shared<OdbcConnection>(); }
std::shared_ptr<Recordset> CreateRecordset() { return std::make_shared<MemoryRecordset>(); }

}  // namespace varnholt
