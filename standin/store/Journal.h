#pragma once
// The call journal: when the file "journal" exists in the engine home, every entry point
// appends one line, LIBRARY FUNCTION ARG..., tab-separated. Tests read it to see which calls
// reached the engine, in which order and with which arguments.
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace varnholt::standin {

class JournalArg {
public:
    static JournalArg Number(int64_t value) { return JournalArg(Kind::kNumber, value, nullptr); }
    static JournalArg Text(const char* utf8) { return JournalArg(Kind::kText, 0, utf8); }
    // 8-bit text of the administration calls, written to the journal as UTF-8.
    static JournalArg AnsiText(const char* ansi) { return JournalArg(Kind::kAnsi, 0, ansi); }
    // A secret (a password) as its length only: the journal is no place for it in clear.
    static JournalArg SecretLength(const char* text) {
        return text ? Number(static_cast<int64_t>(std::char_traits<char>::length(text))) : Text(nullptr);
    }
    // A pointer to a number, read only when the journal is written: "(null)" when absent.
    static JournalArg NumberAt(const int32_t* value) {
        return value ? Number(*value) : JournalArg(Kind::kText, 0, nullptr);
    }

    // The field as written: decimal numbers, "(null)" for absent text, and control
    // characters (which would break the line) as '?'.
    std::string Format() const;

private:
    enum class Kind { kNumber, kText, kAnsi };
    JournalArg(Kind kind, int64_t number, const char* text) : kind_(kind), number_(number), text_(text) {}
    Kind kind_;
    int64_t number_;
    const char* text_;
};

// Appends the call's line as one whole record (store/Files.h), so lines of concurrent
// processes never mix and a full disk tears none.
void RecordCall(const std::string& home, std::string_view library, std::string_view function,
                std::initializer_list<JournalArg> args);
void RecordCall(const std::string& home, std::string_view library, std::string_view function,
                std::span<const JournalArg> args);

}  // namespace varnholt::standin
