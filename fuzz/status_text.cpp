// GetBtrieveErrorNumber and GetNumericPart on any text, against a model in 64-bit arithmetic:
// the same results, and error 6 exactly where the 16-bit arithmetic overflows.
#include <fuzzer/FuzzedDataProvider.h>

#include <optional>

#include "FuzzCheck.h"
#include "engine/StatusText.h"

using namespace varnholt;
using namespace varnholt::fuzz;

namespace {

constexpr StringView kMarker = u"Btrieve Error";

// The value, or none where the Integer arithmetic overflows.
std::optional<int16_t> NumericModel(StringView text) {
    if (text.size() >= 32767) return std::nullopt;  // the loop counter passes 32767
    long long value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') continue;
        value = value * 10 + (c - u'0');
        if (value > 32767) return std::nullopt;
    }
    return static_cast<int16_t>(value);
}

std::optional<int16_t> BtrieveModel(StringView message) {
    const size_t found = message.find(kMarker);
    if (found == StringView::npos) return 0;
    // 1-based position p, rest from p + 14: both must be Integers.
    if (found + 1 + 14 > 32767) return std::nullopt;
    const size_t rest = found + kMarker.size() + 1;
    return NumericModel(rest < message.size() ? message.substr(rest) : StringView());
}

template <class Call>
void Check(const char* what, const String& input, std::optional<int16_t> expected, Call&& call) {
    try {
        const int16_t got = call();
        FUZZ_CHECK(expected.has_value(), std::string(what) + " returned " + std::to_string(got) +
                                             " instead of overflowing for " + Shown(input));
        FUZZ_CHECK(got == *expected, std::string(what) + " returned " + std::to_string(got) + ", model " +
                                         std::to_string(*expected) + " for " + Shown(input));
    } catch (const Error& e) {
        FUZZ_CHECK(!expected.has_value(), std::string(what) + " raised " + e.what() + " for " + Shown(input));
        FUZZ_CHECK(Same(e, Runtime(kOverflow)), std::string(what) + " raised " + e.what());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    // Long texts come from a run of one character before the fuzzed part, so that the limits
    // near 32767 are reached without 64 KiB inputs.
    const bool padded = input.ConsumeIntegralInRange(0, 3) == 3;
    const auto padding = input.ConsumeIntegralInRange<uint16_t>(0, 40000);
    const auto filler = input.ConsumeIntegral<char16_t>();
    const bool withMarker = input.ConsumeBool();
    const bool wide = input.ConsumeBool();
    const std::string rest = input.ConsumeRemainingBytesAsString();

    String message(padded ? padding : 0, filler);
    if (withMarker) message += kMarker;
    if (wide)
        message += Utf16Units(reinterpret_cast<const uint8_t*>(rest.data()), rest.size());
    else
        message += String(rest.begin(), rest.end());  // each byte one character: digits come easily

    Check("GetBtrieveErrorNumber", message, BtrieveModel(message), [&] { return GetBtrieveErrorNumber(message); });
    Check("GetNumericPart", message, NumericModel(message), [&] { return GetNumericPart(message); });
    return 0;
}
