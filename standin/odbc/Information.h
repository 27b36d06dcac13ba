#pragma once
// What SQLGetInfo answers the same on every connection: the driver, its read-only engine,
// forward-only cursors and the SQL it does not have.
#include <sql.h>
#include <sqlext.h>

#include <optional>

namespace varnholt::standin::odbc {

struct InfoAnswer {
    enum Kind { kText, kSmall, kInteger } kind;  // a string, an SQLUSMALLINT or an SQLUINTEGER
    SQLUINTEGER number;
    const char* text;
};

// None for a type the driver does not answer (or answers from the connection).
std::optional<InfoAnswer> FixedInfo(SQLUSMALLINT type);

}  // namespace varnholt::standin::odbc
