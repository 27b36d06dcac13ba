#include <algorithm>

#include "Objects.h"
#include "odbc/DriverSession.h"

namespace adoserver {
namespace {

constexpr wchar_t kRecordsetSource[] = L"ADODB.Recordset";
constexpr wchar_t kFieldsSource[] = L"ADODB.Fields";
constexpr wchar_t kFieldSource[] = L"ADODB.Field";
// Failures of a fabricated recordset's own cursor.
constexpr wchar_t kCursorSource[] = L"Microsoft Cursor Engine";
constexpr HRESULT kMultipleStep = static_cast<HRESULT>(0x80040E21);

constexpr long adLockReadOnly = 1;
constexpr long adUseServer = 2;
constexpr long adOpenForwardOnly = 0;

constexpr wchar_t kNotUpdatable[] =
    L"Current Recordset does not support updating. This may be a limitation of the provider, or of the selected "
    L"locktype.";
constexpr wchar_t kNoConnection[] =
    L"The connection cannot be used to perform this operation. It is either closed or invalid in this context.";

struct FieldDef {
    std::wstring name;
    long type, definedSize, attributes;
};

// The value a field of this type holds for value; raises as ADO does when it cannot.
VariantValue Coerce(const FieldDef& field, const VARIANT& value) {
    VariantValue out;
    if (V_VT(&value) == VT_EMPTY || V_VT(&value) == VT_NULL) {
        V_VT(out.Get()) = VT_NULL;
        return out;
    }
    VARTYPE target = VT_EMPTY;
    bool bounded = false;
    switch (field.type) {
        case 2: target = VT_I2; break;     // adSmallInt
        case 3: target = VT_I4; break;     // adInteger
        case 5: target = VT_R8; break;     // adDouble
        case 11: target = VT_BOOL; break;  // adBoolean
        case 8:
        case 201:
        case 203: target = VT_BSTR; break;  // adBSTR, adLongVarChar, adLongVarWChar
        case 129:
        case 130:
        case 200:
        case 202:  // adChar, adWChar, adVarChar, adVarWChar
            target = VT_BSTR;
            bounded = true;
            break;
        default: break;
    }
    if (target == VT_EMPTY) {
        if (FAILED(VariantCopyInd(out.Get(), const_cast<VARIANT*>(&value)))) throw std::bad_alloc();
        return out;
    }
    if (FAILED(VariantChangeType(out.Get(), const_cast<VARIANT*>(&value), 0, target)))
        RaiseAdo(3421, kRecordsetSource, L"Application uses a value of the wrong type for the current operation.");
    if (bounded && field.definedSize > 0 && SysStringLen(V_BSTR(out.Get())) > static_cast<UINT>(field.definedSize))
        throw AdoError{kMultipleStep, kCursorSource,
                       L"Multiple-step operation generated errors. Check each status value."};
    return out;
}

std::wstring JournalText(const VARIANT& value) {
    if (V_VT(&value) == VT_NULL) return L"Null";
    if (V_VT(&value) == VT_EMPTY) return L"Empty";
    return ToText(value);
}

// The elements of a VARIANT array argument, or the one value given instead of an array.
std::vector<const VARIANT*> Elements(const VARIANT& value, std::vector<VariantValue>& keep) {
    if (!(V_VT(&value) & VT_ARRAY)) return {&value};
    SAFEARRAY* array = (V_VT(&value) & VT_BYREF) ? *V_ARRAYREF(&value) : V_ARRAY(&value);
    if (!array || SafeArrayGetDim(array) != 1) RaiseAdo(3001, kRecordsetSource, kWrongArguments);
    LONG lower = 0, upper = -1;
    SafeArrayGetLBound(array, 1, &lower);
    SafeArrayGetUBound(array, 1, &upper);
    for (LONG i = lower; i <= upper; ++i) {
        VariantValue element;
        if (FAILED(SafeArrayGetElement(array, &i, element.Get()))) RaiseAdo(3001, kRecordsetSource, kWrongArguments);
        keep.push_back(std::move(element));
    }
    std::vector<const VARIANT*> out;
    for (const VariantValue& v : keep) out.push_back(v.Get());
    return out;
}

class Recordset;

class Fields final : public DispatchObject {
public:
    explicit Fields(Recordset* owner);
    ~Fields() override;

protected:
    void Call(DISPID id, bool put, const Args& args, VariantValue& result) override;

private:
    Recordset* owner_;  // referenced
};

class Field final : public DispatchObject {
public:
    Field(Recordset* owner, size_t index);
    ~Field() override;

protected:
    void Call(DISPID id, bool put, const Args& args, VariantValue& result) override;

private:
    Recordset* owner_;  // referenced
    size_t index_;
};

class Recordset final : public DispatchObject {
public:
    Recordset();
    // An open query result: no fields, no rows.
    void OpenAsQueryResult() { open_ = true; }

    // For Fields and Field.
    size_t FieldCount() const { return fields_.size(); }
    const FieldDef& Def(size_t i) const { return fields_[i]; }
    size_t FieldIndex(const VARIANT& key, const wchar_t* source) const;
    void Append(const Args& args);
    const VARIANT& CurrentValue(size_t field, const wchar_t* source) const {
        RequireCurrent(source);
        return *rows_[static_cast<size_t>(position_)][field];
    }
    void SetCurrentValue(size_t field, const VARIANT& value, const wchar_t* source) {
        RequireUpdatable(source);
        RequireCurrent(source);
        VariantValue coerced = Coerce(fields_[field], value);
        rows_[static_cast<size_t>(position_)][field] = std::move(coerced);
    }
    IDispatch* NewField(size_t index) { return new Field(this, index); }

protected:
    void Call(DISPID id, bool put, const Args& args, VariantValue& result) override;

private:
    enum : DISPID {
        kDefault = DISPID_VALUE,
        kFields = 1,
        kState,
        kOpen,
        kClose,
        kAddNew,
        kUpdate,
        kUpdateBatch,
        kMoveFirst,
        kMoveNext,
        kMovePrevious,
        kMoveLast,
        kEOF,
        kBOF,
        kRecordCount,
        kCursorLocation,
        kLockType,
        kCursorType
    };
    static constexpr Member kMembers[] = {
        {L"", kDefault, true},  // rs(key): reached by its DISPID, never by a name
        {L"Fields", kFields, true},
        {L"State", kState, true},
        {L"Open", kOpen, false},
        {L"Close", kClose, false},
        {L"AddNew", kAddNew, false},
        {L"Update", kUpdate, false},
        {L"UpdateBatch", kUpdateBatch, false},
        {L"MoveFirst", kMoveFirst, false},
        {L"MoveNext", kMoveNext, false},
        {L"MovePrevious", kMovePrevious, false},
        {L"MoveLast", kMoveLast, false},
        {L"EOF", kEOF, true},
        {L"BOF", kBOF, true},
        {L"RecordCount", kRecordCount, true},
        {L"CursorLocation", kCursorLocation, true},
        {L"LockType", kLockType, true},
        {L"CursorType", kCursorType, true},
    };

    void RequireOpen(const wchar_t* source = kRecordsetSource) const {
        if (!open_) RaiseAdo(3704, source, kNotAllowedClosed);
    }
    void RequireClosed() const {
        if (open_) RaiseAdo(3705, kRecordsetSource, kNotAllowedOpen);
    }
    void RequireUpdatable(const wchar_t* source = kRecordsetSource) const {
        RequireOpen(source);
        if (lockType_ == adLockReadOnly) RaiseAdo(3251, source, kNotUpdatable);
    }
    bool AtEOF() const { return rows_.empty() || position_ >= static_cast<long>(rows_.size()); }
    bool AtBOF() const { return rows_.empty() || position_ < 0; }
    void RequireCurrent(const wchar_t* source) const {
        RequireOpen(source);
        if (AtEOF() || AtBOF()) RaiseAdo(3021, source, kNoCurrentRecord);
    }
    void Open(const Args& args);
    void SetValues(const Args& args, std::vector<VariantValue>& row, std::vector<std::wstring>& journal);
    void Move(DISPID id);
    void Setting(const char* name, long& slot, bool put, const Args& args, VariantValue& result) {
        if (!put) {
            result = LongValue(slot);
            return;
        }
        RequireClosed();
        slot = ToLong(args.PutValue());
        Journal(name, {std::to_wstring(slot)});
    }

    std::vector<FieldDef> fields_;
    std::vector<std::vector<VariantValue>> rows_;
    long position_ = 0;
    bool open_ = false;
    long lockType_ = adLockReadOnly;
    long cursorLocation_ = adUseServer;
    long cursorType_ = adOpenForwardOnly;
};

Recordset::Recordset() : DispatchObject(Kind::kRecordset, kRecordsetSource, kMembers, std::size(kMembers)) {}

size_t Recordset::FieldIndex(const VARIANT& key, const wchar_t* source) const {
    if (V_VT(&key) == VT_BSTR) {
        for (size_t i = 0; i < fields_.size(); ++i)
            if (CompareStringOrdinal(fields_[i].name.c_str(), -1, V_BSTR(&key) ? V_BSTR(&key) : L"", -1, TRUE) ==
                CSTR_EQUAL)
                return i;
    } else {
        VariantValue number;
        if (SUCCEEDED(VariantChangeType(number.Get(), const_cast<VARIANT*>(&key), 0, VT_I4)) &&
            V_I4(number.Get()) >= 0 && static_cast<size_t>(V_I4(number.Get())) < fields_.size())
            return static_cast<size_t>(V_I4(number.Get()));
    }
    RaiseAdo(3265, source, kItemNotFound);
}

void Recordset::Append(const Args& args) {
    args.AtMost(5);
    args.Require(2);
    FieldDef field{args.Text(0), args.Long(1, 0), args.Long(2, 0), args.Long(3, -1)};
    if (open_) RaiseAdo(3219, kFieldsSource, L"Operation is not allowed in this context.");
    for (const FieldDef& f : fields_)
        if (CompareStringOrdinal(f.name.c_str(), -1, field.name.c_str(), -1, TRUE) == CSTR_EQUAL)
            RaiseAdo(3367, kFieldsSource, L"Object is already in collection. Cannot append.");
    Journal("Fields.Append", {field.name, std::to_wstring(field.type), std::to_wstring(field.definedSize),
                              std::to_wstring(field.attributes)});
    fields_.push_back(std::move(field));
}

void Recordset::Call(DISPID id, bool put, const Args& args, VariantValue& result) {
    switch (id) {
        case kDefault:
        case kFields:
            args.AtMost(1);
            // rs(key) and rs.Fields(key) are rs.Fields.Item(key): ADO's default members chain.
            if (args.Has(0))
                result =
                    DispatchValue(NewField(FieldIndex(args.At(0), id == kDefault ? kRecordsetSource : kFieldsSource)));
            else
                result = DispatchValue(new Fields(this));
            return;
        case kState: result = LongValue(open_ ? 1 : 0); return;
        case kOpen: Open(args); return;
        case kClose:
            args.AtMost(0);
            RequireOpen();
            Journal("Recordset.Close");
            rows_.clear();
            position_ = 0;
            open_ = false;
            return;
        case kAddNew: {
            args.AtMost(2);
            RequireUpdatable();
            std::vector<VariantValue> row(fields_.size());
            for (VariantValue& cell : row) V_VT(cell.Get()) = VT_NULL;
            std::vector<std::wstring> journal;
            SetValues(args, row, journal);
            Journal("Recordset.AddNew", journal);
            rows_.push_back(std::move(row));
            position_ = static_cast<long>(rows_.size()) - 1;
            return;
        }
        case kUpdate: {
            args.AtMost(2);
            RequireUpdatable();
            std::vector<std::wstring> journal;
            if (args.Has(0)) {
                RequireCurrent(kRecordsetSource);
                std::vector<VariantValue> row;
                for (const VariantValue& cell : rows_[static_cast<size_t>(position_)]) {
                    VariantValue copy;
                    if (FAILED(VariantCopy(copy.Get(), const_cast<VARIANT*>(cell.Get())))) throw std::bad_alloc();
                    row.push_back(std::move(copy));
                }
                SetValues(args, row, journal);
                rows_[static_cast<size_t>(position_)] = std::move(row);
            }
            Journal("Recordset.Update", journal);
            return;
        }
        case kUpdateBatch: {
            args.AtMost(1);
            const long affect = args.Long(0, 3);
            RequireUpdatable();
            Journal("Recordset.UpdateBatch", {std::to_wstring(affect)});
            return;
        }
        case kMoveFirst:
        case kMoveNext:
        case kMovePrevious:
        case kMoveLast:
            args.AtMost(0);
            Move(id);
            return;
        case kEOF:
            RequireOpen();
            result = BoolValue(AtEOF());
            return;
        case kBOF:
            RequireOpen();
            result = BoolValue(AtBOF());
            return;
        case kRecordCount:
            RequireOpen();
            result = LongValue(static_cast<long>(rows_.size()));
            return;
        case kCursorLocation: Setting("Recordset.CursorLocation", cursorLocation_, put, args, result); return;
        case kLockType: Setting("Recordset.LockType", lockType_, put, args, result); return;
        case kCursorType: Setting("Recordset.CursorType", cursorType_, put, args, result); return;
        default: throw DispatchFailure{DISP_E_MEMBERNOTFOUND};
    }
}

void Recordset::Open(const Args& args) {
    args.AtMost(5);
    RequireClosed();
    const std::wstring source = args.Has(0) ? args.Text(0) : std::wstring();
    if (const long cursor = args.Long(2, -1); cursor != -1) cursorType_ = cursor;
    if (const long lock = args.Long(3, -1); lock != -1) lockType_ = lock;
    args.Long(4, -1);
    if (source.empty()) {
        // Fabricated: the appended fields, no rows.
        if (fields_.empty()) RaiseAdo(3709, kRecordsetSource, kNoConnection);
        Journal("Recordset.Open");
        open_ = true;
        position_ = 0;
        return;
    }
    if (!args.Has(1)) RaiseAdo(3709, kRecordsetSource, kNoConnection);
    const VARIANT& active = args.At(1);
    void* found = nullptr;
    if (V_VT(&active) != VT_DISPATCH || !V_DISPATCH(&active) ||
        FAILED(V_DISPATCH(&active)->QueryInterface(kConnectionIid, &found)))
        RaiseAdo(3001, kRecordsetSource, kWrongArguments);
    ComPtr<IDispatch> held = ComPtr<IDispatch>::Adopt(static_cast<IDispatch*>(found));
    const Connection* connection = static_cast<const Connection*>(held.Get());
    if (!connection->IsOpen()) RaiseAdo(3709, kRecordsetSource, kNoConnection);
    Journal("Recordset.Open", {source});
    if (auto failure = varnholt::standin::DriverExecute(connection->DataFolder(), DriverText(source)).failure)
        RaiseProvider(failure->message);
    fields_.clear();  // the stand-in's query results have no columns
    open_ = true;
    position_ = 0;
}

// AddNew's and Update's (FieldList, Values): one name or ordinal and one value, or two arrays.
void Recordset::SetValues(const Args& args, std::vector<VariantValue>& row, std::vector<std::wstring>& journal) {
    if (!args.Has(0)) return;
    if (!args.Has(1)) RaiseAdo(3001, kRecordsetSource, kWrongArguments);
    std::vector<VariantValue> keepNames, keepValues;
    const std::vector<const VARIANT*> names = Elements(args.At(0), keepNames);
    const std::vector<const VARIANT*> values = Elements(args.At(1), keepValues);
    if (names.size() != values.size()) RaiseAdo(3001, kRecordsetSource, kWrongArguments);
    std::wstring namesText, valuesText;
    for (size_t i = 0; i < names.size(); ++i) {
        const size_t field = FieldIndex(*names[i], kRecordsetSource);
        row[field] = Coerce(fields_[field], *values[i]);
        namesText += (i ? L"," : L"") + fields_[field].name;
        valuesText += (i ? L"," : L"") + JournalText(*row[field]);
    }
    journal = {namesText, valuesText};
}

void Recordset::Move(DISPID id) {
    RequireOpen();
    switch (id) {
        case kMoveFirst:
            if (rows_.empty()) RaiseAdo(3021, kRecordsetSource, kNoCurrentRecord);
            position_ = 0;
            Journal("Recordset.MoveFirst");
            return;
        case kMoveLast:
            if (rows_.empty()) RaiseAdo(3021, kRecordsetSource, kNoCurrentRecord);
            position_ = static_cast<long>(rows_.size()) - 1;
            Journal("Recordset.MoveLast");
            return;
        case kMoveNext:
            if (AtEOF()) RaiseAdo(3021, kRecordsetSource, kNoCurrentRecord);
            ++position_;
            Journal("Recordset.MoveNext");
            return;
        default:
            if (AtBOF()) RaiseAdo(3021, kRecordsetSource, kNoCurrentRecord);
            --position_;
            Journal("Recordset.MovePrevious");
            return;
    }
}

// ---- Fields -------------------------------------------------------------------
enum : DISPID { kItem = DISPID_VALUE, kCount = 1, kAppend };
constexpr Member kFieldsMembers[] = {{L"Item", kItem, true}, {L"Count", kCount, true}, {L"Append", kAppend, false}};

Fields::Fields(Recordset* owner)
    : DispatchObject(Kind::kFields, kFieldsSource, kFieldsMembers, std::size(kFieldsMembers)),
      owner_(owner) {
    owner_->AddRef();
}

Fields::~Fields() { owner_->Release(); }

void Fields::Call(DISPID id, bool, const Args& args, VariantValue& result) {
    switch (id) {
        case kItem:
            args.AtMost(1);
            args.Require(1);
            result = DispatchValue(owner_->NewField(owner_->FieldIndex(args.At(0), kFieldsSource)));
            return;
        case kCount: result = LongValue(static_cast<long>(owner_->FieldCount())); return;
        case kAppend: owner_->Append(args); return;
        default: throw DispatchFailure{DISP_E_MEMBERNOTFOUND};
    }
}

// ---- Field --------------------------------------------------------------------
enum : DISPID { kValue = DISPID_VALUE, kName = 1, kType, kDefinedSize, kAttributes };
constexpr Member kFieldMembers[] = {{L"Value", kValue, true},
                                    {L"Name", kName, true},
                                    {L"Type", kType, true},
                                    {L"DefinedSize", kDefinedSize, true},
                                    {L"Attributes", kAttributes, true}};

Field::Field(Recordset* owner, size_t index)
    : DispatchObject(Kind::kField, kFieldSource, kFieldMembers, std::size(kFieldMembers)),
      owner_(owner),
      index_(index) {
    owner_->AddRef();
}

Field::~Field() { owner_->Release(); }

void Field::Call(DISPID id, bool put, const Args& args, VariantValue& result) {
    // A field of a recordset closed and refilled since may be gone.
    if (index_ >= owner_->FieldCount()) RaiseAdo(3265, kFieldSource, kItemNotFound);
    const FieldDef& def = owner_->Def(index_);
    if (put && id != kValue) throw DispatchFailure{DISP_E_MEMBERNOTFOUND};
    args.AtMost(put ? 1 : 0);
    switch (id) {
        case kValue:
            if (put) {
                owner_->SetCurrentValue(index_, args.PutValue(), kFieldSource);
                return;
            }
            if (FAILED(VariantCopy(result.Get(), const_cast<VARIANT*>(&owner_->CurrentValue(index_, kFieldSource)))))
                throw std::bad_alloc();
            return;
        case kName: result = TextValue(def.name); return;
        case kType: result = LongValue(def.type); return;
        case kDefinedSize: result = LongValue(def.definedSize); return;
        case kAttributes: result = LongValue(def.attributes); return;
        default: throw DispatchFailure{DISP_E_MEMBERNOTFOUND};
    }
}

}  // namespace

IDispatch* NewRecordset() { return new Recordset(); }

IDispatch* NewQueryResult() {
    auto* recordset = new Recordset();
    recordset->OpenAsQueryResult();
    return recordset;
}

}  // namespace adoserver
