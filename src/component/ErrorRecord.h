#pragma once
// Raised errors as automation clients receive them: a failure HRESULT plus the thread's error
// record (source and description).
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <new>

#include "platform/win32/AutomationValues.h"
#include "varnholt/Error.h"

namespace varnholt::component {

// Sets the thread's error record from error (interface iid) and returns its HRESULT
// (HResultOfNumber; the record carries source and description even where that is E_FAIL).
HRESULT ReportError(const Error& error, REFIID iid) noexcept;

// A failure of the calling convention itself (a null out-pointer, a bad argument type), which
// carries no error record.
struct CallFailure {
    HRESULT hr;
};

// Runs body and turns whatever leaves it into the member's HRESULT.
template <class Body>
HRESULT Guarded(REFIID iid, Body&& body) noexcept {
    try {
        body();
        return S_OK;
    } catch (const Error& error) {
        return ReportError(error, iid);
    } catch (const CallFailure& failure) {
        SetErrorInfo(0, nullptr);
        return failure.hr;
    } catch (const std::bad_alloc&) {
        return ReportError(Error(7, kRuntimeSource, u"Out of memory"), iid);
    } catch (...) {
        return ReportError(Error(51, kRuntimeSource, u"Internal error"), iid);
    }
}

// The out-parameter p, or E_POINTER when the caller passed none.
template <class T>
T& Out(T* p) {
    if (!p) throw CallFailure{E_POINTER};
    return *p;
}

}  // namespace varnholt::component
