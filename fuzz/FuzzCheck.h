#pragma once
// What every fuzz target shares: a property check that stops the run with a readable reason,
// the check of a call against a model's value or error, fuzz bytes as UTF-16 text, and
// models of trimming, field splitting and well-formed UTF-8.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
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

// detail is built only when the property fails.
#define FUZZ_CHECK(condition, detail) \
    ((condition) ? void() : ::varnholt::fuzz::Fail(#condition, __FILE__, __LINE__, (detail)))

// The first 200 characters of text as UTF-8, for failure messages.
inline std::string Shown(StringView text) {
    return ToUtf8(text.substr(0, 200)) + (text.size() > 200 ? "..." : "") + " (" + std::to_string(text.size()) +
           " chars)";
}
inline std::string Shown(long long number) { return std::to_string(number); }

struct ExpectedError {
    int32_t number;
    String source;
    String description;
};

inline ExpectedError Runtime(int32_t number) { return {number, kRuntimeSource, RuntimeErrorText(number)}; }

// What a call should give: a value, or the error it raises.
template <class T>
struct Outcome {
    Outcome(T v = T()) : value(std::move(v)) {}
    Outcome(ExpectedError e) : error(std::move(e)) {}
    T value;
    std::optional<ExpectedError> error;
};

template <class T, class Call>
void CheckCall(const char* what, StringView input, const Outcome<T>& expected, Call&& call) {
    auto said = [&](const std::string& text) { return std::string(what) + text + " for " + Shown(input); };
    auto model = [&] {
        const ExpectedError& x = *expected.error;
        return ", model error " + std::to_string(x.number) + " (" + ToUtf8(x.source) + "): " + ToUtf8(x.description);
    };
    try {
        const T got = call();
        FUZZ_CHECK(!expected.error, said(" returned " + Shown(got) + model()));
        FUZZ_CHECK(got == expected.value, said(" gave " + Shown(got) + ", model " + Shown(expected.value)));
    } catch (const Error& e) {
        FUZZ_CHECK(expected.error, said(std::string(" raised ") + e.what()));
        FUZZ_CHECK(e.Number() == expected.error->number && e.Source() == expected.error->source &&
                       e.Description() == expected.error->description,
                   said(std::string(" raised ") + e.what() + model()));
    }
}

// Pairs of bytes as UTF-16 code units, little-endian; any unit, lone surrogates and NUL included.
inline String Utf16Units(const uint8_t* data, size_t size) {
    String text;
    text.reserve(size / 2);
    for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    return text;
}
inline String Utf16Units(std::string_view bytes) {
    return Utf16Units(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Up to longest bytes of input as text: read as UTF-8, or as raw UTF-16 units.
inline String FuzzText(FuzzedDataProvider& input, size_t longest) {
    const std::string bytes = input.ConsumeRandomLengthString(longest);
    return input.ConsumeBool() ? FromUtf8(bytes) : Utf16Units(bytes);
}

// text without the blanks and tabs at its ends.
inline std::string TrimModel(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
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

// Well-formed UTF-8, by decoding: a lead byte gives the length, each further byte is 10xxxxxx,
// and the value is neither longer than it needs, a surrogate, nor past U+10FFFF.
inline bool IsValidUtf8(std::string_view bytes) {
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    for (size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const size_t length = b < 0x80 ? 1 : b >> 5 == 6 ? 2 : b >> 4 == 14 ? 3 : b >> 3 == 30 ? 4 : 0;
        if (length == 0 || i + length > bytes.size()) return false;
        char32_t value = length == 1 ? b : b & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(bytes[i + k]);
            if (c >> 6 != 2) return false;
            value = value << 6 | (c & 0x3F);
        }
        if (value < kLeast[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
        i += length;
    }
    return true;
}

}  // namespace varnholt::fuzz
