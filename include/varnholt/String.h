#pragma once
// Text as automation holds it: UTF-16, length-counted; empty and absent are the same value.
#include <string>
#include <string_view>

namespace varnholt {

using String = std::u16string;
using StringView = std::u16string_view;

// UTF-8 <-> UTF-16 for files, terminals and logs. Invalid sequences become U+FFFD.
std::string ToUtf8(StringView text);
String FromUtf8(std::string_view text);
// The same, for texts that must arrive unchanged: false (out then holds the repaired text) when a lone
// surrogate or a byte sequence that is not UTF-8 would have become U+FFFD.
bool ToUtf8Exact(StringView text, std::string& out);
bool FromUtf8Exact(std::string_view text, String& out);

// The system's 8-bit "ANSI" code page: CP_ACP on Windows, Windows-1252 elsewhere, so that one
// character is one byte. Characters the code page lacks become '?'.
std::string ToAnsi(StringView text);
// The same for texts handed on as names: false (out then holds the lossy form) when a character would
// become '?' or a look-alike.
bool ToAnsiExact(StringView text, std::string& out);
String FromAnsi(std::string_view bytes);
void FromAnsi(std::string_view bytes, String& out);  // into out, reusing its storage

// Text helpers with the run time's meaning.
String Trim(StringView text);     // leading and trailing blanks (U+0020) only
String UCase(StringView text);    // upper case, as the run time's UCase
String Decimal(long long value);  // "-12", no blanks, no leading zeros

}  // namespace varnholt
