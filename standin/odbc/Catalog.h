#pragma once
// The stand-in's tables as a data folder shows them, and the result sets of the catalog
// functions. Every table is a T.DAT file with the same columns and no records.
#include <optional>
#include <string>
#include <vector>

#include "odbc/ResultSet.h"

namespace varnholt::standin::odbc {

// Every table of the folder, in name order without regard to case.
std::vector<std::string> ListTables(const std::string& dataFolder);

// What "Select * From table" answers.
ResultSet TableResult(const std::string& table);

// A search argument of a catalog function: none when the caller passed a null pointer.
using Search = std::optional<std::string>;

ResultSet TablesResult(const std::string& dataFolder, const Search& catalog, const Search& schema, const Search& table,
                       const Search& tableTypes);
ResultSet ColumnsResult(const std::string& dataFolder, const Search& catalog, const Search& schema, const Search& table,
                        const Search& column);
// SQL_ALL_TYPES for every type; a type the stand-in lacks has no rows.
ResultSet TypeInfoResult(SQLSMALLINT dataType);

}  // namespace varnholt::standin::odbc
