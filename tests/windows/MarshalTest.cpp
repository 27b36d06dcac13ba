// Marshalling between automation values and the value model, and the error mapping, on their
// own: run under Wine as a plain program.
#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <vector>

#include "Check.h"
#include "component/ErrorRecord.h"
#include "component/Marshal.h"
#include "platform/win32/AutomationObject.h"
#include "varnholt/Error.h"

using namespace varnholt;
using namespace varnholt::component;

namespace {

// Runs f and reports the number of the Error it raised (0 for none).
template <class F>
int32_t RaisedNumber(F f) {
    try {
        f();
    } catch (const Error& e) {
        return e.Number();
    }
    return 0;
}

void ErrorNumbersBecomeHResults() {
    struct Row {
        int32_t number;
        uint32_t hr;
    };
    const Row rows[] = {
        {1, 0x800A0001u},      {9, 0x800A0009u},     {7013, 0x800A1B65u}, {65535, 0x800AFFFFu},
        {-1, 0xFFFFFFFFu},     {-2147221503, 0x80040001u}, {-2147211500, 0x80042714u},
        {65536, 0x80004005u},  {0, 0x80004005u},     {2147483647, 0x80004005u},
    };
    for (const Row& r : rows) CHECK_EQ(static_cast<uint32_t>(HResultOfNumber(r.number)), r.hr);
}

void ReportErrorFillsTheErrorRecord() {
    const IID iid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    const HRESULT hr = ReportError(Error(7013, u"Kestrin.Varnholt.CPVSServer.DropDBName", u"Named database does not exist."), iid);
    CHECK_EQ(static_cast<uint32_t>(hr), 0x800A1B65u);
    IErrorInfo* info = nullptr;
    CHECK(GetErrorInfo(0, &info) == S_OK && info);
    if (!info) return;
    BSTR source = nullptr, description = nullptr;
    GUID guid{};
    info->GetSource(&source);
    info->GetDescription(&description);
    info->GetGUID(&guid);
    CHECK_EQ(FromBstr(source), String(u"Kestrin.Varnholt.CPVSServer.DropDBName"));
    CHECK_EQ(FromBstr(description), String(u"Named database does not exist."));
    CHECK(IsEqualGUID(guid, iid));
    SysFreeString(source);
    SysFreeString(description);
    info->Release();

    // A guarded body that fails without an Error leaves no stale record behind.
    CHECK_EQ(static_cast<uint32_t>(Guarded(iid, [] { throw CallFailure{E_POINTER}; })), static_cast<uint32_t>(E_POINTER));
    info = nullptr;
    CHECK(GetErrorInfo(0, &info) == S_FALSE && !info);
    CHECK_EQ(static_cast<uint32_t>(Guarded(iid, [] {})), 0u);
}

void StringsKeepLengthAndNulls() {
    CHECK_EQ(FromBstr(nullptr), String());
    const String withNul(u"a\0b", 3);
    Bstr b = ToBstr(withNul);
    CHECK_EQ(SysStringLen(b.Get()), 3u);
    CHECK(FromBstr(b.Get()) == withNul);
    BSTR slot = SysAllocString(L"old");
    StoreBstr(u"new value", &slot);
    CHECK_EQ(FromBstr(slot), String(u"new value"));
    SysFreeString(slot);
}

void ScalarsRoundTrip() {
    const Variant values[] = {Variant(), Variant::Null(), Variant(int16_t(-7)), Variant(int32_t(123456)), Variant(2.5),
                              Variant(true), Variant(false), Variant(u"text")};
    const VARTYPE types[] = {VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R8, VT_BOOL, VT_BOOL, VT_BSTR};
    for (size_t i = 0; i < std::size(values); ++i) {
        VariantValue v;
        ToVariant(values[i], v.Get());
        CHECK_EQ(V_VT(v.Get()), types[i]);
        CHECK(FromVariant(*v) == values[i]);
    }
    VariantValue t;
    ToVariant(Variant(true), t.Get());
    CHECK_EQ(V_BOOL(t.Get()), VARIANT_TRUE);
}

void ForeignKindsBecomeTheNearestModelKind() {
    VariantValue v;
    V_VT(v.Get()) = VT_UI1;
    V_UI1(v.Get()) = 200;
    CHECK(FromVariant(*v) == Variant(int16_t(200)));
    v.Clear();
    V_VT(v.Get()) = VT_R4;
    V_R4(v.Get()) = 1.5f;
    CHECK(FromVariant(*v) == Variant(1.5));
    v.Clear();
    V_VT(v.Get()) = VT_CY;
    V_CY(v.Get()).int64 = 52500;  // 5.25
    CHECK(FromVariant(*v) == Variant(5.25));
    v.Clear();
    V_VT(v.Get()) = VT_UI4;
    V_UI4(v.Get()) = 4000000000u;
    CHECK(FromVariant(*v) == Variant(4000000000.0));

    // By-reference values are followed, through a VARIANT too.
    LONG target = 42;
    VARIANT ref;
    VariantInit(&ref);
    V_VT(&ref) = VT_BYREF | VT_I4;
    V_I4REF(&ref) = &target;
    CHECK(FromVariant(ref) == Variant(int32_t(42)));
    VariantValue inner;
    V_VT(inner.Get()) = VT_BSTR;
    V_BSTR(inner.Get()) = SysAllocString(L"inner");
    VARIANT outer;
    VariantInit(&outer);
    V_VT(&outer) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&outer) = inner.Get();
    CHECK(FromVariant(outer) == Variant(u"inner"));

    VARIANT missing;
    VariantInit(&missing);
    V_VT(&missing) = VT_ERROR;
    V_ERROR(&missing) = DISP_E_PARAMNOTFOUND;
    CHECK(FromVariant(missing).IsEmpty());
    V_ERROR(&missing) = E_FAIL;
    CHECK_EQ(RaisedNumber([&] { FromVariant(missing); }), kTypeMismatch);
}

// SafeArrayGetElement addresses elements by subscript, leftmost first: the bounds and the
// element order of both sides must agree with it.
void StringArraysKeepBoundsAndSubscripts() {
    SafeArray<String> a({Bound{1, 3}, Bound{0, 1}});
    for (int32_t i = 1; i <= 3; ++i)
        for (int32_t j = 0; j <= 1; ++j) a.At(i, j) = u"e" + Decimal(i) + Decimal(j);
    SafeArrayPtr sa = ToStringArray(a);
    CHECK_EQ(SafeArrayGetDim(sa.Get()), 2u);
    LONG lower = 0, upper = 0;
    SafeArrayGetLBound(sa.Get(), 1, &lower);
    SafeArrayGetUBound(sa.Get(), 1, &upper);
    CHECK_EQ(lower, 1L);
    CHECK_EQ(upper, 3L);
    SafeArrayGetLBound(sa.Get(), 2, &lower);
    SafeArrayGetUBound(sa.Get(), 2, &upper);
    CHECK_EQ(lower, 0L);
    CHECK_EQ(upper, 1L);
    LONG index[2] = {2, 1};
    BSTR element = nullptr;
    CHECK(SUCCEEDED(SafeArrayGetElement(sa.Get(), index, &element)));
    CHECK_EQ(FromBstr(element), String(u"e21"));
    SysFreeString(element);
    CHECK(FromStringArray(sa.Get()) == a);

    CHECK(!FromStringArray(nullptr).IsAllocated());
    CHECK(ToStringArray(SafeArray<String>()).Get() == nullptr);
    const SafeArray<String> none = SafeArray<String>::Vector(0, {});
    SafeArrayPtr empty = ToStringArray(none);
    CHECK(empty.Get() != nullptr);
    CHECK(FromStringArray(empty.Get()) == none);
}

void ScriptArraysBecomeStringArrays() {
    SAFEARRAYBOUND bound{3, 1};
    SafeArrayPtr sa(SafeArrayCreate(VT_VARIANT, 1, &bound));
    LONG i = 1;
    VariantValue v;
    V_VT(v.Get()) = VT_I2;
    V_I2(v.Get()) = 5;
    SafeArrayPutElement(sa.Get(), &i, v.Get());
    i = 2;
    v.Clear();
    V_VT(v.Get()) = VT_BSTR;
    V_BSTR(v.Get()) = SysAllocString(L"two");
    SafeArrayPutElement(sa.Get(), &i, v.Get());
    const SafeArray<String> strings = FromStringArray(sa.Get());
    CHECK(strings == SafeArray<String>::Vector(1, {u"5", u"two", u""}));

    // A nested array cannot be text.
    i = 3;
    v.Clear();
    V_VT(v.Get()) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(v.Get()) = SafeArrayCreate(VT_VARIANT, 1, &bound);
    SafeArrayPutElement(sa.Get(), &i, v.Get());
    CHECK_EQ(RaisedNumber([&] { FromStringArray(sa.Get()); }), kTypeMismatch);
}

void VariantArraysNest() {
    SafeArray<Variant> inner = SafeArray<Variant>::Vector(0, {Variant(u"x"), Variant(int32_t(1))});
    SafeArray<Variant> outer({Bound{1, 3}, Bound{1, 2}});
    outer.At(1, 1) = Variant(u"NAME");
    outer.At(2, 2) = Variant(inner);
    VariantValue v;
    ToVariant(Variant(outer), v.Get());
    CHECK_EQ(V_VT(v.Get()), VARTYPE(VT_ARRAY | VT_VARIANT));
    CHECK(FromVariant(*v) == Variant(outer));
}

class Plain final : public Object {};

// Counts its references so the test can see what the conversion keeps.
class FakeDispatch final : public IDispatch {
public:
    ULONG refs = 1;
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *out = this;
            ++refs;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs; }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
};

void ObjectsTravelAsTheirDispatch() {
    FakeDispatch fake;
    {
        VARIANT in;
        VariantInit(&in);
        V_VT(&in) = VT_DISPATCH;
        V_DISPATCH(&in) = &fake;
        const Variant object = FromVariant(in);
        CHECK_EQ(fake.refs, 2ul);
        VariantValue out;
        ToVariant(object, out.Get());
        CHECK(V_VT(out.Get()) == VT_DISPATCH && V_DISPATCH(out.Get()) == &fake);
        CHECK_EQ(fake.refs, 3ul);
    }
    CHECK_EQ(fake.refs, 1ul);
    VariantValue nothing;
    ToVariant(Variant(std::shared_ptr<Object>()), nothing.Get());
    CHECK(V_VT(nothing.Get()) == VT_DISPATCH && V_DISPATCH(nothing.Get()) == nullptr);
    VariantValue out;
    CHECK_EQ(RaisedNumber([&] { ToVariant(Variant(std::shared_ptr<Object>(std::make_shared<Plain>())), out.Get()); }),
             kTypeMismatch);
    CHECK_EQ(V_VT(out.Get()), VARTYPE(VT_EMPTY));
}

void RecordsRoundTrip() {
    const varnholt::udtLoginCreds creds{u"Beta", u"secret", true};
    ::udtLoginCreds record{};
    ToRecord(creds, &record);
    CHECK_EQ(FromBstr(record.User), String(u"Beta"));
    CHECK_EQ(record.Cancelled, VARIANT_TRUE);
    CHECK(FromRecord(record) == creds);
    ClearRecord(&record);
    CHECK(record.User == nullptr && record.Pswd == nullptr && record.Cancelled == VARIANT_FALSE);
}

void OutParametersAreEmptiedFirst() {
    CHECK_EQ(static_cast<uint32_t>(Guarded(IID_NULL, [] { Return(static_cast<BSTR*>(nullptr), u"x"); })),
             static_cast<uint32_t>(E_POINTER));
    VARIANT v;
    V_VT(&v) = 0xFFFF;  // garbage the callee must not clear
    Return(&v, Variant(int32_t(3)));
    CHECK(V_VT(&v) == VT_I4 && V_I4(&v) == 3);
}

}  // namespace

int main() {
    CoInitialize(nullptr);
    ErrorNumbersBecomeHResults();
    ReportErrorFillsTheErrorRecord();
    StringsKeepLengthAndNulls();
    ScalarsRoundTrip();
    ForeignKindsBecomeTheNearestModelKind();
    StringArraysKeepBoundsAndSubscripts();
    ScriptArraysBecomeStringArrays();
    VariantArraysNest();
    ObjectsTravelAsTheirDispatch();
    RecordsRoundTrip();
    OutParametersAreEmptiedFirst();
    CoUninitialize();
    return varnholt::wintest::Summary();
}
