#pragma once
// Owning wrappers for automation handles: interface pointers, BSTR, VARIANT and SAFEARRAY.
// Every handle in the component lives in one of these; nothing releases by hand.
#include <windows.h>
#include <oleauto.h>

#include <cstddef>
#include <utility>

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

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(BSTR owned) : b_(owned) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : b_(std::exchange(other.b_, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.b_, nullptr));
        return *this;
    }
    ~Bstr() { SysFreeString(b_); }

    BSTR Get() const { return b_; }
    BSTR* Put() {
        Reset();
        return &b_;
    }
    BSTR Detach() { return std::exchange(b_, nullptr); }
    void Reset(BSTR owned = nullptr) { SysFreeString(std::exchange(b_, owned)); }

private:
    BSTR b_ = nullptr;
};

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

class SafeArrayPtr {
public:
    SafeArrayPtr() = default;
    explicit SafeArrayPtr(SAFEARRAY* owned) : a_(owned) {}
    SafeArrayPtr(const SafeArrayPtr&) = delete;
    SafeArrayPtr& operator=(const SafeArrayPtr&) = delete;
    SafeArrayPtr(SafeArrayPtr&& other) noexcept : a_(std::exchange(other.a_, nullptr)) {}
    SafeArrayPtr& operator=(SafeArrayPtr&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.a_, nullptr));
        return *this;
    }
    ~SafeArrayPtr() { Reset(); }

    SAFEARRAY* Get() const { return a_; }
    SAFEARRAY** Put() {
        Reset();
        return &a_;
    }
    SAFEARRAY* Detach() { return std::exchange(a_, nullptr); }
    void Reset(SAFEARRAY* owned = nullptr) {
        if (SAFEARRAY* old = std::exchange(a_, owned)) SafeArrayDestroy(old);
    }

private:
    SAFEARRAY* a_ = nullptr;
};

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
