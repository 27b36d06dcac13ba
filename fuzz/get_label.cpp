// GetLabel with a fuzzed prompt and up to 12 arguments of every Variant type, against a model
// that fills "[%n]" argument by argument with a plain find-and-replace.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <variant>

#include "FuzzCheck.h"
#include "varnholt/ConnectionHelper.h"

using namespace varnholt;
using namespace varnholt::fuzz;

namespace {

// Prompts whose filling would pass this many characters are not run: twelve arguments that
// each repeat the next one's placeholder grow the text geometrically, by design.
constexpr size_t kLongestModelText = size_t(1) << 20;

struct Opaque : Object {};

Variant Argument(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 8)) {
        case 0:
            return Variant();
        case 1:
            return Variant::Null();
        case 2:
            return Variant(input.ConsumeIntegral<int16_t>());
        case 3:
            return Variant(input.ConsumeIntegral<int32_t>());
        case 4: {
            // Any bit pattern: infinities and NaNs included.
            const uint64_t bits = input.ConsumeIntegral<uint64_t>();
            double value;
            std::memcpy(&value, &bits, sizeof value);
            return Variant(value);
        }
        case 5:
            return Variant(input.ConsumeBool());
        case 6:
            return Variant(FuzzText(input, 64));
        case 7: {
            const int8_t lower = input.ConsumeIntegral<int8_t>();
            return Variant(SafeArray<Variant>::Vector(lower, {Variant(FuzzText(input, 64))}));
        }
        default:
            return Variant(std::static_pointer_cast<Object>(std::make_shared<Opaque>()));
    }
}

// The text of an argument, or the run-time error its conversion raises.
std::variant<String, int32_t> ModelText(const Variant& v) {
    switch (v.GetType()) {
        case Variant::Type::Empty:
            return String();
        case Variant::Type::Null:
            return kInvalidUseOfNull;
        case Variant::Type::Integer:
        case Variant::Type::Long:
            return Decimal(v.ToLong());
        case Variant::Type::Double:
            if (!std::isfinite(v.ToDouble())) return kOverflow;
            return DoubleToText(v.ToDouble());
        case Variant::Type::Boolean:
            return String(v.ToBool() ? u"True" : u"False");
        case Variant::Type::String:
            return v.ToText();
        default:
            return kTypeMismatch;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    String prompt = FuzzText(input, 64);
    std::vector<Variant> args;
    const int count = input.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < count; ++i) args.push_back(Argument(input));

    // The model: each argument in turn, every occurrence of its placeholder replaced left to
    // right, the replacement itself not searched again.
    String text = prompt;
    std::optional<int32_t> error;
    for (size_t i = 0; i < args.size() && !error; ++i) {
        const auto converted = ModelText(args[i]);
        if (const int32_t* number = std::get_if<int32_t>(&converted)) {
            error = *number;
            break;
        }
        const String& value = std::get<String>(converted);
        const String placeholder = u"[%" + Decimal(static_cast<long long>(i) + 1) + u"]";
        for (size_t at = text.find(placeholder); at != String::npos; at = text.find(placeholder, at + value.size())) {
            text.replace(at, placeholder.size(), value);
            if (text.size() > kLongestModelText) return -1;  // not worth keeping in the corpus
        }
    }

    ConnectionHelper helper;
    const String before = prompt;
    try {
        const String got = helper.GetLabel(prompt, args);
        FUZZ_CHECK(!error, "GetLabel returned " + Shown(got) + " where the model raises " + std::to_string(*error));
        FUZZ_CHECK(got == text, "GetLabel gave " + Shown(got) + ", model " + Shown(text) + " for " + Shown(prompt));
    } catch (const Error& e) {
        FUZZ_CHECK(error.has_value(), std::string("GetLabel raised ") + e.what() + " for " + Shown(prompt));
        FUZZ_CHECK(Same(e, Runtime(*error)),
                   std::string("GetLabel raised ") + e.what() + ", model " + Describe(Runtime(*error)));
    }
    FUZZ_CHECK(prompt == before, "GetLabel changed its prompt");
    return 0;
}
