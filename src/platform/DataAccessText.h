#pragma once
// Rules both data-access implementations apply to the texts they hand to the driver.
#include <cstdint>

#include "varnholt/String.h"

namespace varnholt::platform {

inline constexpr int32_t kProviderError = -2147467259;  // 0x80004005, the provider's own failure
inline constexpr char16_t kDataAccessSource[] = u"Varnholt.DataAccess";

// The driver reads a connection string or a statement up to its first NUL: the rest would be
// silently dropped, and with it perhaps the database name, leaving a connection to something
// else. Such a text is refused before the driver (or ADO) sees it.
void RefuseNulInConnectionString(const String& text);
void RefuseNulInStatement(const String& text);

}  // namespace varnholt::platform
