#include "varnholt/Variant.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <limits>

namespace varnholt {

namespace detail {

SharedText::SharedText(std::u16string_view text) {
    if (text.empty()) return;
    void* memory = ::operator new(sizeof(Block) + text.size() * sizeof(char16_t));
    block_ = new (memory) Block{{1}, text.size()};
    std::memcpy(static_cast<char*>(memory) + sizeof(Block), text.data(), text.size() * sizeof(char16_t));
}

SharedText::~SharedText() {
    if (block_ && block_->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        block_->~Block();
        ::operator delete(block_);
    }
}

}  // namespace detail

String DoubleToText(double value) {
    if (std::isnan(value) || std::isinf(value)) RaiseRuntime(kOverflow);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", value);
    std::string s(buf);
    // The run time writes exponents without leading zeros beyond two digits: "1E+20", "1E-05".
    if (const auto e = s.find('E'); e != std::string::npos) {
        std::string mantissa = s.substr(0, e), exponent = s.substr(e + 2);
        const char sign = s[e + 1];
        while (exponent.size() > 2 && exponent[0] == '0') exponent.erase(0, 1);
        s = mantissa + "E" + sign + exponent;
    }
    if (s == "-0") s = "0";
    return String(s.begin(), s.end());
}

String Variant::ToText() const {
    switch (GetType()) {
        case Type::Empty: return {};
        case Type::Null: RaiseRuntime(kInvalidUseOfNull);
        case Type::Integer: return Decimal(std::get<int16_t>(value_));
        case Type::Long: return Decimal(std::get<int32_t>(value_));
        case Type::Double: return DoubleToText(std::get<double>(value_));
        case Type::Boolean: return std::get<bool>(value_) ? u"True" : u"False";
        case Type::String: return String(std::get<detail::SharedText>(value_).View());
        case Type::Array:
        case Type::Object: break;
    }
    RaiseRuntime(kTypeMismatch);
}

double Variant::ToDouble() const {
    switch (GetType()) {
        case Type::Empty: return 0;
        case Type::Null: RaiseRuntime(kInvalidUseOfNull);
        case Type::Integer: return std::get<int16_t>(value_);
        case Type::Long: return std::get<int32_t>(value_);
        case Type::Double: return std::get<double>(value_);
        case Type::Boolean: return std::get<bool>(value_) ? -1 : 0;
        case Type::String: {
            const std::string text = ToUtf8(Trim(std::get<detail::SharedText>(value_).View()));
            if (text.empty()) break;
            char* end = nullptr;
            const double d = std::strtod(text.c_str(), &end);
            if (end != text.c_str() + text.size()) break;
            return d;
        }
        case Type::Array:
        case Type::Object: break;
    }
    RaiseRuntime(kTypeMismatch);
}

int32_t Variant::ToLong() const {
    switch (GetType()) {
        case Type::Integer: return std::get<int16_t>(value_);
        case Type::Long: return std::get<int32_t>(value_);
        default: break;
    }
    // Fractions round half to even, as the run time's CLng does.
    const double d = std::nearbyint(ToDouble());
    if (!(d >= std::numeric_limits<int32_t>::min() && d <= std::numeric_limits<int32_t>::max()))
        RaiseRuntime(kOverflow);
    return static_cast<int32_t>(d);
}

int16_t Variant::ToInteger() const { return CheckedInteger(ToLong()); }

bool Variant::ToBool() const {
    if (GetType() == Type::Boolean) return std::get<bool>(value_);
    if (GetType() == Type::String) {
        const String t = UCase(Trim(std::get<detail::SharedText>(value_).View()));
        if (t == u"TRUE") return true;
        if (t == u"FALSE") return false;
    }
    return ToDouble() != 0;
}

const SafeArray<Variant>& Variant::AsArray() const {
    if (GetType() != Type::Array) RaiseRuntime(kTypeMismatch);
    return *std::get<std::shared_ptr<const SafeArray<Variant>>>(value_);
}

std::shared_ptr<Object> Variant::AsObject() const {
    if (GetType() != Type::Object) RaiseRuntime(kTypeMismatch);
    return std::get<std::shared_ptr<Object>>(value_);
}

bool operator==(const Variant& a, const Variant& b) {
    if (a.GetType() != b.GetType()) return false;
    if (a.GetType() == Variant::Type::Array) return a.AsArray() == b.AsArray();
    return a.value_ == b.value_;
}

}  // namespace varnholt
