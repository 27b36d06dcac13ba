// The stand-in driver's connection-string reader. Any bytes: no crash, and an unbraced value
// never holds ";" nor blanks at its ends. Built strings of key=value pairs, some braced: every
// key finds the value of its first pair.
#include "FuzzCheck.h"
#include "odbc/DriverText.h"
#include "store/Text.h"

using namespace varnholt::fuzz;
using varnholt::standin::Attribute;

namespace {

struct Pair {
    std::string key;
    std::string value;
    bool braced;
};

std::string Without(std::string text, std::string_view characters) {
    std::erase_if(text, [&](char c) { return characters.find(c) != std::string_view::npos; });
    return text;
}

void CheckBuilt(FuzzedDataProvider& input) {
    std::vector<Pair> pairs;
    const int count = input.ConsumeIntegralInRange(1, 6);
    for (int i = 0; i < count; ++i) {
        Pair pair;
        // Keys from a small alphabet so that later pairs repeat earlier keys.
        pair.key = Without(input.ConsumeRandomLengthString(6), "=;");
        if (TrimModel(pair.key).empty()) pair.key = "k";
        pair.braced = input.ConsumeBool();
        pair.value = input.ConsumeRandomLengthString(24);
        if (!pair.braced) {
            pair.value = Without(pair.value, ";");
            // A value that starts with "{" after blanks is read as braced.
            const size_t lead = pair.value.find_first_not_of(" \t");
            if (lead != std::string::npos && pair.value[lead] == '{') pair.value.insert(0, "x");
        }
        pairs.push_back(std::move(pair));
    }
    std::string text;
    for (const Pair& pair : pairs) {
        text += pair.key + "=";
        if (pair.braced) {
            text += input.ConsumeBool() ? " {" : "{";
            for (char c : pair.value) text += c == '}' ? std::string("}}") : std::string(1, c);
            text += "}";
        } else {
            text += pair.value;
        }
        text += ";";
    }
    for (const Pair& pair : pairs) {
        const Pair& first = *std::find_if(pairs.begin(), pairs.end(), [&](const Pair& other) {
            return varnholt::standin::SameText(TrimModel(other.key), TrimModel(pair.key));
        });
        const std::string expected = first.braced ? first.value : TrimModel(first.value);
        const std::optional<std::string> got = Attribute(text, TrimModel(pair.key));
        FUZZ_CHECK(got.has_value(), "key " + pair.key + " not found in " + text);
        FUZZ_CHECK(*got == expected,
                   "key " + pair.key + " gave \"" + *got + "\", expected \"" + expected + "\" in " + text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    if (input.ConsumeBool()) {
        CheckBuilt(input);
        return 0;
    }
    const std::string key = input.ConsumeRandomLengthString(16);
    const std::string text = input.ConsumeRemainingBytesAsString();
    for (const std::string& wanted : {key, std::string("ServerName"), std::string("dbq")}) {
        const std::optional<std::string> value = Attribute(text, wanted);
        if (!value) continue;
        FUZZ_CHECK(value->size() <= text.size(), "a value longer than its string");
        // Where the string has no braces, a value is plain: no ";", no blanks at the ends.
        if (text.find('{') == std::string::npos) {
            FUZZ_CHECK(value->find(';') == std::string::npos, "an unbraced value held ';'");
            FUZZ_CHECK(TrimModel(*value) == *value, "an unbraced value kept blanks");
        }
    }
    return 0;
}
