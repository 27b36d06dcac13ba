#pragma once
// The data-access objects the component hands out or builds: an ODBC connection and a
// recordset. On Windows these are ADO's; elsewhere our own, with the same operations.
#include <cstdint>
#include <memory>
#include <vector>

#include "varnholt/String.h"
#include "varnholt/Variant.h"

namespace varnholt {

// ADO constants the component uses.
enum : int32_t {
    adInteger = 3,
    adVarChar = 200,
    adOpenForwardOnly = 0,
    adLockReadOnly = 1,
    adAffectAll = 3,
    adOptionUnspecified = -1,
    adFldUnspecified = -1,
};

class Connection : public Object {
public:
    virtual void SetConnectionString(const String& text) = 0;
    virtual String ConnectionString() const = 0;
    // Opens with the stored string when connectionString is empty. A failure raises an error
    // whose description is the driver's text.
    virtual void Open(const String& connectionString = u"", const String& userId = u"", const String& password = u"",
                      int32_t options = adOptionUnspecified) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
};

class Recordset : public Object {
public:
    // Building (before Open): one field per call.
    virtual void AppendField(const String& name, int32_t type, int32_t definedSize, int32_t attributes) = 0;
    // Open without a source: an open, connectionless recordset with the appended fields.
    virtual void Open() = 0;
    // Open with a query on an open connection.
    virtual void Open(const String& source, Connection& connection, int32_t cursorType, int32_t lockType,
                      int32_t options) = 0;
    virtual void AddNew(const std::vector<String>& fieldNames, const std::vector<Variant>& values) = 0;
    // The same, handing the values over: a recordset that keeps them itself takes them without
    // copying. values is left with unspecified contents.
    virtual void AddNew(const std::vector<String>& fieldNames, std::vector<Variant>&& values) {
        AddNew(fieldNames, static_cast<const std::vector<Variant>&>(values));
    }
    virtual void UpdateBatch(int32_t affectRecords) = 0;
    virtual void MoveFirst() = 0;
    virtual void MoveNext() = 0;
    virtual void Close() = 0;

    // Reading.
    virtual bool IsOpen() const = 0;
    virtual int32_t FieldCount() const = 0;
    virtual String FieldName(int32_t index) const = 0;
    virtual int32_t FieldType(int32_t index) const = 0;
    virtual int32_t FieldDefinedSize(int32_t index) const = 0;
    virtual Variant Value(int32_t index) const = 0;
    virtual Variant Value(const String& fieldName) const = 0;
    virtual int32_t RecordCount() const = 0;
    virtual bool EOF_() const = 0;
    virtual bool BOF_() const = 0;
};

// New, closed objects from the platform's data-access library.
std::shared_ptr<Connection> CreateConnection();
std::shared_ptr<Recordset> CreateRecordset();

}  // namespace varnholt
