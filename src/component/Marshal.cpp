#include "component/Marshal.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <vector>

#include "component/ErrorRecord.h"
#include "platform/win32/AutomationObject.h"
#include "varnholt/Error.h"

namespace varnholt::component {
namespace {

// An object a client handed in: kept as its dispatch interface and handed back as it came.
class ClientObject final : public Object, public platform::AutomationObject {
public:
    explicit ClientObject(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}
    IDispatch* NewDispatchReference() override { return ComPtr<IDispatch>(dispatch_).Detach(); }

private:
    ComPtr<IDispatch> dispatch_;
};

Variant FromObject(IUnknown* unknown) {
    if (!unknown) return Variant(std::shared_ptr<Object>());
    ComPtr<IDispatch> dispatch;
    if (FAILED(ComPtr<IUnknown>::Share(unknown).QueryTo(IID_IDispatch, dispatch))) RaiseRuntime(kTypeMismatch);
    return Variant(std::shared_ptr<Object>(std::make_shared<ClientObject>(std::move(dispatch))));
}

constexpr LCID kModelLocale = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

// The system's conversion of a value to text in locale, with the flags of a script's CStr
// (Booleans as words).
String SystemText(const VARIANT& value, LCID locale) {
    VariantValue text;
    if (FAILED(VariantChangeTypeEx(text.Get(), const_cast<VARIANT*>(&value), locale, VARIANT_LOCALBOOL, VT_BSTR)))
        RaiseRuntime(kTypeMismatch);
    return FromBstr(V_BSTR(text.Get()));
}

// A number of a kind the model lacks, by its text: a Double converted on the way would show
// digits a Single never had, and lose those of a large Currency, Decimal or 64-bit integer.
// It stays a number when a Double shows as it does.
Variant AsNumber(const VARIANT& value) {
    const String text = SystemText(value, kModelLocale);
    Bstr parsed = ToBstr(text);
    double number = 0;
    if (SUCCEEDED(VarR8FromStr(parsed.Get(), kModelLocale, 0, &number)) && std::isfinite(number) &&
        DoubleToText(number) == text)
        return Variant(number);
    return Variant(text);
}

Variant FromWide(int64_t value) {
    if (value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max())
        return Variant(static_cast<int32_t>(value));
    return Variant(static_cast<double>(value));
}

std::vector<SAFEARRAYBOUND> BoundsOf(const std::vector<Bound>& bounds) {
    std::vector<SAFEARRAYBOUND> result;
    result.reserve(bounds.size());
    for (const Bound& b : bounds) {
        const int64_t count = b.Count();
        if (count > std::numeric_limits<ULONG>::max()) RaiseRuntime(kOverflow);
        result.push_back(SAFEARRAYBOUND{static_cast<ULONG>(count), b.lower});
    }
    return result;
}

std::vector<Bound> BoundsOf(const SAFEARRAY* array) {
    std::vector<Bound> result;
    SAFEARRAY* a = const_cast<SAFEARRAY*>(array);
    const UINT dims = SafeArrayGetDim(a);
    for (UINT d = 1; d <= dims; ++d) {
        LONG lower = 0, upper = -1;
        if (FAILED(SafeArrayGetLBound(a, d, &lower)) || FAILED(SafeArrayGetUBound(a, d, &upper)))
            RaiseRuntime(kSubscriptOutOfRange);
        result.push_back(Bound{lower, upper});
    }
    return result;
}

template <class T>
SafeArrayPtr CreateArray(VARTYPE type, const SafeArray<T>& array) {
    if (!array.IsAllocated()) return SafeArrayPtr();
    std::vector<SAFEARRAYBOUND> bounds = BoundsOf(array.Bounds());
    SafeArrayPtr result(SafeArrayCreate(type, static_cast<UINT>(bounds.size()), bounds.data()));
    if (!result.Get()) throw std::bad_alloc();
    return result;
}

// Calls convert(element) for each element of an array of any automation element type, in
// storage order, with the element as a VARIANT.
template <class Convert>
void ForEachElement(const SAFEARRAY* array, size_t count, Convert convert) {
    SAFEARRAY* a = const_cast<SAFEARRAY*>(array);
    VARTYPE type = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(a, &type))) RaiseRuntime(kTypeMismatch);
    if (count == 0) return;
    SafeArrayData data(a);
    if (!data) RaiseRuntime(kTypeMismatch);
    const UINT size = SafeArrayGetElemsize(a);
    auto* bytes = data.As<unsigned char>();
    for (size_t i = 0; i < count; ++i) {
        void* element = bytes + i * size;
        if (type == VT_VARIANT) {
            convert(*static_cast<const VARIANT*>(element));
            continue;
        }
        // A borrowed view of the element: nothing in it is freed here.
        VARIANT view;
        VariantInit(&view);
        if (type == VT_DECIMAL) {
            memcpy(&V_DECIMAL(&view), element, sizeof(DECIMAL));  // DECIMAL overlays the tag
        } else {
            if (type == VT_RECORD || size > sizeof(LONGLONG)) RaiseRuntime(kTypeMismatch);
            memcpy(&V_UI1(&view), element, size);
        }
        V_VT(&view) = type;
        convert(view);
    }
}

}  // namespace

void StoreBstr(StringView text, BSTR* target) {
    Bstr fresh = ToBstr(text);
    SysFreeString(*target);
    *target = fresh.Detach();
}

bool IsValidDecimal(const DECIMAL& value) { return value.scale <= 28 && (value.sign & ~DECIMAL_NEG) == 0; }

Variant FromVariant(const VARIANT& value) {
    const VARTYPE type = V_VT(&value);
    // A reference to nothing is no value; nor is a reference to a reference, which could lead
    // round in a circle (the system's copy refuses those as well).
    if ((type & VT_BYREF) && !V_BYREF(&value)) RaiseRuntime(kTypeMismatch);
    if (type == (VT_BYREF | VT_VARIANT)) {
        const VARIANT& inner = *V_VARIANTREF(&value);
        if (V_VT(&inner) == (VT_BYREF | VT_VARIANT)) RaiseRuntime(kTypeMismatch);
        return FromVariant(inner);
    }
    if (type & VT_BYREF) {
        VariantValue copy;
        if (FAILED(VariantCopyInd(copy.Get(), const_cast<VARIANT*>(&value)))) RaiseRuntime(kTypeMismatch);
        return FromVariant(*copy);
    }
    if (type & VT_ARRAY) return Variant(FromVariantArray(V_ARRAY(&value)));
    if (std::optional<Variant> scalar = ScalarFromVariant(value)) return *std::move(scalar);
    switch (type) {
        case VT_INT: return Variant(static_cast<int32_t>(V_INT(&value)));
        case VT_I1: return Variant(static_cast<int16_t>(V_I1(&value)));
        case VT_UI1: return Variant(static_cast<int16_t>(V_UI1(&value)));
        case VT_UI2: return Variant(static_cast<int32_t>(V_UI2(&value)));
        case VT_UI4: return FromWide(V_UI4(&value));
        case VT_UINT: return FromWide(V_UINT(&value));
        case VT_DECIMAL:
            if (!IsValidDecimal(V_DECIMAL(&value))) RaiseRuntime(kTypeMismatch);
            return AsNumber(value);
        case VT_I8:
        case VT_UI8:
        case VT_R4:
        case VT_CY: return AsNumber(value);
        case VT_DATE: return Variant(SystemText(value, LOCALE_USER_DEFAULT));
        case VT_DISPATCH: return FromObject(V_DISPATCH(&value));
        case VT_UNKNOWN: return FromObject(V_UNKNOWN(&value));
        case VT_ERROR:
            if (V_ERROR(&value) == DISP_E_PARAMNOTFOUND) return Variant();
            break;
        default: break;
    }
    RaiseRuntime(kTypeMismatch);
}

// The kinds the system turns into text itself, as a script's CStr does.
bool IsSystemScalar(VARTYPE type) {
    switch (type) {
        case VT_I1:
        case VT_UI1:
        case VT_I2:
        case VT_UI2:
        case VT_I4:
        case VT_UI4:
        case VT_INT:
        case VT_UINT:
        case VT_I8:
        case VT_UI8:
        case VT_R4:
        case VT_R8:
        case VT_CY:
        case VT_DECIMAL:
        case VT_DATE:
        case VT_BOOL: return true;
        default: return false;
    }
}

String TextOf(const VARIANT& value) {
    const VARTYPE type = V_VT(&value);
    // References are refused and followed as FromVariant does.
    if (!IsSystemScalar(type & ~VT_BYREF) || ((type & VT_BYREF) && !V_BYREF(&value)))
        return FromVariant(value).ToText();
    VariantValue copy;
    if (FAILED(VariantCopyInd(copy.Get(), const_cast<VARIANT*>(&value)))) RaiseRuntime(kTypeMismatch);
    if (V_VT(copy.Get()) == VT_DECIMAL && !IsValidDecimal(V_DECIMAL(copy.Get()))) RaiseRuntime(kTypeMismatch);
    return SystemText(*copy, LOCALE_USER_DEFAULT);
}

void ToVariant(const Variant& value, VARIANT* out) {
    if (ScalarToVariant(value, out)) return;
    VariantValue result;
    if (value.GetType() == Variant::Type::Array) {
        V_ARRAY(result.Get()) = ToVariantArray(value.AsArray()).Detach();
        V_VT(result.Get()) = VT_ARRAY | VT_VARIANT;
    } else {
        V_DISPATCH(result.Get()) = NewDispatchReference(value.AsObject());
        V_VT(result.Get()) = VT_DISPATCH;
    }
    result.DetachTo(out);
}

IDispatch* NewDispatchReference(const std::shared_ptr<Object>& object) {
    if (!object) return nullptr;
    auto* automation = dynamic_cast<platform::AutomationObject*>(object.get());
    if (!automation) RaiseRuntime(kTypeMismatch);
    return automation->NewDispatchReference();
}

SafeArray<String> FromStringArray(const SAFEARRAY* array) {
    if (!array || SafeArrayGetDim(const_cast<SAFEARRAY*>(array)) == 0) return {};
    SafeArray<String> result(BoundsOf(array));
    std::vector<String>& elements = result.Elements();
    size_t i = 0;
    ForEachElement(array, elements.size(), [&](const VARIANT& element) {
        elements[i++] = V_VT(&element) == VT_BSTR ? FromBstr(V_BSTR(&element)) : TextOf(element);
    });
    return result;
}

SafeArrayPtr ToStringArray(const SafeArray<String>& array) {
    SafeArrayPtr result = CreateArray(VT_BSTR, array);
    if (!result.Get() || array.ElementCount() == 0) return result;
    SafeArrayData data(result.Get());
    if (!data) throw std::bad_alloc();
    BSTR* slots = data.As<BSTR>();
    const std::vector<String>& elements = array.Elements();
    for (size_t i = 0; i < elements.size(); ++i) slots[i] = ToBstr(elements[i]).Detach();
    return result;
}

SafeArray<Variant> FromVariantArray(const SAFEARRAY* array) {
    if (!array || SafeArrayGetDim(const_cast<SAFEARRAY*>(array)) == 0) return {};
    SafeArray<Variant> result(BoundsOf(array));
    std::vector<Variant>& elements = result.Elements();
    size_t i = 0;
    ForEachElement(array, elements.size(), [&](const VARIANT& element) { elements[i++] = FromVariant(element); });
    return result;
}

SafeArrayPtr ToVariantArray(const SafeArray<Variant>& array) {
    SafeArrayPtr result = CreateArray(VT_VARIANT, array);
    if (!result.Get() || array.ElementCount() == 0) return result;
    SafeArrayData data(result.Get());
    if (!data) throw std::bad_alloc();
    VARIANT* slots = data.As<VARIANT>();
    const std::vector<Variant>& elements = array.Elements();
    for (size_t i = 0; i < elements.size(); ++i) ToVariant(elements[i], &slots[i]);
    return result;
}

void Return(BSTR* out, StringView value) {
    BSTR& slot = Out(out);
    slot = nullptr;
    slot = ToBstr(value).Detach();
}

void Return(LONG* out, int32_t value) { Out(out) = value; }

void Return(VARIANT_BOOL* out, bool value) { Out(out) = ToVariantBool(value); }

void Return(VARIANT* out, const Variant& value) {
    VARIANT& slot = Out(out);
    VariantInit(&slot);
    ToVariant(value, &slot);
}

void ToRecord(const varnholt::udtLoginCreds& creds, ::udtLoginCreds* out) {
    Bstr user = ToBstr(creds.User);
    Bstr pswd = ToBstr(creds.Pswd);
    out->User = user.Detach();
    out->Pswd = pswd.Detach();
    out->Cancelled = ToVariantBool(creds.Cancelled);
}

varnholt::udtLoginCreds FromRecord(const ::udtLoginCreds& record) {
    return varnholt::udtLoginCreds{FromBstr(record.User), FromBstr(record.Pswd), FromVariantBool(record.Cancelled)};
}

void ClearRecord(::udtLoginCreds* record) {
    SysFreeString(record->User);
    SysFreeString(record->Pswd);
    record->User = nullptr;
    record->Pswd = nullptr;
    record->Cancelled = VARIANT_FALSE;
}

}  // namespace varnholt::component
