#pragma once
// A minimal checking harness for the test programs that run under Wine (no test framework is
// built for the Windows targets), and the automation values the clients build. Each failed check
// prints where and what; Summary() prints the closing "N passed, M failed" line and gives the
// exit code.
#include <windows.h>
#include <oleauto.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <type_traits>
#include <vector>

namespace varnholt::wintest {

inline int passed = 0, failed = 0;

inline bool Check(bool ok, const char* what, const char* file, int line, const std::string& detail = {}) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED %s:%d: %s %s\n", file, line, what, detail.c_str());
    }
    return ok;
}

inline std::string Text(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}
inline std::string Text(const std::string& s) { return s; }
inline std::string Text(const wchar_t* s) {
    return s ? Text(std::u16string(reinterpret_cast<const char16_t*>(s))) : "";
}
inline std::string Text(const char16_t* s) { return Text(std::u16string(s)); }
inline std::string Text(const char* s) { return s; }
inline std::string Text(bool v) { return v ? "true" : "false"; }
template <class N>
std::string Text(N v) requires std::is_arithmetic_v<N> {
    return std::to_string(v);
}

template <class A, class B>
bool CheckEqual(const A& a, const B& b, const char* what, const char* file, int line) {
    const bool ok = a == b;
    return Check(ok, what, file, line, ok ? std::string() : "got [" + Text(a) + "] expected [" + Text(b) + "]");
}

inline int Summary() {
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

// The texts an EXCEPINFO owns, freed with it.
struct ExcepInfo : EXCEPINFO {
    ExcepInfo() : EXCEPINFO{} {}
    ExcepInfo(const ExcepInfo&) = delete;
    ExcepInfo& operator=(const ExcepInfo&) = delete;
    ~ExcepInfo() { Reset(); }
    void Reset() {
        SysFreeString(bstrSource);
        SysFreeString(bstrDescription);
        SysFreeString(bstrHelpFile);
        static_cast<EXCEPINFO&>(*this) = EXCEPINFO{};
    }
};

// The thread's error record after a failed call: "source|description".
inline std::string LastError() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return "(no error record)";
    BSTR source = nullptr, description = nullptr;
    info->GetSource(&source);
    info->GetDescription(&description);
    std::string text = Text(source) + "|" + Text(description);
    SysFreeString(source);
    SysFreeString(description);
    info->Release();
    return text;
}

// Unowned VARIANT values: the test frees what they hold.
inline VARIANT Of(VARTYPE type) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    return v;
}
// clang-format off
inline VARIANT Str(BSTR b) { VARIANT v = Of(VT_BSTR); V_BSTR(&v) = b; return v; }
inline VARIANT Int(short n) { VARIANT v = Of(VT_I2); V_I2(&v) = n; return v; }
inline VARIANT Long(LONG n) { VARIANT v = Of(VT_I4); V_I4(&v) = n; return v; }
inline VARIANT Bool(bool b) { VARIANT v = Of(VT_BOOL); V_BOOL(&v) = b ? VARIANT_TRUE : VARIANT_FALSE; return v; }
inline VARIANT Missing() { VARIANT v = Of(VT_ERROR); V_ERROR(&v) = DISP_E_PARAMNOTFOUND; return v; }
inline VARIANT RefTo(VARIANT* target) { VARIANT v = Of(VT_BYREF | VT_VARIANT); V_VARIANTREF(&v) = target; return v; }
// clang-format on

// A BSTR array of items from subscript lower.
inline SAFEARRAY* Strings(LONG lower, const std::vector<std::wstring>& items) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(items.size()), lower};
    SAFEARRAY* a = SafeArrayCreate(VT_BSTR, 1, &bound);
    for (size_t i = 0; i < items.size(); ++i) {
        LONG index = lower + static_cast<LONG>(i);
        BSTR b = SysAllocString(items[i].c_str());
        SafeArrayPutElement(a, &index, b);
        SysFreeString(b);
    }
    return a;
}

// An array's element type and the bounds of each dimension: "8: 1..3 0..1".
inline std::string Shape(SAFEARRAY* a) {
    VARTYPE type = VT_EMPTY;
    SafeArrayGetVartype(a, &type);
    std::string text = std::to_string(type) + ":";
    for (UINT d = 1; d <= SafeArrayGetDim(a); ++d) {
        LONG lower = 0, upper = 0;
        SafeArrayGetLBound(a, d, &lower);
        SafeArrayGetUBound(a, d, &upper);
        text += " " + std::to_string(lower) + ".." + std::to_string(upper);
    }
    return text;
}

inline DISPID IdOf(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    object->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

// Invoke as a script does: positional arguments in the member's order (rgvarg wants them
// reversed), a property's new value named DISPID_PROPERTYPUT.
inline HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result,
                    EXCEPINFO* excep, WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    const bool isPut = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), isPut ? &put : nullptr, static_cast<UINT>(reversed.size()), isPut ? 1u : 0u};
    UINT argErr = 0;
    return object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, excep, &argErr);
}

}  // namespace varnholt::wintest

#define CHECK(cond) ::varnholt::wintest::Check(static_cast<bool>(cond), #cond, __FILE__, __LINE__)
#define CHECK_EQ(a, b) ::varnholt::wintest::CheckEqual((a), (b), #a " == " #b, __FILE__, __LINE__)
// HRESULTs compare as unsigned numbers, which read as they are written.
#define CHECK_HR(a, b) CHECK_EQ(static_cast<uint32_t>(a), static_cast<uint32_t>(b))
