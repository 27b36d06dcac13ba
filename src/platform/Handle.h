#pragma once
// One owner for every system handle: freed once, when its owner goes, unless handed on.
// Traits names the handle's type, its empty value and how it is freed:
//   struct Traits { using Type = ...; static Type None(); static void Free(Type); };
#include <utility>

namespace varnholt::platform {

template <class Traits>
class Handle {
public:
    using Type = typename Traits::Type;

    Handle() = default;
    explicit Handle(Type owned) : h_(owned) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    Handle(Handle&& other) noexcept : h_(std::exchange(other.h_, Traits::None())) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) Reset(other.Detach());
        return *this;
    }
    ~Handle() { Reset(); }

    Type Get() const { return h_; }
    explicit operator bool() const { return h_ != Traits::None(); }
    // For out-parameters: frees what is held and hands out the slot.
    Type* Put() {
        Reset();
        return &h_;
    }
    // Gives the handle to the caller, who frees it (a file's close can report a lost write).
    Type Detach() { return std::exchange(h_, Traits::None()); }
    void Reset(Type owned = Traits::None()) {
        const Type old = std::exchange(h_, owned);
        if (old != Traits::None()) Traits::Free(old);
    }

private:
    Type h_ = Traits::None();
};

}  // namespace varnholt::platform
