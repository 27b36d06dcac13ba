// Random late-bound calls against Varnholt.dll, loaded by path: every member the type library
// describes, called through IDispatch::Invoke with random argument counts, types (each VARTYPE
// alone, by reference and in arrays of odd shapes), named arguments and invoke flags. Each call
// must come back (no crash, no hang), fail only with a DISP_E_ code, and report a raised error
// with a filled EXCEPINFO and an Empty result; the driver clears every VARIANT afterwards. At the
// end every object is released and the module may unload.
//
// Usage: random_calls <Varnholt.dll> <scratch folder> [calls per seed] [seed...]
//    or: random_calls <Varnholt.dll> <scratch folder> replay SEED CALL   (one reported call again)
// The stand-in engine must be on the search path with its home in VARNHOLT_ENGINE_HOME; path
// arguments point into the scratch folder (also the current folder) nearly always.
//
// The login dialog cannot show: its texts come from Literals 1 to 9, and the driver never sets
// a one-dimensional Literals array that holds any of those subscripts, so every way to the
// dialog (Login, GetDBName with a server, CreatePSQLDBName with ForceLogin, the provisioning
// members after a refusal) fails with error 9 before a window exists. A watchdog closes any
// window that appears anyway and reports it, and ends the run if one call takes too long.
#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <mutex>
#include <thread>

#include "Check.h"
#include "platform/win32/ComTypes.h"
#include "varnholt_idl.h"

using namespace varnholt::win32;
using varnholt::wintest::Text;

namespace {

constexpr DISPID kLiterals = 0x68030000;
constexpr int kCallSeconds = 30;

// A small, fast generator: every call draws from its own stream, so a call is named by its seed
// and number alone.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t Below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(Next() % n); }
    bool Chance(double p) { return static_cast<double>(Next() >> 11) * 0x1.0p-53 < p; }
    template <class T, size_t N>
    const T& Pick(const T (&items)[N]) {
        return items[Below(N)];
    }

private:
    uint64_t state_;
};

// A parameter as the type library declares it (an array as VT_ARRAY | element), for arguments
// of the expected shape.
struct Declared {
    VARTYPE type;
    bool reference;
};

struct Member {
    size_t object;  // 0 CPVSServer, 1 ConnectionHelper
    std::string name;
    MEMBERID id;
    INVOKEKIND kind;
    std::vector<Declared> params;  // without the result
    bool vararg;
};

VARTYPE ResolveType(ITypeInfo* info, const TYPEDESC& t) {
    if (t.vt != VT_USERDEFINED) return t.vt;
    ComPtr<ITypeInfo> ref;
    if (FAILED(info->GetRefTypeInfo(t.hreftype, ref.Put()))) return VT_VARIANT;
    TypeAttr attr(ref.Get());
    if (!attr) return VT_VARIANT;
    if (attr->typekind == TKIND_ENUM) return VT_I4;
    if (attr->typekind == TKIND_ALIAS) return ResolveType(ref.Get(), attr->tdescAlias);
    return attr->typekind == TKIND_RECORD ? VT_RECORD : VT_DISPATCH;
}

Declared Declare(ITypeInfo* info, const TYPEDESC& t) {
    const TYPEDESC& type = t.vt == VT_PTR ? *t.lptdesc : t;
    const VARTYPE vt = type.vt == VT_SAFEARRAY ? static_cast<VARTYPE>(VT_ARRAY | ResolveType(info, *type.lptdesc))
                                               : ResolveType(info, type);
    return {vt, t.vt == VT_PTR && vt != VT_DISPATCH};
}

// Every function of the object's dispatch type information but the restricted ones (IUnknown's
// and IDispatch's own, which no client calls late-bound).
std::vector<Member> ReadMembers(IDispatch* object, size_t index) {
    std::vector<Member> members;
    ComPtr<ITypeInfo> info;
    if (!CHECK_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()), S_OK)) return members;
    TypeAttr attr(info.Get());
    if (!CHECK(static_cast<bool>(attr))) return members;
    for (UINT i = 0; i < attr->cFuncs; ++i) {
        FUNCDESC* f = nullptr;
        if (!CHECK_EQ(info->GetFuncDesc(i, &f), S_OK)) continue;
        if (!(f->wFuncFlags & FUNCFLAG_FRESTRICTED)) {
            BSTR name = nullptr;
            UINT count = 0;
            CHECK_EQ(info->GetNames(f->memid, &name, 1, &count), S_OK);
            Member m{index, Text(name ? name : L"?"), f->memid, f->invkind, {}, f->cParamsOpt == -1};
            SysFreeString(name);
            for (SHORT p = 0; p < f->cParams; ++p)
                if (!(f->lprgelemdescParam[p].paramdesc.wParamFlags & PARAMFLAG_FRETVAL))
                    m.params.push_back(Declare(info.Get(), f->lprgelemdescParam[p].tdesc));
            members.push_back(std::move(m));
        }
        info->ReleaseFuncDesc(f);
    }
    return members;
}

// What one call owns beside its arguments: the variables its references point to.
struct CallStore {
    std::deque<VariantValue> targets;
    VARIANT* NewTarget() { return targets.emplace_back().Get(); }
};

struct Context {
    std::wstring scratch;             // without a trailing backslash
    std::vector<IDispatch*> objects;  // ours, for object arguments
};

// Where a value of type t lies in v: what a reference to it points at, what an array element holds.
void* Payload(VARIANT* v, VARTYPE t) {
    return t == VT_VARIANT ? static_cast<void*>(v) : t == VT_DECIMAL ? static_cast<void*>(&V_DECIMAL(v)) : &V_UI1(v);
}

const VARTYPE kScalarTypes[] = {VT_EMPTY, VT_NULL,     VT_I2,    VT_I4,   VT_R4,      VT_R8,      VT_CY, VT_DATE,
                                VT_BSTR,  VT_DISPATCH, VT_ERROR, VT_BOOL, VT_UNKNOWN, VT_DECIMAL, VT_I1, VT_UI1,
                                VT_UI2,   VT_UI4,      VT_I8,    VT_UI8,  VT_INT,     VT_UINT};
const VARTYPE kArrayElementTypes[] = {VT_BSTR, VT_VARIANT, VT_I2,    VT_I4,       VT_R8,      VT_BOOL,    VT_UI1,
                                      VT_CY,   VT_DATE,    VT_ERROR, VT_DISPATCH, VT_UNKNOWN, VT_DECIMAL, VT_I8};

std::wstring RandomText(Random& r) {
    // No ':' or '.', and no leading '\': text that reaches the file system names something in
    // the current folder, which is the scratch folder.
    static const wchar_t kAlphabet[] = L"abcXYZ019 _-[]%\\\x00e9\x00df\x4e2d\xd800\xffff\t\r\n";
    std::wstring text;
    const size_t n = r.Below(24);
    for (size_t i = 0; i < n; ++i) text += kAlphabet[r.Below(std::size(kAlphabet) - 1)];
    while (!text.empty() && text.front() == L'\\') text.erase(0, 1);
    return text;
}

BSTR MakeString(Random& r, const Context& c, bool small) {
    using namespace std::string_literals;
    // Each kind of text takes the rolls below its bound; the first kind lies in the scratch folder.
    static const size_t kBounds[] = {400, 480, 530, 610, 670, 710, 730};
    static const std::vector<std::wstring> kKinds[] = {
        {L"", L"\\", L"\\data", L"\\data\\", L"\\install", L"\\install\\", L"\\dict", L"\\dict\\", L"\\new", L"\\new\\",
         L"\\data\\CO.DAT", L"\\data\\*.DAT", L"\\install\\File.ddf", L"\\none\\x\\"},
        {L"data", L"data\\", L"install\\", L"sub\\deeper", L"CO.DAT", L"new"},  // relative
        {L"Q:\\Data", L"Q:", L"\\\\FS01\\apps\\Data", L"\\\\FS01\\apps\\", L"\\\\srv\\x", L"\\abc\\def", L"\\\\"},
        {L"FIRST", L"SECOND", L"first", L"NEW1", L"NO SUCH NAME", L"Beta", L"Marlwood4839", L"FS01"},
        {L"1", L"2", L"-1", L"12", L"True", L"False", L"1e400", L"&H10", L"3,5", L"2147483648", L" 7 "},
        {L"[%1]", L"x[%1][%2][%3]y", L"[%", L"%1]", L"[%10][%1]"},
        {L"AB\0CD"s, L"\0"s, L"FIRST\0X"s},
    };
    // Inside arrays text is never empty: arrays become Literals and Lits, whose texts are the
    // descriptions of raised errors, which must not be empty.
    const size_t roll = small ? 110 + r.Below(890) : r.Below(1000);
    if (roll < 40) return nullptr;
    if (roll < 110) return SysAllocString(L"");
    for (size_t k = 0; k < std::size(kBounds); ++k)
        if (roll < kBounds[k]) {
            const std::wstring s = (k == 0 ? c.scratch : L"") + kKinds[k][r.Below(kKinds[k].size())];
            return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
        }
    if (roll < 731 && !small) {
        // 1 MiB of text: plain, or made of placeholders.
        std::wstring s(512 * 1024, L'A');
        if (r.Chance(0.5))
            for (size_t i = 0; i + 4 <= s.size(); i += 4) s.replace(i, 4, L"[%1]");
        return SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
    }
    const std::wstring text = RandomText(r);
    return SysAllocString(text.empty() && small ? L"x" : text.c_str());
}

DECIMAL MakeDecimal(Random& r) {
    DECIMAL d{};
    d.scale = static_cast<BYTE>(r.Chance(0.95) ? r.Below(29) : r.Below(256));
    d.sign = r.Chance(0.5) ? DECIMAL_NEG : 0;
    d.Hi32 = r.Chance(0.5) ? 0 : static_cast<ULONG>(r.Next());
    d.Lo64 = r.Chance(0.3) ? r.Below(10) : r.Next();
    return d;
}

double MakeDouble(Random& r) {
    // clang-format off
    static const double kValues[] = {0.0, 1.0, 2.0, 3.0, -1.0, 2.5, 1e300, -1e300, 4.9e-324,
                                     std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                                     -std::numeric_limits<double>::infinity(), 2958465.9, -657435.0, 32767.5};
    // clang-format on
    return r.Chance(0.8) ? r.Pick(kValues) : static_cast<double>(static_cast<int64_t>(r.Next())) / 1e6;
}

int64_t MakeInteger(Random& r) {
    // clang-format off
    static const int64_t kValues[] = {0, 1, 2, 3, -1, 9, 10, 34, 7013, 32767, -32768, 65535, 2147483647,
                                      -2147483647 - 1, 4294967295, std::numeric_limits<int64_t>::max(),
                                      std::numeric_limits<int64_t>::min()};
    // clang-format on
    return r.Chance(0.8) ? r.Pick(kValues) : static_cast<int64_t>(r.Next());
}

IDispatch* MakeObject(Random& r, const Context& c) {
    if (r.Chance(0.3) || c.objects.empty()) return nullptr;
    IDispatch* d = c.objects[r.Below(c.objects.size())];
    d->AddRef();
    return d;
}

// A value of type (not by reference, not an array) into v, which holds nothing.
void MakeScalar(Random& r, const Context& c, VARTYPE type, VARIANT* v, bool small) {
    VariantInit(v);
    switch (type) {
        case VT_EMPTY:
        case VT_NULL: break;
        case VT_R4: V_R4(v) = static_cast<float>(MakeDouble(r)); break;
        case VT_R8:
        case VT_DATE: V_R8(v) = MakeDouble(r); break;
        case VT_BSTR: V_BSTR(v) = MakeString(r, c, small); break;
        case VT_DISPATCH:
        case VT_UNKNOWN: V_DISPATCH(v) = MakeObject(r, c); break;
        case VT_ERROR: {
            // clang-format off
            static const SCODE kCodes[] = {DISP_E_PARAMNOTFOUND, DISP_E_PARAMNOTFOUND, DISP_E_PARAMNOTFOUND, 0,
                                           E_FAIL, static_cast<SCODE>(0x800A0009), S_FALSE, DISP_E_TYPEMISMATCH};
            // clang-format on
            V_ERROR(v) = small ? E_FAIL : r.Pick(kCodes);  // a missing value would read as empty text
            break;
        }
        case VT_BOOL: {
            static const VARIANT_BOOL kValues[] = {VARIANT_TRUE, VARIANT_FALSE, 1, 0x1234};
            V_BOOL(v) = r.Pick(kValues);
            break;
        }
        case VT_DECIMAL: V_DECIMAL(v) = MakeDecimal(r); break;
        default: V_I8(v) = MakeInteger(r); break;  // the integers and Currency: the low bytes, as a cast keeps
    }
    V_VT(v) = type;  // last: a DECIMAL overlays the tag
}

void MakeValue(Random& r, const Context& c, CallStore& store, VARIANT* v, int depth, bool small);

// An array of element type with 1 to 3 dimensions of odd bounds, or none at all (a null array).
// One for Literals holds texts only (MakeLiteralSafe moves its bounds).
SAFEARRAY* MakeArray(Random& r, const Context& c, CallStore& store, VARTYPE element, int depth,
                     bool literalSafe = false) {
    if (r.Chance(0.08)) return nullptr;
    static const LONG kLowers[] = {0, 1, 1, -1, -5, 2, 10, -32768, 32767, 0x7FFFFFF0};
    static const ULONG kCounts[] = {0, 1, 2, 3, 9, 34, 40};
    const UINT dims = static_cast<UINT>(1 + r.Below(3));
    SAFEARRAYBOUND bounds[3];
    ULONG total = 1;
    for (UINT d = 0; d < dims; ++d) {
        bounds[d].lLbound = r.Pick(kLowers);
        bounds[d].cElements = r.Pick(kCounts);
        if (total * bounds[d].cElements > 400) bounds[d].cElements = r.Below(3);
        total *= bounds[d].cElements;
    }
    SAFEARRAY* a = SafeArrayCreate(element, dims, bounds);
    if (!a || total == 0) return a;
    SafeArrayData data(a);
    if (!data) return a;
    const UINT size = SafeArrayGetElemsize(a);
    for (ULONG i = 0; i < total; ++i) {
        VARIANT v;
        if (literalSafe)
            v = varnholt::wintest::Str(SysAllocString(L"L"));
        else if (element == VT_VARIANT)
            MakeValue(r, c, store, &v, depth + 1, true);
        else
            MakeScalar(r, c, element, &v, true);
        std::memcpy(data.As<unsigned char>() + static_cast<size_t>(i) * size, Payload(&v, element), size);
    }
    return a;  // which owns what the elements hold
}

// Any value: a scalar, a reference to one (or to a Variant), or an array, by value or reference.
void MakeValue(Random& r, const Context& c, CallStore& store, VARIANT* v, int depth, bool small) {
    VariantInit(v);
    const size_t roll = r.Below(100);
    if (roll < 55 || depth > 1) {
        const VARTYPE type = r.Pick(kScalarTypes);
        return MakeScalar(r, c, small && type == VT_EMPTY ? VARTYPE{VT_I2} : type, v, small);
    }
    if (roll < 75) {
        VARTYPE type = r.Pick(kScalarTypes);
        if (type == VT_EMPTY || type == VT_NULL) type = VT_VARIANT;
        VARIANT* target = store.NewTarget();
        if (type == VT_VARIANT && r.Chance(0.02)) {
            V_VT(target) = VT_BYREF | VT_VARIANT;  // a variable that refers to itself
            V_VARIANTREF(target) = target;
        } else if (type == VT_VARIANT) {
            MakeValue(r, c, store, target, depth + 1, small);
        } else {
            MakeScalar(r, c, type, target, small);
        }
        V_VT(v) = static_cast<VARTYPE>(VT_BYREF | type);
        V_BYREF(v) = r.Chance(0.005) ? nullptr : Payload(target, type);  // nothing, as a faulty client may pass
        return;
    }
    const VARTYPE element = r.Pick(kArrayElementTypes);
    SAFEARRAY* a = MakeArray(r, c, store, element, depth);
    VARIANT* holder = roll < 90 ? v : store.NewTarget();
    V_VT(holder) = static_cast<VARTYPE>(VT_ARRAY | element);
    V_ARRAY(holder) = a;
    if (holder == v) return;
    V_VT(v) = static_cast<VARTYPE>(VT_BYREF | VT_ARRAY | element);
    V_ARRAYREF(v) = &V_ARRAY(holder);
}

// A value of the shape the parameter declares, so that calls get past the type checks.
void MakeExpected(Random& r, const Context& c, CallStore& store, const Declared& d, VARIANT* v, bool literals) {
    VariantInit(v);
    const bool asReference = d.reference && r.Chance(0.8);
    VARIANT* value = asReference ? store.NewTarget() : v;
    if (d.type & VT_ARRAY) {
        const VARTYPE element = r.Chance(0.6) ? static_cast<VARTYPE>(d.type & VT_TYPEMASK) : VARTYPE{VT_VARIANT};
        V_ARRAY(value) = MakeArray(r, c, store, element, 1, literals);
        V_VT(value) = static_cast<VARTYPE>(VT_ARRAY | element);
    } else if (d.type == VT_VARIANT) {
        MakeValue(r, c, store, value, 1, false);
    } else {
        MakeScalar(r, c, d.type == VT_RECORD ? VARTYPE{VT_EMPTY} : d.type, value, false);
        if (d.type == VT_I4 && r.Chance(0.7)) V_I4(value) = static_cast<LONG>(r.Below(5));
    }
    if (!asReference) return;
    // The caller's variable, as script clients pass it, or a reference of the value's own type.
    const bool variable = r.Chance(0.5) || V_VT(value) == VT_EMPTY || V_VT(value) == VT_NULL;
    V_VT(v) = static_cast<VARTYPE>(VT_BYREF | (variable ? VARTYPE{VT_VARIANT} : V_VT(value)));
    V_BYREF(v) = variable ? value : Payload(value, V_VT(value));
}

// Any array reachable from v (through references) that could give the dialog texts 1 to 9 gets
// a lower bound above them.
void MakeLiteralSafe(VARIANT* v) {
    while (v && V_VT(v) == (VT_BYREF | VT_VARIANT)) v = V_VARIANTREF(v);
    if (!v || !(V_VT(v) & VT_ARRAY)) return;
    SAFEARRAY* a = (V_VT(v) & VT_BYREF) ? *V_ARRAYREF(v) : V_ARRAY(v);
    if (a && a->cDims == 1 && a->rgsabound[0].lLbound <= 9 &&
        static_cast<int64_t>(a->rgsabound[0].lLbound) + a->rgsabound[0].cElements - 1 >= 1)
        a->rgsabound[0].lLbound = 10;
}

// A value's type, and what helps to read a fault report: texts, small numbers, array bounds.
std::string Describe(const VARIANT& v, int depth = 0) {
    const VARTYPE t = V_VT(&v);
    std::string s = "vt=" + std::to_string(t);
    if (t == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&v) && depth < 3)
        return s + "->" + Describe(*V_VARIANTREF(&v), depth + 1);
    if (t == VT_BSTR || t == (VT_BYREF | VT_BSTR)) {
        const BSTR b = t == VT_BSTR ? V_BSTR(&v) : (V_BSTRREF(&v) ? *V_BSTRREF(&v) : nullptr);
        return b ? s + "(" + std::to_string(SysStringLen(b)) + ":\"" + Text(b).substr(0, 40) + "\")" : s + "(null)";
    }
    if (t == VT_I4 || t == VT_I2) return s + "(" + std::to_string(t == VT_I4 ? V_I4(&v) : V_I2(&v)) + ")";
    if (!(t & VT_ARRAY)) return s;
    const SAFEARRAY* a = (t & VT_BYREF) ? (V_ARRAYREF(&v) ? *V_ARRAYREF(&v) : nullptr) : V_ARRAY(&v);
    if (!a) return s + "(null array)";
    for (USHORT d = a->cDims; d-- > 0;)
        s += (d + 1 == a->cDims ? "(" : ",") + std::to_string(a->rgsabound[d].lLbound) + "+" +
             std::to_string(a->rgsabound[d].cElements);
    return s + (a->cDims ? ")" : "");
}

// The call being made, for the watchdog and the crash report (which reads text without the lock).
struct Current {
    std::atomic<uint64_t> started{0};  // GetTickCount64 at the start, 0 between calls
    std::mutex mutex;
    char text[2048] = {};
    void Set(const std::string& what) {
        std::lock_guard<std::mutex> lock(mutex);
        std::snprintf(text, sizeof text, "%s", what.c_str());
    }
    std::string Get() {
        std::lock_guard<std::mutex> lock(mutex);
        return text;
    }
} gCurrent;

// Ends the run with a failure line that run.sh counts.
[[noreturn]] void EndRun(UINT code) {
    std::printf("0 passed, 1 failed\n");
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), code);
    std::abort();
}

// The faulting address as "module+offset", for addr2line.
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* e) {
    const EXCEPTION_RECORD* record = e ? e->ExceptionRecord : nullptr;
    const void* address = record ? record->ExceptionAddress : nullptr;
    HMODULE module = nullptr;
    wchar_t path[MAX_PATH] = L"?";
    if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<LPCWSTR>(address), &module))
        GetModuleFileNameW(module, path, MAX_PATH);
    std::printf(
        "FAULT crash 0x%08lx at %s+0x%llx during %s\n", static_cast<unsigned long>(record ? record->ExceptionCode : 0),
        Text(path).c_str(),
        static_cast<unsigned long long>(static_cast<const char*>(address) - reinterpret_cast<const char*>(module)),
        gCurrent.text);
    EndRun(3);
}

BOOL CALLBACK CloseOurWindow(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window)) {
        *reinterpret_cast<int*>(found) += 1;
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

// Ends a call that would block: a window of ours (the dialog) is closed, a call that takes too
// long ends the run.
struct Watchdog {
    std::atomic<bool> stop{false};
    std::atomic<int> windows{0};
    std::thread thread{[this] {
        while (!stop) {
            Sleep(200);
            const uint64_t started = gCurrent.started.load();
            if (started == 0) continue;
            int found = 0;
            EnumWindows(CloseOurWindow, reinterpret_cast<LPARAM>(&found));
            if (found) {
                windows += found;
                std::printf("FAULT a window appeared during %s\n", gCurrent.Get().c_str());
            }
            if (GetTickCount64() - started > kCallSeconds * 1000ull) {
                std::printf("FAULT hang: no answer after %d s from %s\n", kCallSeconds, gCurrent.Get().c_str());
                EndRun(4);
            }
        }
    }};
    ~Watchdog() {
        stop = true;
        thread.join();
    }
};

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

struct FaultLog {
    std::map<std::string, int> seen;  // kind and member, to report each only a few times
    int total = 0;
    void Report(const std::string& kind, const std::string& member, const std::string& detail) {
        ++total;
        if (++seen[kind + " " + member] <= 3) std::printf("FAULT %s in %s\n", kind.c_str(), detail.c_str());
    }
};

class Driver {
public:
    Driver(GetClassObjectFn getClassObject, std::wstring scratch) : getClassObject_(getClassObject) {
        context_.scratch = std::move(scratch);
    }

    // One seed: fresh objects, calls, then every object released.
    void Run(uint64_t seed, long first, long calls) {
        std::vector<ComPtr<IDispatch>> objects;
        for (const CLSID* clsid :
             {&CLSID_CPVSServer, &CLSID_ConnectionHelper, &CLSID_CPVSServer, &CLSID_ConnectionHelper}) {
            ComPtr<IClassFactory> factory;
            ComPtr<IDispatch> object;
            if (!CHECK_EQ(getClassObject_(*clsid, IID_IClassFactory, factory.PutVoid()), S_OK) ||
                !CHECK_EQ(factory->CreateInstance(nullptr, IID_IDispatch, object.PutVoid()), S_OK))
                return;
            objects.push_back(std::move(object));
        }
        if (members_.empty())
            for (size_t i = 0; i < 2; ++i) {
                std::vector<Member> m = ReadMembers(objects[i].Get(), i);
                std::printf("%s: %zu members\n", i == 0 ? "CPVSServer" : "ConnectionHelper", m.size());
                members_.insert(members_.end(), m.begin(), m.end());
            }
        context_.objects.clear();
        for (const auto& o : objects) context_.objects.push_back(o.Get());
        // Names no member has, for the lookup failures.
        static const DISPID kStrangers[] = {DISPID_VALUE, DISPID_UNKNOWN, DISPID_NEWENUM, 12345,
                                            0x60030000,   0x60000000,     0x60010000,     0x7FFFFFFF};
        const int before = faults_.total;
        for (long i = first; i < first + calls; ++i) {
            Random r(seed * 0x100000001B3ull + static_cast<uint64_t>(i));
            if (r.Chance(0.01)) {
                Member stranger{r.Below(2), "(no such member)", r.Pick(kStrangers), INVOKE_FUNC, {}, false};
                Call(seed, i, r, objects[stranger.object].Get(), stranger);
            } else {
                const Member& m = members_[r.Below(members_.size())];
                Call(seed, i, r, objects[m.object].Get(), m);
            }
        }
        context_.objects.clear();
        for (size_t i = 0; i < objects.size(); ++i)
            if (const ULONG left = objects[i].Detach()->Release())
                faults_.Report("object kept alive", "",
                               "seed " + std::to_string(seed) + ": object " + std::to_string(i) + " has " +
                                   std::to_string(left) + " references left");
        CHECK_EQ(faults_.total - before, 0);
    }

    int FaultCount() const { return faults_.total; }
    long CallsMade() const { return made_; }

private:
    void Call(uint64_t seed, long index, Random& r, IDispatch* object, const Member& m) {
        CallStore store;
        const size_t declared = m.params.size();
        size_t count = r.Chance(0.5) ? declared : r.Below(declared + (m.vararg ? 5 : 3));
        std::vector<VARIANT> args(count);
        const bool literals = m.object == 1 && m.id == kLiterals;
        // Arguments in declaration order; rgvarg wants them reversed.
        for (size_t k = 0; k < count; ++k) {
            VARIANT& v = args[count - 1 - k];
            if (k < declared && r.Chance(0.6))
                MakeExpected(r, context_, store, m.params[k], &v, literals);
            else
                MakeValue(r, context_, store, &v, 0, false);
            if (literals) MakeLiteralSafe(&v);
        }

        // Mostly the flags the member's kind wants, else any.
        // clang-format off
        static const WORD kFlags[] = {DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_PROPERTYPUT,
                                      DISPATCH_PROPERTYPUTREF, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                      DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF, 0, 0xFFFF};
        // clang-format on
        WORD flags = 0;
        if (!r.Chance(0.6))
            flags = r.Pick(kFlags);
        else if (m.kind == INVOKE_PROPERTYPUT || m.kind == INVOKE_PROPERTYPUTREF)
            flags = m.kind == INVOKE_PROPERTYPUT ? DISPATCH_PROPERTYPUT : DISPATCH_PROPERTYPUTREF;
        else
            flags = static_cast<WORD>((m.kind == INVOKE_PROPERTYGET ? DISPATCH_PROPERTYGET : DISPATCH_METHOD) |
                                      (r.Chance(0.5) ? 0 : DISPATCH_METHOD | DISPATCH_PROPERTYGET));

        // Named arguments: the first cNamed entries of rgvarg.
        std::vector<DISPID> named;
        if (count > 0 && (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && r.Chance(0.7))
            named.push_back(DISPID_PROPERTYPUT);
        if (count > named.size() && r.Chance(0.25)) {
            const size_t extra = 1 + r.Below(count - named.size());
            for (size_t j = 0; j < extra; ++j) {
                const size_t roll = r.Below(10);
                const DISPID id = roll < 7   ? static_cast<DISPID>(r.Below(declared + 1))
                                  : roll < 8 ? DISPID_PROPERTYPUT
                                             : static_cast<DISPID>(r.Chance(0.5) ? -1 - static_cast<int>(r.Below(3))
                                                                                 : 5 + static_cast<int>(r.Below(100)));
                named.push_back(id);
            }
        }

        DISPPARAMS params{args.empty() ? nullptr : args.data(), named.empty() ? nullptr : named.data(),
                          static_cast<UINT>(args.size()), static_cast<UINT>(named.size())};
        const bool wantResult = r.Chance(0.85), wantExcep = r.Chance(0.9), wantArgErr = r.Chance(0.9);
        static const LCID kLocales[] = {LOCALE_USER_DEFAULT, LOCALE_USER_DEFAULT, 0, 0x409, 0x407};
        const LCID locale = r.Pick(kLocales);
        VariantValue result;
        varnholt::wintest::ExcepInfo excep;
        UINT argErr = 0;

        std::string what = "seed " + std::to_string(seed) + " call " + std::to_string(index) + ": " +
                           (m.object == 0 ? "CPVSServer." : "ConnectionHelper.") + m.name +
                           " flags=" + std::to_string(flags) + " named=[";
        for (DISPID id : named) what += std::to_string(id) + " ";
        what += "] args=[";
        for (size_t k = args.size(); k-- > 0;) what += Describe(args[k]) + (k ? ", " : "");
        what += "]";
        gCurrent.Set(what);

        gCurrent.started = GetTickCount64();
        const HRESULT hr = object->Invoke(m.id, IID_NULL, locale, flags, &params, wantResult ? result.Get() : nullptr,
                                          wantExcep ? &excep : nullptr, wantArgErr ? &argErr : nullptr);
        gCurrent.started = 0;
        ++made_;
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(hr));
        what += std::string(" -> ") + code;
        const auto number = static_cast<uint32_t>(hr);
        if (hr == DISP_E_EXCEPTION && wantExcep) {
            if (excep.pfnDeferredFillIn) excep.pfnDeferredFillIn(&excep);
            if (SysStringLen(excep.bstrSource) == 0 || SysStringLen(excep.bstrDescription) == 0 ||
                (excep.scode == 0 && excep.wCode == 0))
                faults_.Report("unfilled EXCEPINFO", m.name,
                               what + " scode=" + std::to_string(static_cast<uint32_t>(excep.scode)) + " source=\"" +
                                   Text(excep.bstrSource) + "\"");
        } else if (FAILED(hr) && hr != DISP_E_EXCEPTION && (number < 0x80020001u || number > 0x80020013u)) {
            faults_.Report("not a DISP_E_ failure", m.name, what);
        } else if (SUCCEEDED(hr) && hr != S_OK) {
            faults_.Report("odd success code", m.name, what);
        }
        if (FAILED(hr) && wantResult && V_VT(result.Get()) != VT_EMPTY)
            faults_.Report("result left after a failure", m.name, what + " result " + Describe(*result));
        for (VARIANT& v : args)
            if (FAILED(VariantClear(&v))) faults_.Report("argument no longer clears", m.name, what);
        for (VariantValue& target : store.targets)
            if (FAILED(VariantClear(target.Get()))) faults_.Report("variable no longer clears", m.name, what);
        if (FAILED(VariantClear(result.Get()))) faults_.Report("result does not clear", m.name, what);
    }

    GetClassObjectFn getClassObject_;
    Context context_;
    std::vector<Member> members_;
    FaultLog faults_;
    long made_ = 0;
};

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 3) {
        std::printf("usage: random_calls <Varnholt.dll> <scratch folder> [calls per seed] [seed...]\n");
        return 2;
    }
    const std::wstring dll = argv[1];
    std::wstring scratch = argv[2];
    while (!scratch.empty() && scratch.back() == L'\\') scratch.pop_back();
    const bool replay = argc == 6 && std::wstring(argv[3]) == L"replay";
    long first = replay ? std::wcstol(argv[5], nullptr, 10) : 0;
    long perSeed = replay ? 1 : argc > 3 ? std::wcstol(argv[3], nullptr, 10) : 25000;
    std::vector<uint64_t> seeds;
    for (int i = 4; i < (replay ? 5 : argc); ++i) seeds.push_back(std::wcstoull(argv[i], nullptr, 10));
    if (seeds.empty()) seeds = {1, 2, 3, 4};
    LocalFree(argv);
    SetUnhandledExceptionFilter(ReportCrash);
    // Relative paths in arguments stay inside the scratch folder.
    if (!CHECK(SetCurrentDirectoryW(scratch.c_str()))) return varnholt::wintest::Summary();

    CoInitialize(nullptr);
    const HMODULE library = LoadLibraryW(dll.c_str());
    if (!CHECK(library != nullptr)) return varnholt::wintest::Summary();
    auto getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    auto canUnload =
        reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
    if (!CHECK(getClassObject && canUnload)) return varnholt::wintest::Summary();

    Watchdog watchdog;
    Driver driver(getClassObject, scratch);
    for (uint64_t seed : seeds) {
        const auto start = std::chrono::steady_clock::now();
        driver.Run(seed, first, perSeed);
        std::printf("seed %llu: %.1f s, %ld calls and %d faults in all\n", static_cast<unsigned long long>(seed),
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), driver.CallsMade(),
                    driver.FaultCount());
        std::fflush(stdout);
        CHECK_EQ(canUnload(), S_OK);
    }
    CHECK_EQ(watchdog.windows.load(), 0);
    return varnholt::wintest::Summary();
}
