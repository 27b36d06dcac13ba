#pragma once
// The IUnknown of every COM object this project implements (the component's two classes and
// their class factory, and the test ADO server's objects): one thread-safe reference count, one
// way to answer QueryInterface, and creation that hands the only reference to the caller.
#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <new>
#include <utility>

namespace varnholt::win32 {

// Derived answers Find(iid) with its interface pointer for iid, or nullptr. First and Rest are
// the interfaces (or partial implementations of them) it derives from; the constructor's
// arguments go to First. Derived keeps its constructors and destructor private and befriends
// its ComObject, so that objects are made only by Create and deleted only by Release.
template <class Derived, class First, class... Rest>
class ComObject : public First, public Rest... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = static_cast<Derived*>(this)->Find(iid);
        if (!*object) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references_;
        if (left == 0) delete static_cast<Derived*>(this);
        return left;
    }

    // A new object, queried for iid: on success its only reference is in *object.
    template <class... Args>
    static HRESULT Create(REFIID iid, void** object, Args&&... args) {
        if (!object) return E_POINTER;
        *object = nullptr;
        auto* created = new (std::nothrow) Derived(std::forward<Args>(args)...);
        if (!created) return E_OUTOFMEMORY;
        const HRESULT hr = created->QueryInterface(iid, object);
        created->Release();
        return hr;
    }

protected:
    template <class... Args>
    explicit ComObject(Args&&... args) : First(std::forward<Args>(args)...) {}
    ~ComObject() = default;

private:
    std::atomic<ULONG> references_{1};
};

}  // namespace varnholt::win32
