#pragma once
// The core's values in automation's own forms, one conversion for the component's marshalling
// and for the data-access layer: BSTR text, scalar VARIANTs, and run-time error numbers as
// HRESULTs.
#include <optional>

#include "platform/win32/ComTypes.h"
#include "varnholt/String.h"
#include "varnholt/Variant.h"

namespace varnholt::win32 {

inline VARIANT_BOOL ToVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }
// Any non-zero value is True, as the run time treats Booleans.
inline bool FromVariantBool(VARIANT_BOOL value) { return value != VARIANT_FALSE; }

// A null BSTR is the empty string.
String FromBstr(BSTR text);
// std::bad_alloc when the system has no memory for the string.
Bstr ToBstr(StringView text);

// Empty, Null, Integer, Long, Double, Boolean and String as VT_EMPTY, VT_NULL, VT_I2, VT_I4,
// VT_R8, VT_BOOL and VT_BSTR into out, which must hold nothing that needs freeing. False, with
// out untouched, for an array or an object.
bool ScalarToVariant(const Variant& value, VARIANT* out);
// Those seven VARTYPEs back; nullopt for any other.
std::optional<Variant> ScalarFromVariant(const VARIANT& value);

// Numbers 1 to 65535 travel as 0x800A0000 | n, which automation clients decode back to n;
// other negative numbers are HRESULTs already. Zero and numbers above 65535 would read as
// success, so they travel as E_FAIL.
HRESULT HResultOfNumber(int32_t number);
// The number a client reads from hr: n for 0x800A0000 | n, else the HRESULT itself.
int32_t NumberOfHResult(HRESULT hr);

}  // namespace varnholt::win32
