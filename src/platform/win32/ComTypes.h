#pragma once
// Owning wrappers for automation handles: interface pointers, BSTR, VARIANT and SAFEARRAY.
// Every handle in the component lives in one of these; nothing releases by hand.
#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <utility>

#include "platform/Handle.h"

namespace varnholt::win32 {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference to p.
    static ComPtr Share(T* p) {
        ComPtr result;
        result.p_ = p;
        if (p) p->AddRef();
        return result;
    }
    // Adopts the reference the caller owns.
    static ComPtr Adopt(T* p) {
        ComPtr result;
        result.p_ = p;
        return result;
    }
    ComPtr(const ComPtr& other) : p_(other.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases what is held and hands out the slot.
    T** Put() {
        Reset();
        return &p_;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    // Gives the reference to the caller.
    T* Detach() { return std::exchange(p_, nullptr); }

    template <class U>
    HRESULT QueryTo(REFIID iid, ComPtr<U>& out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(iid, out.PutVoid());
    }

private:
    T* p_ = nullptr;
};

struct BstrTraits {
    using Type = BSTR;
    static BSTR None() { return nullptr; }
    static void Free(BSTR b) { SysFreeString(b); }
};
using Bstr = platform::Handle<BstrTraits>;

class VariantValue {
public:
    // Zero-filled, so that a value a callee fails to write is still safe to clear.
    VariantValue() : v_{} { VariantInit(&v_); }
    VariantValue(const VariantValue&) = delete;
    VariantValue& operator=(const VariantValue&) = delete;
    VariantValue(VariantValue&& other) noexcept : v_(other.v_) { VariantInit(&other.v_); }
    VariantValue& operator=(VariantValue&& other) noexcept {
        if (this != &other) {
            Clear();
            v_ = other.v_;
            VariantInit(&other.v_);
        }
        return *this;
    }
    ~VariantValue() { VariantClear(&v_); }

    VARIANT* Get() { return &v_; }
    const VARIANT* Get() const { return &v_; }
    VARIANT& operator*() { return v_; }
    const VARIANT& operator*() const { return v_; }
    VARIANT* operator->() { return &v_; }
    const VARIANT* operator->() const { return &v_; }
    void Clear() {
        VariantClear(&v_);
        v_ = VARIANT{};
        VariantInit(&v_);
    }
    // Hands the value to the caller's VARIANT, which must hold nothing that needs freeing.
    void DetachTo(VARIANT* target) {
        *target = v_;
        VariantInit(&v_);
    }

private:
    VARIANT v_;
};

struct SafeArrayTraits {
    using Type = SAFEARRAY*;
    static SAFEARRAY* None() { return nullptr; }
    static void Free(SAFEARRAY* a) { SafeArrayDestroy(a); }
};
using SafeArrayPtr = platform::Handle<SafeArrayTraits>;

// SafeArrayAccessData for the life of the object.
class SafeArrayData {
public:
    explicit SafeArrayData(SAFEARRAY* array) : array_(array) {
        if (FAILED(SafeArrayAccessData(array, &data_))) array_ = nullptr;
    }
    SafeArrayData(const SafeArrayData&) = delete;
    SafeArrayData& operator=(const SafeArrayData&) = delete;
    ~SafeArrayData() {
        if (array_) SafeArrayUnaccessData(array_);
    }
    explicit operator bool() const { return array_ != nullptr; }
    template <class T>
    T* As() const {
        return static_cast<T*>(data_);
    }

private:
    SAFEARRAY* array_;
    void* data_ = nullptr;
};

// A type's TYPEATTR, released with the type information it came from.
class TypeAttr {
public:
    explicit TypeAttr(ITypeInfo* info) : info_(info) {
        if (FAILED(info->GetTypeAttr(&attr_))) attr_ = nullptr;
    }
    TypeAttr(const TypeAttr&) = delete;
    TypeAttr& operator=(const TypeAttr&) = delete;
    ~TypeAttr() {
        if (attr_) info_->ReleaseTypeAttr(attr_);
    }
    const TYPEATTR* operator->() const { return attr_; }
    explicit operator bool() const { return attr_ != nullptr; }

private:
    ITypeInfo* info_;
    TYPEATTR* attr_ = nullptr;
};

}  // namespace varnholt::win32
