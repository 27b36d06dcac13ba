#include "component/Dispatch.h"

#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "component/Marshal.h"
#include "varnholt/Error.h"

namespace varnholt::component {
namespace {

class FuncDesc {
public:
    FuncDesc() = default;
    FuncDesc(ITypeInfo* info, FUNCDESC* desc) : info_(info), desc_(desc) {}
    FuncDesc(const FuncDesc&) = delete;
    FuncDesc& operator=(const FuncDesc&) = delete;
    FuncDesc(FuncDesc&& other) noexcept : info_(other.info_), desc_(std::exchange(other.desc_, nullptr)) {}
    FuncDesc& operator=(FuncDesc&& other) noexcept {
        std::swap(info_, other.info_);
        std::swap(desc_, other.desc_);
        return *this;
    }
    ~FuncDesc() {
        if (desc_) info_->ReleaseFuncDesc(desc_);
    }
    const FUNCDESC& operator*() const { return *desc_; }
    explicit operator bool() const { return desc_ != nullptr; }

private:
    ITypeInfo* info_ = nullptr;
    FUNCDESC* desc_ = nullptr;
};

// The function with memid id that flags may invoke. ITypeInfo2::GetFuncIndexOfMemId cannot be
// trusted on dual interfaces, so the functions are walked.
HRESULT FindFunction(ITypeInfo* info, DISPID id, WORD flags, FuncDesc& out) {
    TypeAttr attr(info);
    if (!attr) return E_UNEXPECTED;
    for (WORD i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* desc = nullptr;
        if (FAILED(info->GetFuncDesc(i, &desc))) continue;
        FuncDesc candidate(info, desc);
        if (desc->memid == id && (desc->invkind & flags) != 0) {
            out = std::move(candidate);
            return S_OK;
        }
    }
    return DISP_E_MEMBERNOTFOUND;
}

// The automation type a type description stands for: enumerations are Longs, aliases what
// they name, interfaces objects.
VARTYPE Resolve(ITypeInfo* info, const TYPEDESC& type) {
    if (type.vt != VT_USERDEFINED) return type.vt;
    ComPtr<ITypeInfo> referenced;
    if (FAILED(info->GetRefTypeInfo(type.hreftype, referenced.Put()))) return VT_EMPTY;
    TypeAttr attr(referenced.Get());
    if (!attr) return VT_EMPTY;
    switch (attr->typekind) {
        case TKIND_ENUM: return VT_I4;
        case TKIND_ALIAS: return Resolve(referenced.Get(), attr->tdescAlias);
        case TKIND_RECORD: return VT_RECORD;
        case TKIND_DISPATCH: return VT_DISPATCH;
        default: return VT_UNKNOWN;
    }
}

enum class Shape { Value, Reference, StringArray, VariantArray };

struct Parameter {
    Shape shape = Shape::Value;
    VARTYPE type = VT_VARIANT;  // Value: the declared type; Reference: the type pointed to
    bool optional = false;
    const VARIANT* defaultValue = nullptr;
};

Parameter Describe(ITypeInfo* info, const ELEMDESC& element) {
    Parameter p;
    const USHORT flags = element.paramdesc.wParamFlags;
    p.optional = (flags & PARAMFLAG_FOPT) != 0;
    if ((flags & PARAMFLAG_FHASDEFAULT) && element.paramdesc.pparamdescex)
        p.defaultValue = &element.paramdesc.pparamdescex->varDefaultValue;
    const TYPEDESC& type = element.tdesc;
    if (type.vt != VT_PTR) {
        p.type = Resolve(info, type);
        return p;
    }
    const TYPEDESC& pointee = *type.lptdesc;
    if (pointee.vt == VT_SAFEARRAY) {
        p.shape = pointee.lptdesc->vt == VT_BSTR ? Shape::StringArray : Shape::VariantArray;
        p.type = VT_ARRAY | pointee.lptdesc->vt;
        return p;
    }
    p.type = Resolve(info, pointee);
    // A pointer to an interface is the object passed by value.
    p.shape = (p.type == VT_DISPATCH || p.type == VT_UNKNOWN) ? Shape::Value : Shape::Reference;
    return p;
}

bool IsMissing(const VARIANT& v) { return V_VT(&v) == VT_ERROR && V_ERROR(&v) == DISP_E_PARAMNOTFOUND; }

// VARIANT references a caller may chain (a script's variable passed on by reference); longer
// chains, cycles among them, are refused rather than followed.
constexpr int kMaxReferenceChain = 4;

// What v finally refers to through VARIANT references; nullptr when a reference leads nowhere
// (a null pointer, or a chain too long).
const VARIANT* Dereference(const VARIANT* v) {
    for (int links = 0; v && V_VT(v) == (VT_BYREF | VT_VARIANT); ++links)
        v = links < kMaxReferenceChain ? V_VARIANTREF(v) : nullptr;
    if (v && (V_VT(v) & VT_BYREF) && !V_BYREF(v)) return nullptr;
    return v;
}

// Bytes of a scalar's value inside the VARIANT union (0 for types compared otherwise).
size_t ScalarSize(VARTYPE type) {
    switch (type) {
        case VT_I1:
        case VT_UI1: return 1;
        case VT_I2:
        case VT_UI2:
        case VT_BOOL: return 2;
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_R4:
        case VT_ERROR: return 4;
        case VT_I8:
        case VT_UI8:
        case VT_R8:
        case VT_CY:
        case VT_DATE: return 8;
        default: return 0;
    }
}

bool SameValue(const VARIANT& a, const VARIANT& b) {
    if (V_VT(&a) != V_VT(&b)) return false;
    if (V_VT(&a) == VT_BSTR) {
        const UINT n = SysStringLen(V_BSTR(&a));
        return n == SysStringLen(V_BSTR(&b)) &&
               (n == 0 || std::memcmp(V_BSTR(&a), V_BSTR(&b), n * sizeof(OLECHAR)) == 0);
    }
    const size_t size = ScalarSize(V_VT(&a));
    return size != 0 && std::memcmp(&V_UI1(&a), &V_UI1(&b), size) == 0;
}

// One argument as the member receives it, with whatever it points into.
struct Argument {
    VARIANT passed;                  // shallow: owned by the caller or by the fields below
    VariantValue owned;              // a converted or default value that passed refers to
    VariantValue before;             // owned as it was before the call, to detect a change
    VARIANT* writeBack = nullptr;    // the caller's variable that receives a changed owned
    SafeArrayPtr array;              // a converted array
    SAFEARRAY* arraySlot = nullptr;  // the array pointer a by-reference array refers to

    Argument() { VariantInit(&passed); }
    void PassOwned() { passed = *owned; }
    void PassOwnedByReference(VARTYPE type) {
        V_VT(&passed) = VT_BYREF | type;
        V_BYREF(&passed) =
            type == VT_VARIANT ? static_cast<void*>(owned.Get()) : static_cast<void*>(&V_UI1(owned.Get()));
    }
    void PassArray(VARTYPE element) {
        arraySlot = array.Get();
        V_VT(&passed) = VT_BYREF | VT_ARRAY | element;
        V_ARRAYREF(&passed) = &arraySlot;
    }
};

HRESULT Coerce(const VARIANT& source, VARTYPE type, VariantValue& out) {
    out.Clear();
    if (type == VT_VARIANT) return VariantCopyInd(out.Get(), const_cast<VARIANT*>(&source));
    VariantValue copy;
    HRESULT hr = VariantCopyInd(copy.Get(), const_cast<VARIANT*>(&source));
    if (SUCCEEDED(hr) && V_VT(copy.Get()) == VT_DECIMAL && !IsValidDecimal(V_DECIMAL(copy.Get())))
        return DISP_E_TYPEMISMATCH;
    if (SUCCEEDED(hr)) hr = VariantChangeType(out.Get(), copy.Get(), 0, type);
    if (hr == DISP_E_OVERFLOW || hr == E_OUTOFMEMORY) return hr;
    return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

// The value of an omitted argument: its declared default, else an empty value of its type.
HRESULT DefaultOf(const Parameter& p, VariantValue& out) {
    if (p.defaultValue) return Coerce(*p.defaultValue, p.type, out);
    if (!p.optional) return DISP_E_PARAMNOTOPTIONAL;
    out.Clear();
    if (p.type == VT_VARIANT) {
        V_VT(out.Get()) = VT_ERROR;
        V_ERROR(out.Get()) = DISP_E_PARAMNOTFOUND;
        return S_OK;
    }
    VARIANT empty;
    VariantInit(&empty);
    return Coerce(empty, p.type, out);
}

HRESULT PrepareArray(const Parameter& p, const VARIANT* supplied, Argument& arg) {
    const VARIANT* v = Dereference(supplied);
    const VARTYPE element = p.shape == Shape::StringArray ? VT_BSTR : VT_VARIANT;
    if (!v || V_VT(v) == VT_EMPTY) {
        arg.PassArray(element);
        return S_OK;
    }
    if (!(V_VT(v) & VT_ARRAY)) return DISP_E_TYPEMISMATCH;
    SAFEARRAY* source = (V_VT(v) & VT_BYREF) ? *V_ARRAYREF(v) : V_ARRAY(v);
    try {
        arg.array = p.shape == Shape::StringArray ? ToStringArray(FromStringArray(source))
                                                  : ToVariantArray(FromVariantArray(source));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const Error&) {
        return DISP_E_TYPEMISMATCH;
    }
    arg.PassArray(element);
    return S_OK;
}

HRESULT Prepare(const Parameter& p, const VARIANT* supplied, Argument& arg) {
    if (p.shape == Shape::StringArray || p.shape == Shape::VariantArray) return PrepareArray(p, supplied, arg);
    HRESULT hr = S_OK;
    if (p.shape == Shape::Value) {
        hr = supplied ? Coerce(*supplied, p.type, arg.owned) : DefaultOf(p, arg.owned);
        if (SUCCEEDED(hr)) arg.PassOwned();
        return hr;
    }
    if (!supplied) {
        hr = DefaultOf(p, arg.owned);
        if (SUCCEEDED(hr)) arg.PassOwnedByReference(p.type);
        return hr;
    }
    if (V_VT(supplied) == (VT_BYREF | p.type)) {
        arg.passed = *supplied;
        return S_OK;
    }
    if (V_VT(supplied) == (VT_BYREF | VT_VARIANT) && p.type != VT_VARIANT) {
        VARIANT* inner = const_cast<VARIANT*>(Dereference(supplied));
        if (!inner) return DISP_E_TYPEMISMATCH;
        if (V_VT(inner) == (VT_BYREF | p.type)) {
            // A variable that itself refers to one of the declared type: the member works on that.
            arg.passed = *inner;
            return S_OK;
        }
        if (V_VT(inner) == p.type) {
            // The member works on the caller's variable itself.
            V_VT(&arg.passed) = VT_BYREF | p.type;
            V_BYREF(&arg.passed) = &V_UI1(inner);
            return S_OK;
        }
        // Another type in the variable: the member works on a converted copy, and a value it
        // changes goes back into the variable (with the declared type).
        hr = Coerce(*inner, p.type, arg.owned);
        if (SUCCEEDED(hr) && !(V_VT(inner) & VT_BYREF)) {
            hr = VariantCopy(arg.before.Get(), arg.owned.Get());
            arg.writeBack = inner;
        }
        if (SUCCEEDED(hr)) arg.PassOwnedByReference(p.type);
        return hr;
    }
    hr = Coerce(*supplied, p.type, arg.owned);
    if (SUCCEEDED(hr)) arg.PassOwnedByReference(p.type);
    return hr;
}

void WriteBack(std::vector<Argument>& args) {
    for (Argument& arg : args) {
        if (!arg.writeBack || SameValue(*arg.owned, *arg.before)) continue;
        VariantValue fresh;
        if (FAILED(VariantCopy(fresh.Get(), arg.owned.Get()))) continue;
        VariantClear(arg.writeBack);
        fresh.DetachTo(arg.writeBack);
    }
}

HRESULT PackTrailing(const std::vector<VARIANT*>& trailing, Argument& arg) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(trailing.size()), 0};
    arg.array.Reset(SafeArrayCreate(VT_VARIANT, 1, &bound));
    if (!arg.array.Get()) return E_OUTOFMEMORY;
    if (!trailing.empty()) {
        SafeArrayData data(arg.array.Get());
        if (!data) return E_OUTOFMEMORY;
        VARIANT* elements = data.As<VARIANT>();
        for (size_t j = 0; j < trailing.size(); ++j) {
            const HRESULT hr = VariantCopyInd(&elements[j], trailing[j]);
            if (FAILED(hr)) return hr;
        }
    }
    arg.PassArray(VT_VARIANT);
    return S_OK;
}

void FillExcepInfo(HRESULT failure, EXCEPINFO* excepInfo) {
    if (!excepInfo) return;
    *excepInfo = EXCEPINFO{};
    excepInfo->scode = failure;
    ComPtr<IErrorInfo> info;
    if (GetErrorInfo(0, info.Put()) != S_OK || !info) return;
    info->GetSource(&excepInfo->bstrSource);
    info->GetDescription(&excepInfo->bstrDescription);
    info->GetHelpFile(&excepInfo->bstrHelpFile);
    info->GetHelpContext(&excepInfo->dwHelpContext);
}

// A record the member fills through its result pointer; destroyed unless handed on.
class RecordResult {
public:
    RecordResult(ComPtr<IRecordInfo> info) : info_(std::move(info)), data_(info_->RecordCreate()) {}
    RecordResult(const RecordResult&) = delete;
    RecordResult& operator=(const RecordResult&) = delete;
    ~RecordResult() {
        if (data_) info_->RecordDestroy(data_);
    }
    void* Data() const { return data_; }
    void DetachTo(VARIANT* out) {
        V_VT(out) = VT_RECORD;
        V_RECORDINFO(out) = ComPtr<IRecordInfo>(info_).Detach();
        V_RECORD(out) = std::exchange(data_, nullptr);
    }

private:
    ComPtr<IRecordInfo> info_;
    void* data_;
};

// Calls the member through its vtable slot with the prepared arguments.
HRESULT CallDirect(ITypeInfo* info, const FUNCDESC& f, void* instance, std::vector<Argument>& args, VARIANT* result,
                   EXCEPINFO* excepInfo) {
    std::vector<VARTYPE> types;
    std::vector<VARIANTARG*> values;
    for (Argument& arg : args) {
        types.push_back(V_VT(&arg.passed));
        values.push_back(&arg.passed);
    }
    VARIANT resultArgument;
    VariantInit(&resultArgument);
    VariantValue value;
    std::unique_ptr<RecordResult> record;
    const bool hasRetval = static_cast<size_t>(f.cParams) > args.size();
    if (hasRetval) {
        const TYPEDESC& pointee = *f.lprgelemdescParam[args.size()].tdesc.lptdesc;
        const VARTYPE type = Resolve(info, pointee);
        if (type == VT_RECORD) {
            ComPtr<ITypeInfo> recordType;
            ComPtr<IRecordInfo> recordInfo;
            HRESULT hr = info->GetRefTypeInfo(pointee.hreftype, recordType.Put());
            if (SUCCEEDED(hr)) hr = GetRecordInfoFromTypeInfo(recordType.Get(), recordInfo.Put());
            if (FAILED(hr)) return hr;
            record = std::make_unique<RecordResult>(std::move(recordInfo));
            if (!record->Data()) return E_OUTOFMEMORY;
            V_VT(&resultArgument) = VT_BYREF | VT_UI1;
            V_BYREF(&resultArgument) = record->Data();
        } else {
            // The member writes its result straight into value.
            if (type != VT_VARIANT) V_VT(value.Get()) = type;
            V_VT(&resultArgument) = VT_BYREF | type;
            V_BYREF(&resultArgument) =
                type == VT_VARIANT ? static_cast<void*>(value.Get()) : static_cast<void*>(&V_UI1(value.Get()));
        }
        types.push_back(V_VT(&resultArgument));
        values.push_back(&resultArgument);
    }
    VARIANT returned;
    VariantInit(&returned);
    const HRESULT hr = DispCallFunc(instance, f.oVft, f.callconv, VT_ERROR, static_cast<UINT>(values.size()),
                                    types.data(), values.data(), &returned);
    if (FAILED(hr)) return hr;
    const HRESULT memberResult = V_ERROR(&returned);
    if (FAILED(memberResult)) {
        FillExcepInfo(memberResult, excepInfo);
        return DISP_E_EXCEPTION;
    }
    if (result) {
        VariantInit(result);
        if (record)
            record->DetachTo(result);
        else if (hasRetval)
            value.DetachTo(result);
    }
    return S_OK;
}

}  // namespace

HRESULT LoadInterfaceTypeInfo(REFIID iid, ComPtr<ITypeInfo>& out) {
    ComPtr<ITypeInfo> info;
    HRESULT hr = LoadTypeInfo(iid, info);
    if (FAILED(hr)) return hr;
    TypeAttr attr(info.Get());
    if (!attr) return E_UNEXPECTED;
    if (attr->typekind != TKIND_DISPATCH) {
        out = info;
        return S_OK;
    }
    HREFTYPE vtableHalf = 0;
    hr = info->GetRefTypeOfImplType(static_cast<UINT>(-1), &vtableHalf);
    if (SUCCEEDED(hr)) hr = info->GetRefTypeInfo(vtableHalf, out.Put());
    return hr;
}

HRESULT InvokeMember(ITypeInfo* info, void* instance, DISPID id, WORD flags, DISPPARAMS* params, VARIANT* result,
                     EXCEPINFO* excepInfo, UINT* argErr) {
    // Whatever the caller's variable held is not ours to free; a failure leaves it Empty.
    if (result) VariantInit(result);
    if (!params || (params->cArgs > 0 && !params->rgvarg) || params->cNamedArgs > params->cArgs ||
        (params->cNamedArgs > 0 && !params->rgdispidNamedArgs))
        return E_INVALIDARG;
    FuncDesc found;
    HRESULT hr = FindFunction(info, id, flags, found);
    if (FAILED(hr)) return hr;
    const FUNCDESC& f = *found;

    const bool put = (f.invkind & (INVOKE_PROPERTYPUT | INVOKE_PROPERTYPUTREF)) != 0;
    const bool hasRetval =
        f.cParams > 0 && (f.lprgelemdescParam[f.cParams - 1].paramdesc.wParamFlags & PARAMFLAG_FRETVAL);
    const size_t inputs = static_cast<size_t>(f.cParams) - (hasRetval ? 1 : 0);
    const bool vararg = f.cParamsOpt == -1 && inputs > 0;
    const size_t fixed = vararg ? inputs - 1 : inputs;
    if (put && inputs == 0) return DISP_E_BADPARAMCOUNT;
    // The parameters a caller fills by position or by name: a property's new value is only
    // ever DISPID_PROPERTYPUT, a vararg list only positional.
    const size_t addressable = put ? inputs - 1 : fixed;

    // Where each parameter's value is in rgvarg. Named arguments come first there; the
    // positional ones follow in reverse, so the first parameter is the last entry.
    constexpr UINT kAbsent = ~0u;
    const UINT cArgs = params->cArgs, cNamed = params->cNamedArgs;
    std::vector<UINT> from(inputs, kAbsent);
    std::vector<VARIANT*> trailing;
    UINT firstPositional = cNamed;
    if (put && cNamed == 0) {
        // A put without names, as script hosts send it: the new value is rgvarg[0].
        if (cArgs == 0) return DISP_E_BADPARAMCOUNT;
        from[inputs - 1] = 0;
        firstPositional = 1;
    }
    const size_t positional = cArgs - firstPositional;
    if (!vararg && positional > addressable) return DISP_E_BADPARAMCOUNT;
    for (size_t k = 0; k < positional; ++k) {
        const UINT index = static_cast<UINT>(cArgs - 1 - k);
        if (k < addressable)
            from[k] = index;
        else
            trailing.push_back(&params->rgvarg[index]);
    }
    for (UINT j = 0; j < cNamed; ++j) {
        const DISPID name = params->rgdispidNamedArgs[j];
        size_t k = 0;
        if (name == DISPID_PROPERTYPUT && put)
            k = inputs - 1;
        else if (name >= 0 && static_cast<size_t>(name) < addressable)
            k = static_cast<size_t>(name);
        else
            k = inputs;
        // An unknown parameter, or one given twice (by name, or by name and position).
        if (k == inputs || from[k] != kAbsent) {
            if (argErr) *argErr = j;
            return DISP_E_PARAMNOTFOUND;
        }
        from[k] = j;
    }

    // The conversions below follow references: one to nothing is refused first.
    for (UINT i = 0; i < cArgs; ++i) {
        if (!Dereference(&params->rgvarg[i])) {
            if (argErr) *argErr = i;
            return DISP_E_TYPEMISMATCH;
        }
    }

    std::vector<Argument> args(inputs);
    for (size_t k = 0; k < fixed; ++k) {
        const Parameter p = Describe(info, f.lprgelemdescParam[k]);
        const VARIANT* given = from[k] != kAbsent ? &params->rgvarg[from[k]] : nullptr;
        if (given && IsMissing(*given)) given = nullptr;
        hr = Prepare(p, given, args[k]);
        if (FAILED(hr)) {
            // Too few positional arguments is a count error; with names, the one left out.
            if (hr == DISP_E_PARAMNOTOPTIONAL && from[k] == kAbsent && cNamed == 0) hr = DISP_E_BADPARAMCOUNT;
            if (argErr && from[k] != kAbsent) *argErr = from[k];
            return hr;
        }
    }
    if (vararg) {
        hr = PackTrailing(trailing, args[fixed]);
        if (FAILED(hr)) return hr;
    }

    bool direct = vararg;
    if (hasRetval) {
        const TYPEDESC& r = f.lprgelemdescParam[f.cParams - 1].tdesc;
        direct = direct || (r.vt == VT_PTR && Resolve(info, *r.lptdesc) == VT_RECORD);
    }

    if (direct) {
        hr = CallDirect(info, f, instance, args, result, excepInfo);
    } else {
        std::vector<VARIANT> reversed(inputs);
        for (size_t i = 0; i < inputs; ++i) reversed[i] = args[inputs - 1 - i].passed;
        DISPID putId = DISPID_PROPERTYPUT;
        DISPPARAMS prepared{reversed.data(), put ? &putId : nullptr, static_cast<UINT>(inputs), put ? 1u : 0u};
        UINT preparedErr = 0;
        hr = info->Invoke(instance, id, flags, &prepared, result, excepInfo, &preparedErr);
        if (FAILED(hr) && argErr && preparedErr < inputs) {
            const size_t k = inputs - 1 - preparedErr;
            if (from[k] != kAbsent) *argErr = from[k];
        }
    }
    // What the member wrote into its by-reference arguments stays written, even when it then
    // failed: the caller sees the same whether it passed its variable directly or not.
    WriteBack(args);
    // The system's Invoke hands back the member's unwritten result even when it failed.
    if (FAILED(hr) && result) VariantClear(result);
    return hr;
}

}  // namespace varnholt::component
