#pragma once
// The texts the stand-in driver reads from its caller: connection strings, the one statement
// it answers and the search patterns of its catalog functions. Apart from the driver so that
// tests and fuzz targets reach them.
#include <optional>
#include <string>
#include <string_view>

namespace varnholt::standin {

// The value of attribute wanted in a connection string: "key=value;" pairs, keys compared
// without case and trimmed, values trimmed unless in braces, which take them literally ("}}"
// for a brace). The first pair of that key counts; none when no pair has it.
std::optional<std::string> Attribute(std::string_view text, std::string_view wanted);

// The table of "Select [Top N] * From T" (keywords in any case, blanks of any kind and number
// between the words, an optional ";" at the end), without the quotes or brackets around it;
// none for any other statement.
std::optional<std::string> SelectTable(std::string_view sql);

// Whether name matches a catalog search pattern: "%" any run of characters, "_" any one
// character, a backslash takes the next character literally; letters compare without case.
bool MatchesPattern(std::string_view name, std::string_view pattern);

}  // namespace varnholt::standin
