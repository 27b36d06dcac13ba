#pragma once
// What every fuzz target shares: a property check that stops the run with a readable reason,
// raised-error checks, turning fuzz bytes into UTF-16 text, and a model of field splitting.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "varnholt/Error.h"
#include "varnholt/String.h"

namespace varnholt::fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line, const std::string& detail) {
    std::fprintf(stderr, "\nproperty failed: %s\n  at %s:%d\n  %s\n", what, file, line, detail.c_str());
    std::abort();
}

#define FUZZ_CHECK(condition, detail) \
    ((condition) ? void() : ::varnholt::fuzz::Fail(#condition, __FILE__, __LINE__, (detail)))

// The first 200 characters of text as UTF-8, for failure messages.
inline std::string Shown(StringView text) {
    return ToUtf8(text.substr(0, 200)) + (text.size() > 200 ? "..." : "") + " (" + std::to_string(text.size()) +
           " chars)";
}

// The error expected from a call.
struct ExpectedError {
    int32_t number;
    String source;
    String description;
};

inline bool Same(const Error& e, const ExpectedError& expected) {
    return e.Number() == expected.number && e.Source() == expected.source && e.Description() == expected.description;
}

inline std::string Describe(const ExpectedError& expected) {
    return "error " + std::to_string(expected.number) + " (" + ToUtf8(expected.source) +
           "): " + ToUtf8(expected.description);
}

inline ExpectedError Runtime(int32_t number) { return {number, kRuntimeSource, RuntimeErrorText(number)}; }

// Pairs of bytes as UTF-16 code units, little-endian; any unit, lone surrogates and NUL included.
inline String Utf16Units(const uint8_t* data, size_t size) {
    String text;
    text.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    return text;
}

// Up to longest bytes of input as text: read as UTF-8, or as raw UTF-16 units.
inline String FuzzText(FuzzedDataProvider& input, size_t longest) {
    const std::string bytes = input.ConsumeRandomLengthString(longest);
    return input.ConsumeBool() ? FromUtf8(bytes)
                               : Utf16Units(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// text cut at every separator, written independently of the parsers under test: n separators
// give n + 1 pieces, empty ones included.
inline std::vector<std::string> SplitModel(std::string_view text, char separator) {
    std::vector<std::string> pieces(1);
    for (char c : text) {
        if (c == separator)
            pieces.emplace_back();
        else
            pieces.back() += c;
    }
    return pieces;
}

// Well-formed UTF-8 by the standard's table (no overlongs, surrogates or values past U+10FFFF).
inline bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        size_t length;
        unsigned char low = 0x80, high = 0xBF;
        if (b < 0x80)
            length = 1;
        else if (b >= 0xC2 && b <= 0xDF)
            length = 2;
        else if (b == 0xE0)
            length = 3, low = 0xA0;
        else if (b == 0xED)
            length = 3, high = 0x9F;
        else if (b >= 0xE1 && b <= 0xEF)
            length = 3;
        else if (b == 0xF0)
            length = 4, low = 0x90;
        else if (b == 0xF4)
            length = 4, high = 0x8F;
        else if (b >= 0xF1 && b <= 0xF3)
            length = 4;
        else
            return false;
        if (i + length > bytes.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return false;
        }
        i += length;
    }
    return true;
}

}  // namespace varnholt::fuzz
