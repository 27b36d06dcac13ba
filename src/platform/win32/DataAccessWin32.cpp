// Data access on Windows: ADO, reached late-bound through IDispatch so that no ADO declaration
// is compiled in. A recordset the component builds itself (the database-name list) stays in
// memory and becomes an ADO recordset only when it is handed to a client.
#include <windows.h>
#include <oleauto.h>

#include <optional>
#include <vector>

#include "platform/DataAccessText.h"
#include "platform/MemoryRecordset.h"
#include "platform/win32/AutomationObject.h"
#include "platform/win32/AutomationValues.h"
#include "platform/win32/ComTypes.h"
#include "platform/win32/SystemMessage.h"
#include "varnholt/DataAccess.h"
#include "varnholt/Error.h"

namespace varnholt {
namespace {

using win32::Bstr;
using win32::ComPtr;
using win32::FromBstr;
using win32::NumberOfHResult;
using win32::SafeArrayData;
using win32::SafeArrayPtr;
using win32::ScalarFromVariant;
using win32::ScalarToVariant;
using win32::SystemMessage;
using win32::VariantValue;

constexpr int32_t kCannotCreateObject = 429;
using platform::kDataAccessSource;
constexpr int32_t adStateOpen = 1;
constexpr int32_t adUseClient = 3;
constexpr int32_t adLockBatchOptimistic = 4;

[[noreturn]] void RaiseFailure(HRESULT hr) {
    String description = u"Automation error";
    if (const String system = SystemMessage(static_cast<DWORD>(hr)); !system.empty()) description += u" " + system;
    Raise(NumberOfHResult(hr), kDataAccessSource, description);
}

VariantValue ToAutomation(const Variant& value) {
    VariantValue v;
    // Scalars only: the recordsets built here hold numbers and texts.
    if (!ScalarToVariant(value, v.Get())) RaiseRuntime(kTypeMismatch);
    return v;
}

VariantValue Text(const String& value) { return ToAutomation(Variant(value)); }
VariantValue Long(int32_t value) { return ToAutomation(Variant(value)); }

Variant FromAutomation(const VARIANT& value) {
    if (std::optional<Variant> scalar = ScalarFromVariant(value)) return *std::move(scalar);
    VariantValue text;
    if (FAILED(VariantChangeType(text.Get(), const_cast<VARIANT*>(&value), 0, VT_BSTR))) RaiseRuntime(kTypeMismatch);
    return Variant(FromBstr(V_BSTR(text.Get())));
}

// One late-bound call; args in the member's order. Failures raise the object's own error.
VariantValue Call(IDispatch* object, const wchar_t* name, WORD flags, std::vector<VariantValue> args = {}) {
    DISPID id = 0;
    LPOLESTR member = const_cast<LPOLESTR>(name);
    HRESULT hr = object->GetIDsOfNames(IID_NULL, &member, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) RaiseFailure(hr);
    std::vector<VARIANT> reversed;
    for (size_t i = args.size(); i-- > 0;) reversed.push_back(*args[i]);
    const bool put = (flags & DISPATCH_PROPERTYPUT) != 0;
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), put ? &putId : nullptr, static_cast<UINT>(reversed.size()), put ? 1u : 0u};
    VariantValue result;
    EXCEPINFO excep{};
    UINT argErr = 0;
    hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, put ? nullptr : result.Get(), &excep,
                        &argErr);
    if (hr == DISP_E_EXCEPTION) {
        if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
        Bstr source(excep.bstrSource), description(excep.bstrDescription), help(excep.bstrHelpFile);
        const HRESULT code = excep.scode ? excep.scode : static_cast<HRESULT>(0x800A0000u | excep.wCode);
        Raise(NumberOfHResult(code), FromBstr(source.Get()), FromBstr(description.Get()));
    }
    if (FAILED(hr)) RaiseFailure(hr);
    return result;
}

VariantValue Get(IDispatch* object, const wchar_t* name) {
    return Call(object, name, DISPATCH_PROPERTYGET | DISPATCH_METHOD);
}

ComPtr<IDispatch> DispatchOf(const VariantValue& value) {
    if (V_VT(value.Get()) != VT_DISPATCH || !V_DISPATCH(value.Get())) RaiseRuntime(kTypeMismatch);
    return ComPtr<IDispatch>::Share(V_DISPATCH(value.Get()));
}

ComPtr<IDispatch> CreateAdoObject(const wchar_t* progId) {
    CLSID clsid;
    ComPtr<IDispatch> object;
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid());
    if (FAILED(hr)) Raise(kCannotCreateObject, kRuntimeSource, u"ActiveX component can't create object");
    return object;
}

bool IsOpenObject(IDispatch* object) { return (FromAutomation(*Get(object, L"State")).ToLong() & adStateOpen) != 0; }

class AdoConnection final : public Connection, public platform::AutomationObject {
public:
    AdoConnection() : ado_(CreateAdoObject(L"ADODB.Connection")) {}
    // A text holding a NUL stays here, where Open refuses it: ADO would hand the driver only
    // the part before the NUL.
    void SetConnectionString(const String& text) override {
        if (text.find(u'\0') == String::npos) {
            std::vector<VariantValue> args;
            args.push_back(Text(text));
            Call(ado_.Get(), L"ConnectionString", DISPATCH_PROPERTYPUT, std::move(args));
        }
        refused_ = text.find(u'\0') == String::npos ? std::nullopt : std::optional<String>(text);
    }
    String ConnectionString() const override {
        return refused_ ? *refused_ : FromAutomation(*Get(ado_.Get(), L"ConnectionString")).ToText();
    }
    void Open(const String& connectionString, const String& userId, const String& password, int32_t options) override {
        // ADO hands the driver the text in the code page, where a character it lacks would turn
        // into another name.
        platform::RefuseUnsendableDriverText(connectionString.empty() ? ConnectionString() : connectionString,
                                             u"connection string");
        std::vector<VariantValue> args;
        args.push_back(Text(connectionString));
        args.push_back(Text(userId));
        args.push_back(Text(password));
        args.push_back(Long(options));
        Call(ado_.Get(), L"Open", DISPATCH_METHOD, std::move(args));
    }
    void Close() override {
        if (IsOpen()) Call(ado_.Get(), L"Close", DISPATCH_METHOD);
    }
    bool IsOpen() const override { return IsOpenObject(ado_.Get()); }
    IDispatch* NewDispatchReference() override { return ComPtr<IDispatch>(ado_).Detach(); }

private:
    ComPtr<IDispatch> ado_;
    std::optional<String> refused_;  // the last string set, when it held a NUL
};

// In memory until a client or a query needs the ADO object; from then on everything is ADO's.
class AdoRecordset final : public platform::MemoryRecordset, public platform::AutomationObject {
public:
    void AppendField(const String& name, int32_t type, int32_t definedSize, int32_t attributes) override {
        if (!ado_) return MemoryRecordset::AppendField(name, type, definedSize, attributes);
        std::vector<VariantValue> args;
        args.push_back(Text(name));
        args.push_back(Long(type));
        args.push_back(Long(definedSize));
        args.push_back(Long(attributes));
        Call(Fields().Get(), L"Append", DISPATCH_METHOD, std::move(args));
    }
    void Open() override {
        if (!ado_) return MemoryRecordset::Open();
        Call(ado_.Get(), L"Open", DISPATCH_METHOD);
    }
    void Open(const String& source, Connection& connection, int32_t cursorType, int32_t lockType,
              int32_t options) override {
        RequireClosed();
        platform::RefuseUnsendableDriverText(source, u"statement");
        auto* automation = dynamic_cast<platform::AutomationObject*>(&connection);
        if (!automation) RaiseRuntime(kTypeMismatch);
        Materialize();
        VariantValue active;
        V_DISPATCH(active.Get()) = automation->NewDispatchReference();
        V_VT(active.Get()) = VT_DISPATCH;
        std::vector<VariantValue> args;
        args.push_back(Text(source));
        args.push_back(std::move(active));
        args.push_back(Long(cursorType));
        args.push_back(Long(lockType));
        args.push_back(Long(options));
        Call(ado_.Get(), L"Open", DISPATCH_METHOD, std::move(args));
    }
    void AddNew(const std::vector<String>& fieldNames, const std::vector<Variant>& values) override {
        if (fieldNames.size() != values.size()) RaiseRuntime(kInvalidProcedureCall);
        if (!ado_) return MemoryRecordset::AddNew(fieldNames, values);
        AddNewToAdo(fieldNames, values.data());
    }
    void AddNew(const std::vector<String>& fieldNames, std::vector<Variant>&& values) override {
        if (fieldNames.size() != values.size()) RaiseRuntime(kInvalidProcedureCall);
        if (!ado_) return MemoryRecordset::AddNew(fieldNames, std::move(values));
        AddNewToAdo(fieldNames, values.data());
    }
    void UpdateBatch(int32_t affectRecords) override {
        if (!ado_) return MemoryRecordset::UpdateBatch(affectRecords);
        std::vector<VariantValue> args;
        args.push_back(Long(affectRecords));
        Call(ado_.Get(), L"UpdateBatch", DISPATCH_METHOD, std::move(args));
    }
    void MoveFirst() override {
        if (!ado_) return MemoryRecordset::MoveFirst();
        Call(ado_.Get(), L"MoveFirst", DISPATCH_METHOD);
    }
    void MoveNext() override {
        if (!ado_) return MemoryRecordset::MoveNext();
        Call(ado_.Get(), L"MoveNext", DISPATCH_METHOD);
    }
    void Close() override {
        if (!ado_) return MemoryRecordset::Close();
        Call(ado_.Get(), L"Close", DISPATCH_METHOD);
    }
    bool IsOpen() const override { return ado_ ? IsOpenObject(ado_.Get()) : MemoryRecordset::IsOpen(); }
    int32_t FieldCount() const override {
        if (!ado_) return MemoryRecordset::FieldCount();
        return FromAutomation(*Get(Fields().Get(), L"Count")).ToLong();
    }
    String FieldName(int32_t index) const override {
        if (!ado_) return MemoryRecordset::FieldName(index);
        return FromAutomation(*Get(AdoField(Long(index)).Get(), L"Name")).ToText();
    }
    int32_t FieldType(int32_t index) const override {
        if (!ado_) return MemoryRecordset::FieldType(index);
        return FromAutomation(*Get(AdoField(Long(index)).Get(), L"Type")).ToLong();
    }
    int32_t FieldDefinedSize(int32_t index) const override {
        if (!ado_) return MemoryRecordset::FieldDefinedSize(index);
        return FromAutomation(*Get(AdoField(Long(index)).Get(), L"DefinedSize")).ToLong();
    }
    Variant Value(int32_t index) const override {
        if (!ado_) return MemoryRecordset::Value(index);
        return FromAutomation(*Get(AdoField(Long(index)).Get(), L"Value"));
    }
    Variant Value(const String& fieldName) const override {
        if (!ado_) return MemoryRecordset::Value(fieldName);
        return FromAutomation(*Get(AdoField(Text(fieldName)).Get(), L"Value"));
    }
    int32_t RecordCount() const override {
        if (!ado_) return MemoryRecordset::RecordCount();
        return FromAutomation(*Get(ado_.Get(), L"RecordCount")).ToLong();
    }
    bool EOF_() const override {
        if (!ado_) return MemoryRecordset::EOF_();
        return FromAutomation(*Get(ado_.Get(), L"EOF")).ToBool();
    }
    bool BOF_() const override {
        if (!ado_) return MemoryRecordset::BOF_();
        return FromAutomation(*Get(ado_.Get(), L"BOF")).ToBool();
    }

    IDispatch* NewDispatchReference() override {
        Materialize();
        return ComPtr<IDispatch>(ado_).Detach();
    }

private:
    ComPtr<IDispatch> Fields() const { return DispatchOf(Get(ado_.Get(), L"Fields")); }
    ComPtr<IDispatch> AdoField(VariantValue key) const {
        std::vector<VariantValue> args;
        args.push_back(std::move(key));
        return DispatchOf(Call(Fields().Get(), L"Item", DISPATCH_PROPERTYGET | DISPATCH_METHOD, std::move(args)));
    }
    // One row: a value for each of fieldNames.
    void AddNewToAdo(const std::vector<String>& fieldNames, const Variant* values) {
        SAFEARRAYBOUND bound{static_cast<ULONG>(fieldNames.size()), 0};
        SafeArrayPtr names(SafeArrayCreate(VT_VARIANT, 1, &bound)), data(SafeArrayCreate(VT_VARIANT, 1, &bound));
        if (!names.Get() || !data.Get()) throw std::bad_alloc();
        {
            SafeArrayData n(names.Get()), d(data.Get());
            for (size_t i = 0; i < fieldNames.size(); ++i) {
                Text(fieldNames[i]).DetachTo(&n.As<VARIANT>()[i]);
                ToAutomation(values[i]).DetachTo(&d.As<VARIANT>()[i]);
            }
        }
        std::vector<VariantValue> args(2);
        V_ARRAY(args[0].Get()) = names.Detach();
        V_VT(args[0].Get()) = VT_ARRAY | VT_VARIANT;
        V_ARRAY(args[1].Get()) = data.Detach();
        V_VT(args[1].Get()) = VT_ARRAY | VT_VARIANT;
        Call(ado_.Get(), L"AddNew", DISPATCH_METHOD, std::move(args));
    }
    void SetAdoLong(const wchar_t* property, int32_t value) {
        std::vector<VariantValue> args;
        args.push_back(Long(value));
        Call(ado_.Get(), property, DISPATCH_PROPERTYPUT, std::move(args));
    }
    // Replays what was built in memory on a new ADO recordset; once ado_ is set, every member
    // above goes to ADO.
    void Materialize() {
        if (ado_) return;
        ado_ = CreateAdoObject(L"ADODB.Recordset");
        std::vector<String> names;
        for (int32_t i = 0; i < MemoryRecordset::FieldCount(); ++i) {
            names.push_back(MemoryRecordset::FieldName(i));
            AppendField(names.back(), MemoryRecordset::FieldType(i), MemoryRecordset::FieldDefinedSize(i),
                        FieldAttributes(i));
        }
        if (MemoryRecordset::IsOpen()) {
            // ADO's defaults (a server cursor, read-only) would refuse the rows added below.
            SetAdoLong(L"CursorLocation", adUseClient);
            SetAdoLong(L"LockType", adLockBatchOptimistic);
            Open();
            for (size_t row = 0; row < RowCount(); ++row) AddNewToAdo(names, Row(row));
            if (RowCount() > 0) {
                UpdateBatch(adAffectAll);
                MoveFirst();
                for (int64_t i = 0; i < Position(); ++i) MoveNext();
            }
        }
        Discard();
    }

    ComPtr<IDispatch> ado_;
};

}  // namespace

std::shared_ptr<Connection> CreateConnection() { return std::make_shared<AdoConnection>(); }
std::shared_ptr<Recordset> CreateRecordset() { return std::make_shared<AdoRecordset>(); }

}  // namespace varnholt
