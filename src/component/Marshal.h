#pragma once
// Automation values (BSTR, VARIANT, SAFEARRAY, the udtLoginCreds record) to and from the core's
// value model. Conversions raise varnholt::Error (13 for what the other side cannot hold) and
// std::bad_alloc when the system runs out of memory.
#include <oaidl.h>

#include <cstdint>
#include <memory>

#include "platform/win32/AutomationValues.h"
#include "platform/win32/ComTypes.h"
#include "varnholt/SafeArray.h"
#include "varnholt/String.h"
#include "varnholt/Types.h"
#include "varnholt/Variant.h"
#include "varnholt_idl.h"

namespace varnholt::component {

using namespace varnholt::win32;

// Replaces the string an in/out parameter holds, freeing the old one.
void StoreBstr(StringView text, BSTR* target);

// By-reference values are followed, through one VARIANT reference at most; a reference to
// nothing is 13. Numbers the model lacks become the nearest kind (Byte and unsigned to Integer
// or Long; Single, Currency, Decimal and 64-bit integers to the Double that shows as they do,
// else to their text), dates become their text; objects are kept as automation objects. A
// missing optional argument (VT_ERROR DISP_E_PARAMNOTFOUND) is Empty. Numbers are written in
// English (United States), as the model writes its own.
Variant FromVariant(const VARIANT& value);
// The text a script's CStr makes of value, for members that want text: the system's own
// conversion in the user's locale for numbers, dates and Booleans, FromVariant's for the rest
// (Null raises 94, arrays and objects 13).
String TextOf(const VARIANT& value);

// A DECIMAL the system's conversions may be given: scale 0 to 28, sign 0 or DECIMAL_NEG. Wine's
// conversion to text crashes on a larger scale, so other DECIMALs are refused before any.
bool IsValidDecimal(const DECIMAL& value);
// out receives the value; it must hold nothing that needs freeing.
void ToVariant(const Variant& value, VARIANT* out);

// The dispatch interface of a core object for a client to own (nullptr for Nothing); 13 for an
// object that is not an automation object.
IDispatch* NewDispatchReference(const std::shared_ptr<Object>& object);

// Arrays keep their dimensions and bounds; a null array is the unallocated array. String
// arrays are read from BSTR arrays and from VARIANT arrays (each element through TextOf, as a
// script builds them).
SafeArray<String> FromStringArray(const SAFEARRAY* array);
SafeArrayPtr ToStringArray(const SafeArray<String>& array);
SafeArray<Variant> FromVariantArray(const SAFEARRAY* array);
SafeArrayPtr ToVariantArray(const SafeArray<Variant>& array);

// Results through out-parameters: the slot is emptied first, so a failure never leaves the
// caller something to free; a null slot is E_POINTER (CallFailure).
void Return(BSTR* out, StringView value);
void Return(LONG* out, int32_t value);
void Return(VARIANT_BOOL* out, bool value);
void Return(VARIANT* out, const Variant& value);

// The record as the type library lays it out. ToRecord fills a record that holds nothing.
void ToRecord(const varnholt::udtLoginCreds& creds, ::udtLoginCreds* out);
varnholt::udtLoginCreds FromRecord(const ::udtLoginCreds& record);
// Frees the strings of a record and empties it.
void ClearRecord(::udtLoginCreds* record);

}  // namespace varnholt::component
