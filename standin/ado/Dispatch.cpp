#include "Dispatch.h"

#include <new>

#include "store/EngineHome.h"
#include "store/Journal.h"

namespace adoserver {
namespace {

std::atomic<long> gLive[static_cast<size_t>(Kind::kCount)];
constexpr const wchar_t* kKindNames[] = {L"Connection", L"Recordset", L"Fields", L"Field"};

}  // namespace

long LiveObjects() {
    long total = 0;
    for (const auto& count : gLive) total += count.load();
    return total;
}

std::wstring LiveObjectsText() {
    std::wstring text;
    for (size_t i = 0; i < static_cast<size_t>(Kind::kCount); ++i) {
        if (gLive[i].load() == 0) continue;
        if (!text.empty()) text += L", ";
        text += kKindNames[i] + std::wstring(L" ") + std::to_wstring(gLive[i].load());
    }
    return text;
}

void CountObject(Kind kind, long delta) { gLive[static_cast<size_t>(kind)] += delta; }

void RaiseAdo(int number, const std::wstring& source, const wchar_t* description) {
    throw AdoError{static_cast<HRESULT>(0x800A0000u | static_cast<unsigned>(number)), source, description};
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int n =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring Wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::wstring FromBstr(BSTR text) { return text ? std::wstring(text, SysStringLen(text)) : std::wstring(); }

BSTR NewBstr(const std::wstring& text) {
    BSTR b = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (!b) throw std::bad_alloc();
    return b;
}

void Journal(const char* function, const std::vector<std::wstring>& args) {
    std::vector<std::string> texts;
    for (const std::wstring& arg : args) texts.push_back(Utf8(arg));
    std::vector<varnholt::standin::JournalArg> fields;
    for (const std::string& text : texts) fields.push_back(varnholt::standin::JournalArg::Text(text.c_str()));
    varnholt::standin::RecordCall(varnholt::standin::EngineHome(), "ADODB", function, fields);
}

Args::Args(const DISPPARAMS* params) : params_(params), count_(params->cArgs - params->cNamedArgs) {}

bool Args::Has(size_t i) const {
    if (i >= count_) return false;
    const VARIANT& v = At(i);
    return !(V_VT(&v) == VT_ERROR && V_ERROR(&v) == DISP_E_PARAMNOTFOUND);
}

const VARIANT& Args::At(size_t i) const {
    const VARIANT* v = &params_->rgvarg[params_->cArgs - 1 - i];
    while (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
    return *v;
}

std::wstring Args::Text(size_t i) const { return ToText(At(i)); }

long Args::Long(size_t i, long fallback) const { return Has(i) ? ToLong(At(i)) : fallback; }

void Args::AtMost(size_t n) const {
    if (count_ > n) throw DispatchFailure{DISP_E_BADPARAMCOUNT};
}

void Args::Require(size_t n) const {
    for (size_t i = 0; i < n; ++i)
        if (!Has(i)) throw DispatchFailure{DISP_E_PARAMNOTOPTIONAL};
}

const VARIANT& Args::PutValue() const {
    if (params_->cArgs < 1) throw DispatchFailure{DISP_E_BADPARAMCOUNT};
    const VARIANT* v = &params_->rgvarg[0];
    while (V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
    return *v;
}

std::wstring ToText(const VARIANT& value) {
    if (V_VT(&value) == VT_BSTR) return FromBstr(V_BSTR(&value));
    VariantValue text;
    if (FAILED(VariantChangeType(text.Get(), const_cast<VARIANT*>(&value), 0, VT_BSTR)))
        throw DispatchFailure{DISP_E_TYPEMISMATCH};
    return FromBstr(V_BSTR(text.Get()));
}

long ToLong(const VARIANT& value) {
    VariantValue number;
    if (FAILED(VariantChangeType(number.Get(), const_cast<VARIANT*>(&value), 0, VT_I4)))
        throw DispatchFailure{DISP_E_TYPEMISMATCH};
    return V_I4(number.Get());
}

VariantValue LongValue(long value) {
    VariantValue v;
    V_VT(v.Get()) = VT_I4;
    V_I4(v.Get()) = value;
    return v;
}

VariantValue BoolValue(bool value) {
    VariantValue v;
    V_VT(v.Get()) = VT_BOOL;
    V_BOOL(v.Get()) = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

VariantValue TextValue(const std::wstring& value) {
    VariantValue v;
    V_BSTR(v.Get()) = NewBstr(value);
    V_VT(v.Get()) = VT_BSTR;
    return v;
}

VariantValue DispatchValue(IDispatch* owned) {
    VariantValue v;
    V_DISPATCH(v.Get()) = owned;
    V_VT(v.Get()) = VT_DISPATCH;
    return v;
}

DispatchObject::DispatchObject(Kind kind, std::wstring source, const Member* members, size_t memberCount)
    : kind_(kind),
      source_(std::move(source)),
      members_(members),
      memberCount_(memberCount) {
    CountObject(kind_, 1);
}

DispatchObject::~DispatchObject() { CountObject(kind_, -1); }

void* DispatchObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) return static_cast<IDispatch*>(this);
    if (IsEqualIID(iid, IID_ISupportErrorInfo)) return static_cast<ISupportErrorInfo*>(this);
    return OwnInterface(iid);
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info) *info = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
}

HRESULT DispatchObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
        if (i == 0)
            for (size_t m = 0; m < memberCount_; ++m)
                if (CompareStringOrdinal(names[0], -1, members_[m].name, -1, TRUE) == CSTR_EQUAL)
                    ids[0] = members_[m].id;
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;  // named arguments are not taken
    }
    return hr;
}

HRESULT DispatchObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* excep, UINT* argErr) {
    if (argErr) *argErr = 0;
    if (!params) return E_INVALIDARG;
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    const UINT expectedNamed = put ? 1 : 0;
    if (params->cNamedArgs != expectedNamed || (put && params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
        return put ? DISP_E_PARAMNOTFOUND : DISP_E_NONAMEDARGS;
    const Member* member = nullptr;
    for (size_t m = 0; m < memberCount_; ++m)
        if (members_[m].id == id) member = &members_[m];
    if (!member || (put && !member->property)) return DISP_E_MEMBERNOTFOUND;
    try {
        VariantValue value;
        Call(id, put, Args(params), value);
        if (result) value.DetachTo(result);
        return S_OK;
    } catch (const DispatchFailure& failure) {
        return failure.code;
    } catch (const AdoError& error) {
        ComPtr<ICreateErrorInfo> create;
        if (SUCCEEDED(CreateErrorInfo(create.Put()))) {
            create->SetGUID(IID_IDispatch);
            create->SetSource(const_cast<LPOLESTR>(error.source.c_str()));
            create->SetDescription(const_cast<LPOLESTR>(error.description.c_str()));
            ComPtr<IErrorInfo> info;
            if (SUCCEEDED(create.QueryTo(IID_IErrorInfo, info))) SetErrorInfo(0, info.Get());
        }
        if (!excep) return error.code;
        *excep = EXCEPINFO{};
        excep->scode = error.code;
        excep->bstrSource = SysAllocString(error.source.c_str());
        excep->bstrDescription = SysAllocString(error.description.c_str());
        return DISP_E_EXCEPTION;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT DispatchObject::InterfaceSupportsErrorInfo(REFIID iid) {
    return IsEqualIID(iid, IID_IDispatch) ? S_OK : S_FALSE;
}

}  // namespace adoserver
