#pragma once
// Scripted answers: the answers file makes the three name reads hand back a given text and
// size, as an engine might that writes no terminator, an odd size or a NUL inside a name, and
// PvGetDbNamesData report any count (its SIZE).
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnholt::standin {

struct Answer {
    std::string function;  // folded
    int32_t size = 0;      // what the call reports in its size argument
    std::string bytes;     // ANSI, written without a terminator of its own
};

// One line of the answers file: FUNCTION SIZE [TEXT], TEXT in UTF-8 where the two characters \0
// stand for a NUL (no TEXT: empty). Anything else is no answer.
std::optional<Answer> ParseAnswer(std::string_view line);

// The first answer for function in home's answers file, if the file has one.
std::optional<Answer> FindAnswer(const std::string& home, std::string_view function);

}  // namespace varnholt::standin
