// The stand-in driver's statement reader against the pattern it implements, run by std::regex
// on texts short enough for that backtracking matcher; longer texts must not crash it. The
// input split at its first line end is also a table name and a catalog search pattern, checked
// against a matcher of its own.
#include <cctype>
#include <regex>
#include <vector>

#include "FuzzCheck.h"
#include "odbc/DriverText.h"

using namespace varnholt::fuzz;
using varnholt::standin::MatchesPattern;
using varnholt::standin::SelectTable;

namespace {

// The reference: what the driver accepts, written as one regular expression.
std::optional<std::string> Reference(const std::string& sql) {
    static const std::regex kSelect(R"(^\s*select\s+(?:top\s+[0-9]+\s+)?\*\s+from\s+(\S+?)\s*;?\s*$)",
                                    std::regex::icase | std::regex::ECMAScript);
    std::smatch match;
    if (!std::regex_match(sql, match, kSelect)) return std::nullopt;
    std::string table = match[1].str();
    if (table.size() >= 2 &&
        ((table.front() == '"' && table.back() == '"') || (table.front() == '[' && table.back() == ']')))
        table = table.substr(1, table.size() - 2);
    return table;
}

// The search pattern as the textbook table of which prefixes match which, for ASCII texts: "%"
// any run, "_" any one character, a backslash the next character itself; letters without case.
// Not a regular expression: runs of "%" make a backtracking matcher take exponential time.
bool ReferenceMatch(const std::string& name, const std::string& pattern) {
    struct Piece {
        char kind;  // 'c' one given character, '_' any one, '%' any run
        char c;
    };
    std::vector<Piece> pieces;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '\\' && i + 1 < pattern.size())
            pieces.push_back({'c', pattern[++i]});
        else if (c == '%' || c == '_')
            pieces.push_back({c, c});
        else
            pieces.push_back({'c', c});
    }
    auto same = [](char a, char b) {
        return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
    };
    // matched[j]: the name's characters read so far match the first j pieces.
    std::vector<bool> matched(pieces.size() + 1, false);
    matched[0] = true;
    for (size_t j = 1; j <= pieces.size(); ++j) matched[j] = matched[j - 1] && pieces[j - 1].kind == '%';
    for (const char t : name) {
        std::vector<bool> next(pieces.size() + 1, false);
        for (size_t j = 1; j <= pieces.size(); ++j) {
            const Piece& piece = pieces[j - 1];
            if (piece.kind == '%')
                next[j] = next[j - 1] || matched[j];
            else
                next[j] = matched[j - 1] && (piece.kind == '_' || same(piece.c, t));
        }
        matched = std::move(next);
    }
    return matched.back();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string sql(reinterpret_cast<const char*>(data), size);
    const std::optional<std::string> table = SelectTable(sql);
    if (table) FUZZ_CHECK(table->size() < sql.size(), "a table name as long as the statement");
    // The same reader on a statement of 100000 characters made of the input: what costs a
    // backtracking matcher one stack frame per character must cost this reader none.
    if (size > 0 && size <= 16) {
        std::string longTable;
        while (longTable.size() < 100000) longTable += sql;
        const std::optional<std::string> longResult = SelectTable("Select Top 1 * From " + longTable);
        const bool plain = sql.find_first_of(" \t\n\v\f\r;\"[]") == std::string::npos;
        if (plain) FUZZ_CHECK(longResult == longTable, "a long plain table name was not read whole");
    }
    if (const size_t newline = sql.find('\n'); newline != std::string::npos) {
        const std::string name = sql.substr(0, newline), pattern = sql.substr(newline + 1);
        const bool matches = MatchesPattern(name, pattern);
        if (size <= 64 && std::all_of(sql.begin(), sql.end(), [](unsigned char c) { return c < 0x80; }))
            FUZZ_CHECK(matches == ReferenceMatch(name, pattern),
                       "\"" + name + "\" against pattern \"" + pattern + "\": " + (matches ? "matched" : "missed"));
    }
    if (size > 4096) return 0;
    const std::optional<std::string> expected = Reference(sql);
    FUZZ_CHECK(table.has_value() == expected.has_value(),
               std::string(table ? "accepted" : "refused") + " \"" + sql + "\" against the pattern");
    if (table) FUZZ_CHECK(*table == *expected, "table \"" + *table + "\", pattern gives \"" + *expected + "\"");
    return 0;
}
