#include "odbc/Catalog.h"

#include <dirent.h>

#include <algorithm>
#include <memory>

#include "odbc/DriverText.h"
#include "store/Text.h"

namespace varnholt::standin::odbc {
namespace {

constexpr std::string_view kExtension = ".DAT";

// The columns of every stand-in table (standin/README.md).
const std::vector<Column>& TableColumns() {
    static const std::vector<Column> columns = {
        {"ID", SQL_INTEGER, 10, SQL_NO_NULLS, {}},
        {"NAME", SQL_VARCHAR, 64, SQL_NULLABLE, {}},
    };
    return columns;
}

Column Text(const char* name, SQLSMALLINT nullable = SQL_NULLABLE, SQLULEN size = 128) {
    return {name, SQL_VARCHAR, size, nullable, {}};
}
Column Small(const char* name, SQLSMALLINT nullable = SQL_NULLABLE) { return {name, SQL_SMALLINT, 5, nullable, {}}; }
Column Integer(const char* name, SQLSMALLINT nullable = SQL_NULLABLE) { return {name, SQL_INTEGER, 10, nullable, {}}; }

// The stem of a folder entry that is a table: "T" of "T.DAT" in any case.
std::optional<std::string> TableOf(const dirent& entry) {
    const std::string_view name = entry.d_name;
    if (entry.d_type == DT_DIR || name.size() <= kExtension.size()) return std::nullopt;
    if (!SameText(name.substr(name.size() - kExtension.size()), kExtension)) return std::nullopt;
    return std::string(name.substr(0, name.size() - kExtension.size()));
}

template <class Visit>
void EachTable(const std::string& folder, Visit visit) {
    if (folder.empty()) return;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) return;
    while (const dirent* entry = ::readdir(dir.get()))
        if (const std::optional<std::string> table = TableOf(*entry))
            if (!visit(*table)) return;
}

// The stand-in has neither catalogs nor schemas: only an absent, empty or all-matching
// argument lets a table through.
bool NoneOrAll(const Search& search) { return !search || search->empty() || *search == "%"; }

bool Matches(const std::string& name, const Search& pattern) { return !pattern || MatchesPattern(name, *pattern); }

// A list of table types ("TABLE,'VIEW'"): whether it names TABLE.
bool TypesTakeTables(const Search& types) {
    if (NoneOrAll(types)) return true;
    std::string_view rest = *types;
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        std::string_view item = TrimBlanks(rest.substr(0, comma));
        if (item.size() >= 2 && item.front() == '\'' && item.back() == '\'') item = item.substr(1, item.size() - 2);
        if (SameText(item, "TABLE")) return true;
        rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
    }
    return false;
}

}  // namespace

std::vector<std::string> ListTables(const std::string& dataFolder) {
    std::vector<std::pair<std::string, std::string>> keyed;
    EachTable(dataFolder, [&](const std::string& table) {
        keyed.emplace_back(FoldCase(table), table);
        return true;
    });
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::string> tables;
    for (auto& [key, table] : keyed) tables.push_back(std::move(table));
    return tables;
}

ResultSet TableResult(const std::string& table) {
    ResultSet result{TableColumns(), {}};
    for (Column& column : result.columns) column.table = table;
    return result;
}

ResultSet TablesResult(const std::string& dataFolder, const Search& catalog, const Search& schema, const Search& table,
                       const Search& tableTypes) {
    ResultSet result{{Text("TABLE_CAT"), Text("TABLE_SCHEM"), Text("TABLE_NAME", SQL_NO_NULLS),
                      Text("TABLE_TYPE", SQL_NO_NULLS), Text("REMARKS", SQL_NULLABLE, 254)},
                     {}};
    const bool allOthers = !table || table->empty();
    // The enumerations ODBC defines: catalogs, schemas and table types.
    if (catalog == "%" && (!schema || schema->empty()) && allOthers) return result;
    if (schema == "%" && (!catalog || catalog->empty()) && allOthers) return result;
    if (tableTypes == "%" && (!catalog || catalog->empty()) && (!schema || schema->empty()) && allOthers) {
        result.rows.push_back({{}, {}, std::string(), std::string("TABLE"), {}});
        return result;
    }
    if (!NoneOrAll(catalog) || !NoneOrAll(schema) || !TypesTakeTables(tableTypes)) return result;
    for (const std::string& name : ListTables(dataFolder))
        if (Matches(name, table)) result.rows.push_back({{}, {}, name, std::string("TABLE"), {}});
    return result;
}

ResultSet ColumnsResult(const std::string& dataFolder, const Search& catalog, const Search& schema, const Search& table,
                        const Search& column) {
    ResultSet result{
        {Text("TABLE_CAT"), Text("TABLE_SCHEM"), Text("TABLE_NAME", SQL_NO_NULLS), Text("COLUMN_NAME", SQL_NO_NULLS),
         Small("DATA_TYPE", SQL_NO_NULLS), Text("TYPE_NAME", SQL_NO_NULLS), Integer("COLUMN_SIZE"),
         Integer("BUFFER_LENGTH"), Small("DECIMAL_DIGITS"), Small("NUM_PREC_RADIX"), Small("NULLABLE", SQL_NO_NULLS),
         Text("REMARKS", SQL_NULLABLE, 254), Text("COLUMN_DEF", SQL_NULLABLE, 254),
         Small("SQL_DATA_TYPE", SQL_NO_NULLS), Small("SQL_DATETIME_SUB"), Integer("CHAR_OCTET_LENGTH"),
         Integer("ORDINAL_POSITION", SQL_NO_NULLS), Text("IS_NULLABLE", SQL_NULLABLE, 3)},
        {}};
    if (!NoneOrAll(catalog) || !NoneOrAll(schema)) return result;
    for (const std::string& name : ListTables(dataFolder)) {
        if (!Matches(name, table)) continue;
        int32_t position = 0;
        for (const Column& c : TableColumns()) {
            ++position;
            if (!Matches(c.name, column)) continue;
            const bool number = c.type != SQL_VARCHAR;
            result.rows.push_back({{},
                                   {},
                                   name,
                                   c.name,
                                   int32_t{c.type},
                                   std::string(TypeName(c.type)),
                                   static_cast<int32_t>(c.size),
                                   static_cast<int32_t>(OctetLength(c)),
                                   number ? Value(int32_t{0}) : Value(),
                                   number ? Value(int32_t{10}) : Value(),
                                   int32_t{c.nullable},
                                   {},
                                   {},
                                   int32_t{c.type},
                                   {},
                                   number ? Value() : Value(static_cast<int32_t>(OctetLength(c))),
                                   position,
                                   std::string(c.nullable == SQL_NO_NULLS ? "NO" : "YES")});
        }
    }
    return result;
}

ResultSet TypeInfoResult(SQLSMALLINT dataType) {
    ResultSet result{
        {Text("TYPE_NAME", SQL_NO_NULLS), Small("DATA_TYPE", SQL_NO_NULLS), Integer("COLUMN_SIZE"),
         Text("LITERAL_PREFIX"), Text("LITERAL_SUFFIX"), Text("CREATE_PARAMS"), Small("NULLABLE", SQL_NO_NULLS),
         Small("CASE_SENSITIVE", SQL_NO_NULLS), Small("SEARCHABLE", SQL_NO_NULLS), Small("UNSIGNED_ATTRIBUTE"),
         Small("FIXED_PREC_SCALE", SQL_NO_NULLS), Small("AUTO_UNIQUE_VALUE"), Text("LOCAL_TYPE_NAME"),
         Small("MINIMUM_SCALE"), Small("MAXIMUM_SCALE"), Small("SQL_DATA_TYPE", SQL_NO_NULLS),
         Small("SQL_DATETIME_SUB"), Integer("NUM_PREC_RADIX"), Small("INTERVAL_PRECISION")},
        {}};
    // In DATA_TYPE order, the types the stand-in's columns have.
    const Row integer = {std::string("INTEGER"),
                         int32_t{SQL_INTEGER},
                         int32_t{10},
                         {},
                         {},
                         {},
                         int32_t{SQL_NULLABLE},
                         int32_t{SQL_FALSE},
                         int32_t{SQL_PRED_BASIC},
                         int32_t{SQL_FALSE},
                         int32_t{SQL_FALSE},
                         int32_t{SQL_FALSE},
                         std::string("INTEGER"),
                         int32_t{0},
                         int32_t{0},
                         int32_t{SQL_INTEGER},
                         {},
                         int32_t{10},
                         {}};
    const Row varchar = {std::string("VARCHAR"),
                         int32_t{SQL_VARCHAR},
                         int32_t{255},
                         std::string("'"),
                         std::string("'"),
                         std::string("max length"),
                         int32_t{SQL_NULLABLE},
                         int32_t{SQL_FALSE},
                         int32_t{SQL_SEARCHABLE},
                         {},
                         int32_t{SQL_FALSE},
                         {},
                         std::string("VARCHAR"),
                         {},
                         {},
                         int32_t{SQL_VARCHAR},
                         {},
                         {},
                         {}};
    if (dataType == SQL_ALL_TYPES || dataType == SQL_INTEGER) result.rows.push_back(integer);
    if (dataType == SQL_ALL_TYPES || dataType == SQL_VARCHAR) result.rows.push_back(varchar);
    return result;
}

}  // namespace varnholt::standin::odbc
