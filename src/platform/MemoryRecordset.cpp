#include "platform/MemoryRecordset.h"

#include <algorithm>
#include <type_traits>

#include "varnholt/Error.h"

namespace varnholt::platform {

namespace {

// Rows lie in chunks of about kChunkCells values, so that adding one allocates nothing most of
// the time and never moves the rows before it.
constexpr size_t kChunkCells = 2048;

// UCase(name) == upper, without building UCase(name): every row added looks up each field.
bool SameName(StringView upper, StringView name) {
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

}  // namespace

void MemoryRecordset::AppendField(const String& name, int32_t type, int32_t definedSize, int32_t attributes) {
    RequireClosed();
    fields_.push_back({name, UCase(name), type, definedSize, attributes});
}

void MemoryRecordset::Open() {
    RequireClosed();
    open_ = true;
    position_ = 0;
}

void MemoryRecordset::AddNew(const std::vector<String>& fieldNames, const std::vector<Variant>& values) {
    Add(fieldNames, values);
}

void MemoryRecordset::AddNew(const std::vector<String>& fieldNames, std::vector<Variant>&& values) {
    Add(fieldNames, values);
}

void MemoryRecordset::UpdateBatch(int32_t) { RequireOpen(); }

void MemoryRecordset::MoveFirst() {
    RequireOpen();
    if (rowCount_ == 0) RaiseNoCurrentRecord();
    position_ = 0;
}

void MemoryRecordset::MoveNext() {
    if (AtEnd()) RaiseNoCurrentRecord();
    ++position_;
}

void MemoryRecordset::Close() {
    RequireOpen();
    chunks_.clear();
    rowCount_ = 0;
    lastNames_.clear();  // fields may be appended before the next Open
    lastIndices_.clear();
    open_ = false;
}

Variant MemoryRecordset::Value(int32_t index) const {
    Field(index);
    return CurrentRow()[static_cast<size_t>(index)];
}

Variant MemoryRecordset::Value(const String& fieldName) const { return CurrentRow()[FieldIndex(fieldName)]; }

int32_t MemoryRecordset::RecordCount() const {
    RequireOpen();
    return static_cast<int32_t>(rowCount_);
}

bool MemoryRecordset::EOF_() const { return AtEnd(); }

bool MemoryRecordset::BOF_() const { return AtStart(); }

const Variant* MemoryRecordset::Row(size_t row) const {
    const size_t perChunk = RowsPerChunk();
    return chunks_[row / perChunk].get() + (row % perChunk) * fields_.size();
}

void MemoryRecordset::Discard() {
    fields_.clear();
    chunks_.clear();
    rowCount_ = slot_ = 0;
    lastNames_.clear();
    lastIndices_.clear();
    position_ = 0;
    open_ = false;
}

void MemoryRecordset::RequireOpen() const {
    if (!open_) RaiseObjectClosed();
}

const MemoryRecordset::FieldInfo& MemoryRecordset::Field(int32_t index) const {
    if (index < 0 || index >= static_cast<int32_t>(fields_.size())) RaiseItemNotFound();
    return fields_[static_cast<size_t>(index)];
}

size_t MemoryRecordset::FieldIndex(const String& name) const {
    for (size_t i = 0; i < fields_.size(); ++i)
        if (SameName(fields_[i].upperName, name)) return i;
    RaiseItemNotFound();
}

bool MemoryRecordset::AtEnd() const {
    RequireOpen();
    return rowCount_ == 0 || position_ >= static_cast<int64_t>(rowCount_);
}

bool MemoryRecordset::AtStart() const {
    RequireOpen();
    return rowCount_ == 0 || position_ < 0;
}

const Variant* MemoryRecordset::CurrentRow() const {
    if (AtEnd() || AtStart()) RaiseNoCurrentRecord();
    return Row(static_cast<size_t>(position_));
}

size_t MemoryRecordset::RowsPerChunk() const {
    return std::max<size_t>(1, kChunkCells / std::max<size_t>(1, fields_.size()));
}

template <class Values>  // const (copied) or not (taken over)
void MemoryRecordset::Add(const std::vector<String>& fieldNames, Values& values) {
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
    // Every name is found before a cell is written, and copying a Variant cannot fail: a failed
    // addition leaves no partial row.
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

}  // namespace varnholt::platform
