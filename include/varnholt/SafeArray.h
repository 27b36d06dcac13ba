#pragma once
// An automation array: any number of dimensions, each with its own bounds. Elements are
// stored leftmost subscript fastest, as in a SAFEARRAY. An array without dimensions is the
// unallocated array: every subscript (and every bound) raises error 9.
#include <cstdint>
#include <initializer_list>
#include <new>
#include <utility>
#include <vector>

#include "varnholt/Error.h"

namespace varnholt {

struct Bound {
    int32_t lower = 0;
    int32_t upper = -1;  // upper < lower: no elements in this dimension
    int64_t Count() const { return upper >= lower ? int64_t(upper) - lower + 1 : 0; }
};

template <class T>
class SafeArray {
public:
    SafeArray() = default;
    // Raises 7 "Out of memory" for more elements than a Long can count or memory can hold: the
    // count is taken in 64 bits, so a 32-bit build never sizes a wrapped-around, tiny array.
    explicit SafeArray(std::vector<Bound> bounds) : bounds_(std::move(bounds)) {
        constexpr int64_t kMaxElements = INT32_MAX;
        int64_t n = bounds_.empty() ? 0 : 1;
        for (const Bound& b : bounds_) {
            n *= b.Count();
            if (n > kMaxElements) RaiseRuntime(kOutOfMemory);
        }
        if (static_cast<uint64_t>(n) > data_.max_size()) RaiseRuntime(kOutOfMemory);
        try {
            data_.resize(static_cast<size_t>(n));
        } catch (const std::bad_alloc&) {
            RaiseRuntime(kOutOfMemory);
        }
    }
    // One dimension from lower, holding items in order.
    static SafeArray Vector(int32_t lower, std::vector<T> items) {
        SafeArray a;
        a.bounds_ = {Bound{lower, static_cast<int32_t>(lower + static_cast<int64_t>(items.size()) - 1)}};
        a.data_ = std::move(items);
        return a;
    }

    bool IsAllocated() const { return !bounds_.empty(); }
    int Dimensions() const { return static_cast<int>(bounds_.size()); }
    const std::vector<Bound>& Bounds() const { return bounds_; }
    size_t ElementCount() const { return data_.size(); }

    // LBound/UBound of dimension dim (1-based), error 9 where there is none.
    int32_t LBound(int dim = 1) const { return BoundOf(dim).lower; }
    int32_t UBound(int dim = 1) const { return BoundOf(dim).upper; }

    const T& operator()(std::initializer_list<int32_t> subscripts) const { return data_[Offset(subscripts)]; }
    T& operator()(std::initializer_list<int32_t> subscripts) { return data_[Offset(subscripts)]; }
    const T& At(int32_t i) const { return (*this)({i}); }
    T& At(int32_t i) { return (*this)({i}); }
    const T& At(int32_t i, int32_t j) const { return (*this)({i, j}); }
    T& At(int32_t i, int32_t j) { return (*this)({i, j}); }

    // Storage in SAFEARRAY order, for marshalling.
    const std::vector<T>& Elements() const { return data_; }
    std::vector<T>& Elements() { return data_; }

    friend bool operator==(const SafeArray& a, const SafeArray& b) {
        if (a.bounds_.size() != b.bounds_.size()) return false;
        for (size_t i = 0; i < a.bounds_.size(); ++i)
            if (a.bounds_[i].lower != b.bounds_[i].lower || a.bounds_[i].upper != b.bounds_[i].upper) return false;
        return a.data_ == b.data_;
    }

private:
    const Bound& BoundOf(int dim) const {
        if (dim < 1 || dim > Dimensions()) RaiseRuntime(kSubscriptOutOfRange);
        return bounds_[static_cast<size_t>(dim - 1)];
    }
    size_t Offset(std::initializer_list<int32_t> subscripts) const {
        if (subscripts.size() != bounds_.size() || bounds_.empty()) RaiseRuntime(kSubscriptOutOfRange);
        size_t offset = 0, stride = 1;
        size_t d = 0;
        for (int32_t s : subscripts) {
            const Bound& b = bounds_[d++];
            if (s < b.lower || s > b.upper) RaiseRuntime(kSubscriptOutOfRange);
            offset += static_cast<size_t>(int64_t(s) - b.lower) * stride;
            stride *= static_cast<size_t>(b.Count());
        }
        return offset;
    }

    std::vector<Bound> bounds_;
    std::vector<T> data_;
};

}  // namespace varnholt
