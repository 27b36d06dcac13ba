#pragma once
// A tagged automation value with the run time's conversions.
#include <atomic>
#include <cstdint>
#include <memory>
#include <variant>

#include "varnholt/SafeArray.h"
#include "varnholt/String.h"

namespace varnholt {

namespace detail {

// Immutable text shared by the copies of a Variant: a copy costs a count, not an allocation and
// a second copy of the characters (an enumeration keeps every name and path in two places).
// Empty text holds no block.
class SharedText {
public:
    SharedText() = default;
    explicit SharedText(std::u16string_view text);
    SharedText(const SharedText& other) noexcept : block_(other.block_) {
        if (block_) block_->refs.fetch_add(1, std::memory_order_relaxed);
    }
    SharedText(SharedText&& other) noexcept : block_(other.block_) { other.block_ = nullptr; }
    SharedText& operator=(SharedText other) noexcept {
        std::swap(block_, other.block_);
        return *this;
    }
    ~SharedText();

    std::u16string_view View() const {
        return block_ ? std::u16string_view(reinterpret_cast<const char16_t*>(block_ + 1), block_->length)
                      : std::u16string_view();
    }
    friend bool operator==(const SharedText& a, const SharedText& b) { return a.View() == b.View(); }

private:
    struct Block {  // the characters follow
        std::atomic<size_t> refs;
        size_t length;
    };
    Block* block_ = nullptr;
};

}  // namespace detail

// Base of every object a Variant can hold (recordsets, connections).
class Object {
public:
    virtual ~Object() = default;
};

class Variant {
public:
    enum class Type { Empty, Null, Integer, Long, Double, Boolean, String, Array, Object };

    Variant() = default;
    Variant(int16_t v) : value_(v) {}
    Variant(int32_t v) : value_(v) {}
    Variant(double v) : value_(v) {}
    Variant(bool v) : value_(v) {}
    Variant(const String& v) : value_(detail::SharedText(v)) {}
    Variant(StringView v) : value_(detail::SharedText(v)) {}
    Variant(const char16_t* v) : value_(detail::SharedText(v)) {}
    Variant(SafeArray<Variant> v) : value_(std::make_shared<const SafeArray<Variant>>(std::move(v))) {}
    Variant(std::shared_ptr<Object> v) : value_(std::move(v)) {}
    static Variant Null() {
        Variant v;
        v.value_ = NullTag{};
        return v;
    }

    Type GetType() const { return static_cast<Type>(value_.index()); }
    bool IsEmpty() const { return GetType() == Type::Empty; }
    bool IsNull() const { return GetType() == Type::Null; }
    bool IsArray() const { return GetType() == Type::Array; }

    // Conversions as the run time makes them: Null raises 94, what cannot convert raises 13,
    // a number out of range raises 6.
    String ToText() const;
    int32_t ToLong() const;
    int16_t ToInteger() const;
    bool ToBool() const;
    double ToDouble() const;
    const SafeArray<Variant>& AsArray() const;  // 13 when not an array
    std::shared_ptr<Object> AsObject() const;   // 13 when not an object

    friend bool operator==(const Variant& a, const Variant& b);

private:
    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    std::variant<std::monostate, NullTag, int16_t, int32_t, double, bool, detail::SharedText,
                 std::shared_ptr<const SafeArray<Variant>>, std::shared_ptr<Object>>
        value_;
};

// Double to text as the run time writes it: up to 15 significant digits, "1E+20" form for
// large and small magnitudes.
String DoubleToText(double value);

}  // namespace varnholt
