// GetBtrieveErrorNumber and GetNumericPart on any text, against a model in 64-bit arithmetic:
// the same results, and error 6 exactly where the 16-bit arithmetic overflows.
#include "FuzzCheck.h"
#include "engine/StatusText.h"

using namespace varnholt;
using namespace varnholt::fuzz;

namespace {

constexpr StringView kMarker = u"Btrieve Error";

// The value, or error 6 where the Integer arithmetic overflows.
Outcome<int16_t> NumericModel(StringView text) {
    const Outcome<int16_t> overflow = Runtime(kOverflow);
    if (text.size() >= 32767) return overflow;  // the loop counter passes 32767
    long long value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') continue;
        value = value * 10 + (c - u'0');
        if (value > 32767) return overflow;
    }
    return {static_cast<int16_t>(value)};
}

Outcome<int16_t> BtrieveModel(StringView message) {
    const size_t found = message.find(kMarker);
    if (found == StringView::npos) return {0};
    // 1-based position p, rest from p + 14: both must be Integers.
    if (found + 1 + 14 > 32767) return Runtime(kOverflow);
    const size_t rest = found + kMarker.size() + 1;
    return NumericModel(rest < message.size() ? message.substr(rest) : StringView());
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
    // Each byte one character, so that digits come easily, or raw UTF-16 units.
    message += wide ? Utf16Units(rest) : String(rest.begin(), rest.end());

    CheckCall("GetBtrieveErrorNumber", message, BtrieveModel(message), [&] { return GetBtrieveErrorNumber(message); });
    CheckCall("GetNumericPart", message, NumericModel(message), [&] { return GetNumericPart(message); });
    return 0;
}
