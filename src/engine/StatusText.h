#pragma once
// Engine status codes: their texts, and the status inside an ODBC error's text.
#include <cstdint>

#include "varnholt/String.h"

namespace varnholt {

// The message of an engine status; never fails.
String GetPSQLErrorText(int32_t ErrNumber);

// The status written after "Btrieve Error" (case-sensitive) in message, or 0 without the
// marker. 16-bit arithmetic: raises error 6 for a marker beyond position 32753, a rest of
// 32767 characters or more, or a value above 32767.
int16_t GetBtrieveErrorNumber(const String& message);

// The number written by all the decimal digits of text, in order; 0 without digits.
int16_t GetNumericPart(const String& text);

}  // namespace varnholt
