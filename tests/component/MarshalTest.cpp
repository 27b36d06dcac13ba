// Marshalling between automation values and the value model, and the error mapping, on their
// own: run under Wine as a plain program.
#include <windows.h>
#include <oleauto.h>

#include <cstring>
#include <vector>

#include "Check.h"
#include "component/ConnectionHelperObject.h"
#include "component/ErrorRecord.h"
#include "component/Marshal.h"
#include "platform/win32/AutomationObject.h"
#include "varnholt/Error.h"

using namespace varnholt;
using namespace varnholt::component;
using namespace varnholt::wintest;

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
        {1, 0x800A0001u},  {9, 0x800A0009u},           {7013, 0x800A1B65u},        {65535, 0x800AFFFFu},
        {-1, 0xFFFFFFFFu}, {-2147221503, 0x80040001u}, {-2147211500, 0x80042714u}, {65536, 0x80004005u},
        {0, 0x80004005u},  {2147483647, 0x80004005u},
    };
    for (const Row& r : rows) CHECK_EQ(static_cast<uint32_t>(HResultOfNumber(r.number)), r.hr);
}

void ReportErrorFillsTheErrorRecord() {
    const IID iid = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    const HRESULT hr =
        ReportError(Error(7013, u"Kestrin.Varnholt.CPVSServer.DropDBName", u"Named database does not exist."), iid);
    CHECK_HR(hr, 0x800A1B65u);
    ComPtr<IErrorInfo> info;
    GUID guid{};
    // Its source and description, as a client reads them: ClientTest's ErrorRecordOfAVtableCall.
    if (CHECK(GetErrorInfo(0, info.Put()) == S_OK && info)) info->GetGUID(&guid);
    CHECK(IsEqualGUID(guid, iid));

    // A guarded body that fails without an Error leaves no stale record behind.
    CHECK_HR(Guarded(iid, [] { throw CallFailure{E_POINTER}; }), E_POINTER);
    CHECK(GetErrorInfo(0, info.Put()) == S_FALSE && !info);
    CHECK_HR(Guarded(iid, [] {}), 0u);
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
    const Variant values[] = {Variant(),    Variant::Null(), Variant(int16_t(-7)), Variant(int32_t(123456)),
                              Variant(2.5), Variant(true),   Variant(false),       Variant(u"text")};
    const VARTYPE types[] = {VT_EMPTY, VT_NULL, VT_I2, VT_I4, VT_R8, VT_BOOL, VT_BOOL, VT_BSTR};
    for (size_t i = 0; i < std::size(values); ++i) {
        VariantValue v;
        ToVariant(values[i], v.Get());
        CHECK_EQ(V_VT(v.Get()), types[i]);
        CHECK(FromVariant(*v) == values[i]);
        // A script tests True as -1: no other non-zero value will do.
        if (types[i] == VT_BOOL) CHECK(V_BOOL(v.Get()) == VARIANT_TRUE || V_BOOL(v.Get()) == VARIANT_FALSE);
    }
}

void ForeignKindsBecomeTheNearestModelKind() {
    VARIANT byte = Of(VT_UI1), single = Of(VT_R4), currency = Of(VT_CY), unsigned32 = Of(VT_UI4);
    V_UI1(&byte) = 200;
    V_R4(&single) = 1.5f;
    V_CY(&currency).int64 = 52500;  // 5.25
    V_UI4(&unsigned32) = 4000000000u;
    // By-reference values are followed, through a VARIANT too.
    LONG target = 42;
    VARIANT ref = Of(VT_BYREF | VT_I4);
    V_I4REF(&ref) = &target;
    VariantValue inner;
    *inner = Str(SysAllocString(L"inner"));
    const struct {
        VARIANT in;
        Variant out;
    } rows[] = {{byte, Variant(int16_t(200))}, {single, Variant(1.5)},
                {currency, Variant(5.25)},     {unsigned32, Variant(4000000000.0)},
                {ref, Variant(int32_t(42))},   {RefTo(inner.Get()), Variant(u"inner")},
                {Missing(), Variant()}};
    for (const auto& row : rows) CHECK(FromVariant(row.in) == row.out);
    VARIANT error = Of(VT_ERROR);
    V_ERROR(&error) = E_FAIL;
    CHECK_EQ(RaisedNumber([&] { FromVariant(error); }), kTypeMismatch);
}

// SafeArrayGetElement addresses elements by subscript, leftmost first: the bounds and the
// element order of both sides must agree with it.
void StringArraysKeepBoundsAndSubscripts() {
    SafeArray<String> a({Bound{1, 3}, Bound{0, 1}});
    for (int32_t i = 1; i <= 3; ++i)
        for (int32_t j = 0; j <= 1; ++j) a.At(i, j) = u"e" + Decimal(i) + Decimal(j);
    SafeArrayPtr sa = ToStringArray(a);
    CHECK_EQ(Shape(sa.Get()), std::string("8: 1..3 0..1"));
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
    VariantValue five, two, nested;
    *five = Int(5);
    *two = Str(SysAllocString(L"two"));
    LONG i = 1;
    SafeArrayPutElement(sa.Get(), &i, five.Get());
    i = 2;
    SafeArrayPutElement(sa.Get(), &i, two.Get());
    CHECK(FromStringArray(sa.Get()) == SafeArray<String>::Vector(1, {u"5", u"two", u""}));

    // A nested array cannot be text.
    V_VT(nested.Get()) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(nested.Get()) = SafeArrayCreate(VT_VARIANT, 1, &bound);
    i = 3;
    SafeArrayPutElement(sa.Get(), &i, nested.Get());
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

// The references an object has, read with a balanced AddRef and Release.
ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

// A client's object (one of ours here) is held while the value lives, and goes back as itself.
void ObjectsTravelAsTheirDispatch() {
    ComPtr<IDispatch> client;
    if (!CHECK_EQ(ConnectionHelperObject::Create(IID_IDispatch, client.PutVoid()), S_OK)) return;
    {
        VARIANT in = Of(VT_DISPATCH);
        V_DISPATCH(&in) = client.Get();
        const Variant object = FromVariant(in);
        CHECK_EQ(References(client.Get()), 2ul);
        VariantValue out;
        ToVariant(object, out.Get());
        CHECK(V_VT(out.Get()) == VT_DISPATCH && V_DISPATCH(out.Get()) == client.Get());
        CHECK_EQ(References(client.Get()), 3ul);
    }
    CHECK_EQ(References(client.Get()), 1ul);
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
    CHECK_HR(Guarded(IID_NULL, [] { Return(static_cast<BSTR*>(nullptr), u"x"); }), E_POINTER);
    VARIANT v = Of(0xFFFF);  // garbage the callee must not clear
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
