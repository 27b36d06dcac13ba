#include "platform/win32/AutomationValues.h"

#include <limits>
#include <new>

namespace varnholt::win32 {

String FromBstr(BSTR text) {
    return text ? String(reinterpret_cast<const char16_t*>(text), SysStringLen(text)) : String();
}

Bstr ToBstr(StringView text) {
    if (text.size() > std::numeric_limits<UINT>::max() / 2) throw std::bad_alloc();
    Bstr result(SysAllocStringLen(reinterpret_cast<const wchar_t*>(text.data()), static_cast<UINT>(text.size())));
    if (!result.Get()) throw std::bad_alloc();
    return result;
}

bool ScalarToVariant(const Variant& value, VARIANT* out) {
    VariantValue result;
    switch (value.GetType()) {
        case Variant::Type::Empty: break;
        case Variant::Type::Null: V_VT(result.Get()) = VT_NULL; break;
        case Variant::Type::Integer:
            V_VT(result.Get()) = VT_I2;
            V_I2(result.Get()) = value.ToInteger();
            break;
        case Variant::Type::Long:
            V_VT(result.Get()) = VT_I4;
            V_I4(result.Get()) = value.ToLong();
            break;
        case Variant::Type::Double:
            V_VT(result.Get()) = VT_R8;
            V_R8(result.Get()) = value.ToDouble();
            break;
        case Variant::Type::Boolean:
            V_VT(result.Get()) = VT_BOOL;
            V_BOOL(result.Get()) = ToVariantBool(value.ToBool());
            break;
        case Variant::Type::String:
            V_BSTR(result.Get()) = ToBstr(value.ToText()).Detach();
            V_VT(result.Get()) = VT_BSTR;
            break;
        default: return false;
    }
    result.DetachTo(out);
    return true;
}

std::optional<Variant> ScalarFromVariant(const VARIANT& value) {
    switch (V_VT(&value)) {
        case VT_EMPTY: return Variant();
        case VT_NULL: return Variant::Null();
        case VT_I2: return Variant(static_cast<int16_t>(V_I2(&value)));
        case VT_I4: return Variant(static_cast<int32_t>(V_I4(&value)));
        case VT_R8: return Variant(V_R8(&value));
        case VT_BOOL: return Variant(FromVariantBool(V_BOOL(&value)));
        case VT_BSTR: return Variant(FromBstr(V_BSTR(&value)));
        default: return std::nullopt;
    }
}

HRESULT HResultOfNumber(int32_t number) {
    if (number >= 1 && number <= 0xFFFF) return static_cast<HRESULT>(0x800A0000u | static_cast<uint32_t>(number));
    if (number < 0) return static_cast<HRESULT>(number);
    return E_FAIL;
}

int32_t NumberOfHResult(HRESULT hr) {
    const auto code = static_cast<uint32_t>(hr);
    return (code & 0xFFFF0000u) == 0x800A0000u ? static_cast<int32_t>(code & 0xFFFFu) : static_cast<int32_t>(hr);
}

}  // namespace varnholt::win32
