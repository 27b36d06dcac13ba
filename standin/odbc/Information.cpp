#include "odbc/Information.h"

#include <algorithm>
#include <iterator>

namespace varnholt::standin::odbc {
namespace {

struct Entry {
    SQLUSMALLINT type;
    InfoAnswer answer;
};
constexpr Entry kInfo[] = {
    {SQL_DRIVER_NAME, {InfoAnswer::kText, 0, "libvarnholt_standin_odbc.so"}},
    {SQL_DRIVER_VER, {InfoAnswer::kText, 0, "01.00.0000"}},
    {SQL_DRIVER_ODBC_VER, {InfoAnswer::kText, 0, "03.51"}},
    {SQL_DBMS_NAME, {InfoAnswer::kText, 0, "Varnholt stand-in engine"}},
    {SQL_DATA_SOURCE_NAME, {InfoAnswer::kText, 0, ""}},
    {SQL_USER_NAME, {InfoAnswer::kText, 0, ""}},
    {SQL_DATA_SOURCE_READ_ONLY, {InfoAnswer::kText, 0, "Y"}},
    {SQL_ACCESSIBLE_TABLES, {InfoAnswer::kText, 0, "Y"}},
    {SQL_ACCESSIBLE_PROCEDURES, {InfoAnswer::kText, 0, "N"}},
    {SQL_PROCEDURES, {InfoAnswer::kText, 0, "N"}},
    {SQL_IDENTIFIER_QUOTE_CHAR, {InfoAnswer::kText, 0, "\""}},
    {SQL_SEARCH_PATTERN_ESCAPE, {InfoAnswer::kText, 0, "\\"}},
    {SQL_CATALOG_NAME, {InfoAnswer::kText, 0, "N"}},
    {SQL_CATALOG_NAME_SEPARATOR, {InfoAnswer::kText, 0, ""}},
    {SQL_CATALOG_TERM, {InfoAnswer::kText, 0, ""}},
    {SQL_SCHEMA_TERM, {InfoAnswer::kText, 0, ""}},
    {SQL_TABLE_TERM, {InfoAnswer::kText, 0, "table"}},
    {SQL_PROCEDURE_TERM, {InfoAnswer::kText, 0, ""}},
    {SQL_NEED_LONG_DATA_LEN, {InfoAnswer::kText, 0, "N"}},
    {SQL_DESCRIBE_PARAMETER, {InfoAnswer::kText, 0, "N"}},
    {SQL_MULT_RESULT_SETS, {InfoAnswer::kText, 0, "N"}},
    {SQL_MULTIPLE_ACTIVE_TXN, {InfoAnswer::kText, 0, "Y"}},
    {SQL_COLUMN_ALIAS, {InfoAnswer::kText, 0, "N"}},
    {SQL_LIKE_ESCAPE_CLAUSE, {InfoAnswer::kText, 0, "N"}},
    {SQL_KEYWORDS, {InfoAnswer::kText, 0, ""}},
    {SQL_SPECIAL_CHARACTERS, {InfoAnswer::kText, 0, ""}},
    {SQL_MAX_DRIVER_CONNECTIONS, {InfoAnswer::kSmall, 0, nullptr}},
    {SQL_MAX_CONCURRENT_ACTIVITIES, {InfoAnswer::kSmall, 0, nullptr}},
    // Nothing is ever written, so a transaction is trivially serializable and cursors survive it.
    {SQL_TXN_CAPABLE, {InfoAnswer::kSmall, SQL_TC_ALL, nullptr}},
    {SQL_CURSOR_COMMIT_BEHAVIOR, {InfoAnswer::kSmall, SQL_CB_PRESERVE, nullptr}},
    {SQL_CURSOR_ROLLBACK_BEHAVIOR, {InfoAnswer::kSmall, SQL_CB_PRESERVE, nullptr}},
    {SQL_DEFAULT_TXN_ISOLATION, {InfoAnswer::kInteger, SQL_TXN_SERIALIZABLE, nullptr}},
    {SQL_TXN_ISOLATION_OPTION, {InfoAnswer::kInteger, SQL_TXN_SERIALIZABLE, nullptr}},
    {SQL_IDENTIFIER_CASE, {InfoAnswer::kSmall, SQL_IC_MIXED, nullptr}},
    {SQL_QUOTED_IDENTIFIER_CASE, {InfoAnswer::kSmall, SQL_IC_MIXED, nullptr}},
    {SQL_MAX_TABLE_NAME_LEN, {InfoAnswer::kSmall, 255, nullptr}},
    {SQL_MAX_COLUMN_NAME_LEN, {InfoAnswer::kSmall, 128, nullptr}},
    {SQL_MAX_IDENTIFIER_LEN, {InfoAnswer::kSmall, 255, nullptr}},
    {SQL_MAX_SCHEMA_NAME_LEN, {InfoAnswer::kSmall, 0, nullptr}},
    {SQL_MAX_CATALOG_NAME_LEN, {InfoAnswer::kSmall, 0, nullptr}},
    {SQL_NON_NULLABLE_COLUMNS, {InfoAnswer::kSmall, SQL_NNC_NON_NULL, nullptr}},
    {SQL_CONCAT_NULL_BEHAVIOR, {InfoAnswer::kSmall, SQL_CB_NULL, nullptr}},
    {SQL_CORRELATION_NAME, {InfoAnswer::kSmall, SQL_CN_NONE, nullptr}},
    {SQL_GROUP_BY, {InfoAnswer::kSmall, SQL_GB_NOT_SUPPORTED, nullptr}},
    {SQL_FILE_USAGE, {InfoAnswer::kSmall, SQL_FILE_NOT_SUPPORTED, nullptr}},
    {SQL_NULL_COLLATION, {InfoAnswer::kSmall, SQL_NC_LOW, nullptr}},
    {SQL_GETDATA_EXTENSIONS, {InfoAnswer::kInteger, SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER, nullptr}},
    {SQL_SCROLL_OPTIONS, {InfoAnswer::kInteger, SQL_SO_FORWARD_ONLY, nullptr}},
    {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, {InfoAnswer::kInteger, SQL_CA1_NEXT, nullptr}},
    {SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, {InfoAnswer::kInteger, SQL_CA2_READ_ONLY_CONCURRENCY, nullptr}},
    {SQL_STATIC_CURSOR_ATTRIBUTES1, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_STATIC_CURSOR_ATTRIBUTES2, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_DYNAMIC_CURSOR_ATTRIBUTES1, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_DYNAMIC_CURSOR_ATTRIBUTES2, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_KEYSET_CURSOR_ATTRIBUTES1, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_KEYSET_CURSOR_ATTRIBUTES2, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_CURSOR_SENSITIVITY, {InfoAnswer::kInteger, SQL_INSENSITIVE, nullptr}},
    {SQL_ODBC_INTERFACE_CONFORMANCE, {InfoAnswer::kInteger, SQL_OIC_CORE, nullptr}},
    {SQL_ASYNC_MODE, {InfoAnswer::kInteger, SQL_AM_NONE, nullptr}},
    {SQL_BATCH_SUPPORT, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_PARAM_ARRAY_ROW_COUNTS, {InfoAnswer::kInteger, SQL_PARC_NO_BATCH, nullptr}},
    {SQL_PARAM_ARRAY_SELECTS, {InfoAnswer::kInteger, SQL_PAS_NO_SELECT, nullptr}},
    {SQL_CATALOG_USAGE, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_SCHEMA_USAGE, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_STRING_FUNCTIONS, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_NUMERIC_FUNCTIONS, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_TIMEDATE_FUNCTIONS, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_SYSTEM_FUNCTIONS, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_CONVERT_FUNCTIONS, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_OJ_CAPABILITIES, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_MAX_ROW_SIZE, {InfoAnswer::kInteger, 0, nullptr}},
    {SQL_MAX_STATEMENT_LEN, {InfoAnswer::kInteger, 0, nullptr}},
};

}  // namespace

std::optional<InfoAnswer> FixedInfo(SQLUSMALLINT type) {
    const auto* entry =
        std::find_if(std::begin(kInfo), std::end(kInfo), [&](const Entry& e) { return e.type == type; });
    if (entry == std::end(kInfo)) return std::nullopt;
    return entry->answer;
}

}  // namespace varnholt::standin::odbc
