#pragma once
// The recordset the component builds itself (the database-name list), kept in memory with ADO's
// rules and errors. POSIX uses it as it is and keeps a query's statement beside it; Win32 keeps
// a recordset here until a client or a query needs the ADO object.
#include <cstddef>
#include <memory>
#include <vector>

#include "platform/DataAccessText.h"
#include "varnholt/DataAccess.h"

namespace varnholt::platform {

class MemoryRecordset : public Recordset {
public:
    void AppendField(const String& name, int32_t type, int32_t definedSize, int32_t attributes) override;
    void Open() override;
    // Open with a query is the platform's.
    using Recordset::Open;
    void AddNew(const std::vector<String>& fieldNames, const std::vector<Variant>& values) override;
    void AddNew(const std::vector<String>& fieldNames, std::vector<Variant>&& values) override;
    void UpdateBatch(int32_t affectRecords) override;
    void MoveFirst() override;
    void MoveNext() override;
    void Close() override;

    bool IsOpen() const override { return open_; }
    int32_t FieldCount() const override { return static_cast<int32_t>(fields_.size()); }
    String FieldName(int32_t index) const override { return Field(index).name; }
    int32_t FieldType(int32_t index) const override { return Field(index).type; }
    int32_t FieldDefinedSize(int32_t index) const override { return Field(index).definedSize; }
    Variant Value(int32_t index) const override;
    Variant Value(const String& fieldName) const override;
    int32_t RecordCount() const override;
    bool EOF_() const override;
    bool BOF_() const override;

protected:
    // Fields may be appended, and a query opened, only while closed.
    void RequireClosed() const {
        if (open_) RaiseObjectOpen();
    }
    int32_t FieldAttributes(int32_t index) const { return Field(index).attributes; }
    size_t RowCount() const { return rowCount_; }
    // The row-th row's FieldCount() values, in field order.
    const Variant* Row(size_t row) const;
    int64_t Position() const { return position_; }
    // Forgets fields, rows and state: the recordset lives on elsewhere now.
    void Discard();

private:
    struct FieldInfo {
        String name;
        String upperName;  // lookups ignore case; kept so that a lookup converts only its own name
        int32_t type, definedSize, attributes;
    };
    void RequireOpen() const;
    const FieldInfo& Field(int32_t index) const;
    size_t FieldIndex(const String& name) const;
    bool AtEnd() const;
    bool AtStart() const;
    const Variant* CurrentRow() const;
    size_t RowsPerChunk() const;
    template <class Values>
    void Add(const std::vector<String>& fieldNames, Values& values);

    std::vector<FieldInfo> fields_;
    std::vector<std::unique_ptr<Variant[]>> chunks_;  // rowCount_ rows of fields_.size() values
    size_t rowCount_ = 0;
    size_t slot_ = 0;                // rows used in the last chunk
    std::vector<String> lastNames_;  // the field names of the last row added, and their fields
    std::vector<size_t> lastIndices_;
    int64_t position_ = 0;
    bool open_ = false;
};

}  // namespace varnholt::platform
