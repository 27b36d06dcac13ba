#pragma once
// What a statement of the stand-in driver answers: columns described as ODBC describes them,
// rows of values, and the conversions SQLGetData makes from them.
#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace varnholt::standin::odbc {

struct Column {
    std::string name;
    SQLSMALLINT type;  // SQL_INTEGER, SQL_SMALLINT or SQL_VARCHAR
    SQLULEN size;      // characters of text, decimal digits of a number
    SQLSMALLINT nullable;
    std::string table;  // the base table; empty in catalog results
};

// Null, a number or UTF-8 text.
using Value = std::variant<std::monostate, int32_t, std::string>;
using Row = std::vector<Value>;

struct ResultSet {
    std::vector<Column> columns;
    std::vector<Row> rows;
};

// The type name SQLColAttribute and SQLGetTypeInfo give for an SQL type.
const char* TypeName(SQLSMALLINT type);
// Characters a value of the column needs when shown as text.
SQLLEN DisplaySize(const Column& column);
// Bytes of the column's value in its default C type.
SQLLEN OctetLength(const Column& column);

enum class GetDataOutcome {
    kDone,
    kTruncated,        // text cut to the buffer; the rest comes with the next call
    kNoMoreData,       // the whole value was returned by earlier calls
    kNullNoIndicator,  // 22002
    kUnsupportedType,  // HYC00: no conversion to that C type
    kNotANumber,       // 22018
    kOutOfRange,       // 22003
};

// Whether GetData converts to the C type (SQL_C_DEFAULT included).
bool Converts(SQLSMALLINT targetType);

// Converts value to the C type and writes it as SQLGetData does. offset counts what earlier
// calls returned of the same value (bytes of text, or whether a whole value was given).
GetDataOutcome GetData(const Value& value, const Column& column, SQLSMALLINT targetType, SQLPOINTER target,
                       SQLLEN bufferLength, SQLLEN* indicator, size_t& offset);

}  // namespace varnholt::standin::odbc
