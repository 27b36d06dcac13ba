#pragma once
// Text for the ODBC driver, which reads it NUL-terminated in the code page.
#include "varnholt/String.h"

namespace varnholt::platform {

// A NUL inside, or a character the code page cannot hold, would hand the driver another text
// (a shorter connection string, a '?' in a database name): raises -2147467259
// (Varnholt.DataAccess) "The <what> holds ...". what: "connection string", "statement".
void RefuseUnsendableDriverText(StringView text, const char16_t* what);

}  // namespace varnholt::platform
