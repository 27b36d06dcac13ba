// GetLabel with a fuzzed prompt and up to 12 arguments of every Variant type, against a model
// that fills "[%n]" argument by argument with a plain find-and-replace.
#include <cmath>
#include <cstring>

#include "FuzzCheck.h"
#include "varnholt/ConnectionHelper.h"

using namespace varnholt;
using namespace varnholt::fuzz;

namespace {

// Prompts whose filling would pass this many characters are not run: twelve arguments that
// each repeat the next one's placeholder grow the text geometrically, by design.
constexpr size_t kLongestModelText = size_t(1) << 20;

struct Opaque : Object {};

// An argument, with its text or the run-time error its conversion raises.
struct Argument {
    Variant value;
    Outcome<String> text;
};

Argument FuzzArgument(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 8)) {
        case 0: return {Variant(), String()};
        case 1: return {Variant::Null(), Runtime(kInvalidUseOfNull)};
        case 2: {
            const auto n = input.ConsumeIntegral<int16_t>();
            return {Variant(n), Decimal(n)};
        }
        case 3: {
            const auto n = input.ConsumeIntegral<int32_t>();
            return {Variant(n), Decimal(n)};
        }
        case 4: {
            // Any bit pattern: infinities and NaNs included.
            const uint64_t bits = input.ConsumeIntegral<uint64_t>();
            double value;
            std::memcpy(&value, &bits, sizeof value);
            if (!std::isfinite(value)) return {Variant(value), Runtime(kOverflow)};
            return {Variant(value), DoubleToText(value)};
        }
        case 5: {
            const bool b = input.ConsumeBool();
            return {Variant(b), String(b ? u"True" : u"False")};
        }
        case 6: {
            const String text = FuzzText(input, 64);
            return {Variant(text), text};
        }
        case 7: {
            const int8_t lower = input.ConsumeIntegral<int8_t>();
            return {Variant(SafeArray<Variant>::Vector(lower, {Variant(FuzzText(input, 64))})), Runtime(kTypeMismatch)};
        }
        default: return {Variant(std::static_pointer_cast<Object>(std::make_shared<Opaque>())), Runtime(kTypeMismatch)};
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const String prompt = FuzzText(input, 64);
    std::vector<Variant> args;
    Outcome<String> expected{prompt};
    const int count = input.ConsumeIntegralInRange(0, 12);
    // The model: each argument in turn, every occurrence of its placeholder replaced left to
    // right, the replacement itself not searched again; the first that does not convert fails.
    for (int i = 0; i < count; ++i) {
        const Argument arg = FuzzArgument(input);
        args.push_back(arg.value);
        if (!expected.error) expected.error = arg.text.error;
        if (expected.error) continue;
        const String& value = arg.text.value;
        String& text = expected.value;
        const String placeholder = u"[%" + Decimal(i + 1) + u"]";
        for (size_t at = text.find(placeholder); at != String::npos; at = text.find(placeholder, at + value.size())) {
            text.replace(at, placeholder.size(), value);
            if (text.size() > kLongestModelText) return -1;  // not worth keeping in the corpus
        }
    }

    ConnectionHelper helper;
    CheckCall("GetLabel", prompt, expected, [&] { return helper.GetLabel(prompt, args); });
    return 0;
}
