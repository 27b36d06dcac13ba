#pragma once
// Text rules of the engine's files: UTF-8 records of tab-separated fields, names compared
// without regard to case, and the 8-bit code page (Windows-1252) of the administration calls.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnholt::standin {

std::vector<std::string_view> SplitFields(std::string_view line);

// Lines without their ends: "\n", "\r\n" and a lone "\r" each end one, as the editors that
// write these files do; a last line without an end counts. A UTF-8 byte-order mark at the
// start is no part of the first line.
std::vector<std::string_view> SplitLines(std::string_view content);

// True when text is well-formed UTF-8: no stray, overlong or surrogate sequence, nothing past
// U+10FFFF. Anything else would reach the code page as another character.
bool IsUtf8(std::string_view text);

// Blank lines and "#" comments carry no record.
bool IsSkippedLine(std::string_view line);

// True when text can be stored as one field: no tab, line end or other control character.
bool IsFieldText(std::string_view text);

std::string_view TrimBlanks(std::string_view text);

// A key for case-insensitive comparison: ASCII and the Latin letters of the code page folded.
std::string FoldCase(std::string_view utf8);
bool SameText(std::string_view a, std::string_view b);

std::string AnsiToUtf8(std::string_view ansi);
// Characters the code page lacks become '?'.
std::string Utf8ToAnsi(std::string_view utf8);

// A whole field as a signed 32-bit decimal number, blanks around it allowed.
std::optional<int32_t> ParseInt32(std::string_view text);

}  // namespace varnholt::standin
