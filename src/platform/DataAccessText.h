#pragma once
// What both data-access implementations share: the rule for the texts they hand to the driver,
// and ADO's numbers and texts for the misuse a client can provoke.
#include <cstdint>

#include "varnholt/String.h"

namespace varnholt::platform {

inline constexpr int32_t kProviderError = -2147467259;  // 0x80004005, the provider's own failure
inline constexpr char16_t kDataAccessSource[] = u"Varnholt.DataAccess";

// The driver reads a connection string or a statement NUL-terminated in the code page: a NUL
// would drop the rest (perhaps the database name), a character the code page lacks would
// become another one, either way a connection to something else. Such a text is refused
// before the driver (or ADO) sees it: raises kProviderError (kDataAccessSource) "The <what>
// holds ...". what: "connection string", "statement".
void RefuseUnsendableDriverText(StringView text, const char16_t* what);

// 3705, 3704, 3021 and 3265 with ADO's texts (kDataAccessSource).
[[noreturn]] void RaiseObjectOpen();
[[noreturn]] void RaiseObjectClosed();
[[noreturn]] void RaiseNoCurrentRecord();
[[noreturn]] void RaiseItemNotFound();

}  // namespace varnholt::platform
