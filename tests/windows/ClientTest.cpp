// An early-bound C++ client of the registered Varnholt.dll: members through the vtable of the
// generated header, the earlier interface identifiers, IDispatch with the argument forms a
// script uses, error records, and the module's unload answer.
// Usage: client_test <path of Varnholt.dll>; the stand-in engine must be on the search path.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>
#include <vector>

#include "Check.h"
#include "component/Identifiers.h"
#include "varnholt_idl.h"

using varnholt::component::kConnectionHelperAliasIids;
using varnholt::wintest::Text;

namespace {

std::u16string U(BSTR b) { return b ? std::u16string(reinterpret_cast<const char16_t*>(b), SysStringLen(b)) : u""; }

struct Bstr {
    BSTR b;
    explicit Bstr(const wchar_t* text) : b(SysAllocString(text)) {}
    ~Bstr() { SysFreeString(b); }
};

// The thread's error record after a failed call: "source|description".
std::string LastError() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return "(no error record)";
    BSTR source = nullptr, description = nullptr;
    info->GetSource(&source);
    info->GetDescription(&description);
    std::string text = Text(U(source)) + "|" + Text(U(description));
    SysFreeString(source);
    SysFreeString(description);
    info->Release();
    return text;
}

SAFEARRAY* Strings(LONG lower, const std::vector<const wchar_t*>& items) {
    SAFEARRAYBOUND bound{static_cast<ULONG>(items.size()), lower};
    SAFEARRAY* a = SafeArrayCreate(VT_BSTR, 1, &bound);
    for (size_t i = 0; i < items.size(); ++i) {
        LONG index = lower + static_cast<LONG>(i);
        BSTR b = SysAllocString(items[i]);
        SafeArrayPutElement(a, &index, b);
        SysFreeString(b);
    }
    return a;
}

// Literals 1..34 reading "L<n>".
SAFEARRAY* Literals() {
    std::vector<std::wstring> texts;
    for (int i = 1; i <= 34; ++i) texts.push_back(L"L" + std::to_wstring(i));
    std::vector<const wchar_t*> items;
    for (const auto& t : texts) items.push_back(t.c_str());
    return Strings(1, items);
}

DISPID IdOf(IDispatch* object, const wchar_t* name) {
    DISPID id = DISPID_UNKNOWN;
    LPOLESTR n = const_cast<LPOLESTR>(name);
    object->GetIDsOfNames(IID_NULL, &n, 1, LOCALE_USER_DEFAULT, &id);
    return id;
}

// Invoke with arguments in the member's order (reversed here, as rgvarg wants them).
HRESULT Call(IDispatch* object, const wchar_t* name, std::vector<VARIANT> args, VARIANT* result, EXCEPINFO* excep,
             WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPID put = DISPID_PROPERTYPUT;
    const bool isPut = flags == DISPATCH_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), isPut ? &put : nullptr, static_cast<UINT>(reversed.size()), isPut ? 1u : 0u};
    UINT argErr = 0;
    if (excep) *excep = EXCEPINFO{};
    return object->Invoke(IdOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, excep, &argErr);
}

// A VARIANT of one type, its value set by fill.
template <class Fill>
VARIANT Of(VARTYPE type, Fill fill) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = type;
    fill(v);
    return v;
}
VARIANT Str(BSTR b) {
    return Of(VT_BSTR, [&](VARIANT& v) { V_BSTR(&v) = b; });
}
VARIANT Int(short n) {
    return Of(VT_I2, [&](VARIANT& v) { V_I2(&v) = n; });
}
VARIANT RefTo(VARIANT* target) {
    return Of(VT_BYREF | VT_VARIANT, [&](VARIANT& v) { V_VARIANTREF(&v) = target; });
}

// Invoke as VB passes named arguments: rgvarg holds the named ones first (in the order of
// named), then the positional ones in reverse.
HRESULT CallNamed(IDispatch* object, DISPID member, const std::vector<VARIANT>& positional,
                  const std::vector<std::pair<DISPID, VARIANT>>& named, VARIANT* result, UINT* argErr,
                  WORD flags = DISPATCH_METHOD | DISPATCH_PROPERTYGET) {
    std::vector<VARIANT> args;
    std::vector<DISPID> ids;
    for (const auto& [id, value] : named) {
        ids.push_back(id);
        args.push_back(value);
    }
    args.insert(args.end(), positional.rbegin(), positional.rend());
    DISPPARAMS params{args.data(), ids.data(), static_cast<UINT>(args.size()), static_cast<UINT>(ids.size())};
    EXCEPINFO excep{};
    const HRESULT hr = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep, argErr);
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    return hr;
}

VARIANT Long(LONG n) {
    return Of(VT_I4, [&](VARIANT& v) { V_I4(&v) = n; });
}
VARIANT Missing() {
    return Of(VT_ERROR, [&](VARIANT& v) { V_ERROR(&v) = DISP_E_PARAMNOTFOUND; });
}

template <class Interface>
Interface* Create(const CLSID& clsid, const IID& iid) {
    Interface* object = nullptr;
    CHECK_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, reinterpret_cast<void**>(&object)), S_OK);
    return object;
}

// Parameter names resolve to their positions, case-insensitively; named arguments reach those
// parameters in any order, mixed with positional ones; omitted optional ones take defaults.
void NamedArguments() {
    _CPVSServer* server = Create<_CPVSServer>(CLSID_CPVSServer, IID__CPVSServer);
    _ConnectionHelper* helper = Create<_ConnectionHelper>(CLSID_ConnectionHelper, IID__ConnectionHelper);
    if (!server || !helper) return;

    struct NamesCase {
        IDispatch* object;
        std::vector<const wchar_t*> names;
        HRESULT hr;
        std::vector<DISPID> ids;
    };
    const NamesCase namesCases[] = {
        {server, {L"GetDBName", L"index", L"ATTRIB", L"DBName"}, S_OK, {0x60030004, 0, 1, 2}},
        {helper, {L"getdbname", L"Password", L"dataPath"}, S_OK, {0x60030004, 3, 0}},
        {helper, {L"PathToUNC", L"Nope", L"Path"}, DISP_E_UNKNOWNNAME, {0x6003000B, DISPID_UNKNOWN, 0}},
        {helper, {L"NoSuchMember", L"Path"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, DISPID_UNKNOWN}},
    };
    for (const NamesCase& c : namesCases) {
        std::vector<LPOLESTR> names;
        for (const wchar_t* n : c.names) names.push_back(const_cast<LPOLESTR>(n));
        std::vector<DISPID> ids(names.size(), 12345);
        CHECK_EQ(static_cast<uint32_t>(c.object->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()),
                                                                LOCALE_USER_DEFAULT, ids.data())),
                 static_cast<uint32_t>(c.hr));
        for (size_t i = 0; i < ids.size(); ++i) CHECK_EQ(ids[i], c.ids[i]);
    }

    Bstr second(L"SECOND");
    VARIANT variable = Str(SysAllocString(L"\\\\host\\share\\dir"));
    const UINT noArg = 99;
    struct InvokeCase {
        const char* what;
        IDispatch* object;
        DISPID member;
        std::vector<VARIANT> positional;
        std::vector<std::pair<DISPID, VARIANT>> named;
        HRESULT hr;
        const char* text;  // the result's text on success
        UINT argErr;       // the offending rgvarg index on failure
    };
    const DISPID getDBName = 0x60030004;
    const InvokeCase cases[] = {
        {"only named", server, getDBName, {}, {{0, Long(2)}}, S_OK, "SECOND", noArg},
        {"named in any order", server, getDBName, {}, {{2, Str(second.b)}, {1, Long(3)}, {0, Long(1)}}, S_OK,
         "C:\\data2", noArg},
        {"positional then named", server, getDBName, {Long(2)}, {{1, Long(2)}, {2, Str(second.b)}}, S_OK, "C:\\dict2",
         noArg},
        {"named missing optional", server, getDBName, {Long(1)}, {{2, Missing()}, {1, Missing()}}, S_OK, "FIRST",
         noArg},
        {"by reference, named", helper, 0x60030011, {}, {{0, RefTo(&variable)}}, S_OK, "host", noArg},
        {"vararg member, fixed part named", helper, 0x6003000A, {}, {{0, Str(second.b)}}, S_OK, "SECOND", noArg},
        {"named twice", server, getDBName, {}, {{0, Long(2)}, {0, Long(1)}}, DISP_E_PARAMNOTFOUND, "", 1},
        {"named and positional", server, getDBName, {Long(2)}, {{0, Long(1)}}, DISP_E_PARAMNOTFOUND, "", 0},
        {"no such parameter", server, getDBName, {Long(2)}, {{1, Long(1)}, {7, Long(1)}}, DISP_E_PARAMNOTFOUND, "", 1},
        {"the result parameter", server, getDBName, {Long(2)}, {{3, Long(1)}}, DISP_E_PARAMNOTFOUND, "", 0},
        {"negative id", server, getDBName, {Long(2)}, {{-5, Long(1)}}, DISP_E_PARAMNOTFOUND, "", 0},
        {"property-put id on a method", server, getDBName, {Long(2)}, {{DISPID_PROPERTYPUT, Long(1)}},
         DISP_E_PARAMNOTFOUND, "", 0},
        {"required one left out", server, getDBName, {}, {{1, Long(3)}}, DISP_E_PARAMNOTOPTIONAL, "", noArg},
    };
    CHECK(SUCCEEDED(server->Connect()));
    for (const InvokeCase& c : cases) {
        VARIANT result;
        VariantInit(&result);
        UINT argErr = noArg;
        const HRESULT hr = CallNamed(c.object, c.member, c.positional, c.named, &result, &argErr);
        if (!CHECK_EQ(static_cast<uint32_t>(hr), static_cast<uint32_t>(c.hr))) std::printf("  in: %s\n", c.what);
        if (SUCCEEDED(hr)) {
            CHECK_EQ(V_VT(&result), VARTYPE(VT_BSTR));
            if (V_VT(&result) == VT_BSTR) CHECK_EQ(Text(U(V_BSTR(&result))), std::string(c.text));
        } else {
            CHECK_EQ(argErr, c.argErr);
            CHECK_EQ(V_VT(&result), VARTYPE(VT_EMPTY));
        }
        VariantClear(&result);
    }
    CHECK_EQ(Text(U(V_BSTR(&variable))), std::string("host"));
    VariantClear(&variable);

    // A property's new value stays DISPID_PROPERTYPUT; the value's own position is no second name for it.
    Bstr name(L"named system");
    const DISPID systemName = 0x40030000;
    CHECK_EQ(CallNamed(helper, systemName, {}, {{DISPID_PROPERTYPUT, Str(name.b)}}, nullptr, nullptr,
                       DISPATCH_PROPERTYPUT),
             S_OK);
    UINT argErr = noArg;
    CHECK_EQ(static_cast<uint32_t>(CallNamed(helper, systemName, {}, {{DISPID_PROPERTYPUT, Str(name.b)}, {0, Str(name.b)}},
                                             nullptr, &argErr, DISPATCH_PROPERTYPUT)),
             static_cast<uint32_t>(DISP_E_PARAMNOTFOUND));
    CHECK_EQ(argErr, 1u);
    BSTR got = nullptr;
    CHECK_EQ(helper->get_gstrSystemName(&got), S_OK);
    CHECK_EQ(Text(U(got)), std::string("named system"));
    SysFreeString(got);

    CHECK_EQ(server->Release(), 0ul);
    CHECK_EQ(helper->Release(), 0ul);
}

// A member that raises leaves no result behind, whichever way the call went (ITypeInfo::Invoke,
// or the vtable for vararg and record members), and its by-reference arguments hold what it
// wrote before failing, however the caller passed them.
void FailedCallsLeaveNoResult() {
    // Without Literals every description a member looks up fails with 9, and Login cannot show.
    _CPVSServer* server = Create<_CPVSServer>(CLSID_CPVSServer, IID__CPVSServer);
    _ConnectionHelper* helper = Create<_ConnectionHelper>(CLSID_ConnectionHelper, IID__ConnectionHelper);
    if (!server || !helper) return;
    Bstr missingDrive(L"Q:\\Data"), prompt(L"[%1]"), empty(L"");
    Bstr longName(std::wstring(300, L'a').c_str());
    VARIANT array;
    VariantInit(&array);
    SAFEARRAYBOUND bound{1, 0};
    V_VT(&array) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&array) = SafeArrayCreate(VT_VARIANT, 1, &bound);
    VARIANT truth;
    VariantInit(&truth);
    V_VT(&truth) = VT_BOOL;
    V_BOOL(&truth) = VARIANT_TRUE;
    struct FailingCall {
        const char* what;
        IDispatch* object;
        const wchar_t* member;
        std::vector<VARIANT> args;
    };
    const FailingCall calls[] = {
        {"String result", helper, L"PathToUNC", {Str(missingDrive.b)}},
        {"Boolean result", helper, L"DoesFileExist", {Str(longName.b)}},
        {"Variant result", server, L"GetDBName", {Long(99)}},
        {"object result", helper, L"CreatePSQLConnection",
         {Str(empty.b), Str(empty.b), Str(empty.b), Str(empty.b), truth}},
        {"vararg member", helper, L"GetLabel", {Str(prompt.b), array}},
        {"record result", helper, L"Login", {Long(1)}},
    };
    for (const FailingCall& c : calls) {
        VARIANT result = Long(0x1234);  // a caller's stale value, which needs no freeing
        EXCEPINFO excep;
        const HRESULT hr = Call(c.object, c.member, c.args, &result, &excep);
        if (!CHECK_EQ(static_cast<uint32_t>(hr), static_cast<uint32_t>(DISP_E_EXCEPTION)) ||
            !CHECK_EQ(V_VT(&result), VARTYPE(VT_EMPTY)))
            std::printf("  in: %s\n", c.what);
        CHECK(excep.bstrSource && SysStringLen(excep.bstrSource) > 0);
        VariantClear(&result);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
    }
    VariantClear(&array);

    // RemoveDir cuts "\abc\def" to "\abc", then fails on the leading backslash.
    enum class Form { StringReference, VariantHoldingString, VariantHoldingReference, StringValue };
    const struct {
        Form form;
        const char* after;
    } forms[] = {
        {Form::StringReference, "\\abc"},
        {Form::VariantHoldingString, "\\abc"},
        {Form::VariantHoldingReference, "\\abc"},
        {Form::StringValue, "\\abc\\def"},
    };
    for (const auto& form : forms) {
        BSTR text = SysAllocString(L"\\abc\\def");
        VARIANT inner;
        VariantInit(&inner);
        VARIANT arg;
        VariantInit(&arg);
        switch (form.form) {
            case Form::StringReference:
                V_VT(&arg) = VT_BYREF | VT_BSTR;
                V_BSTRREF(&arg) = &text;
                break;
            case Form::VariantHoldingString:
                inner = Str(std::exchange(text, nullptr));
                arg = RefTo(&inner);
                break;
            case Form::VariantHoldingReference:
                V_VT(&inner) = VT_BYREF | VT_BSTR;
                V_BSTRREF(&inner) = &text;
                arg = RefTo(&inner);
                break;
            case Form::StringValue: arg = Str(text); break;
        }
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO excep;
        CHECK_EQ(static_cast<uint32_t>(Call(helper, L"RemoveDir", {arg}, &result, &excep)),
                 static_cast<uint32_t>(DISP_E_EXCEPTION));
        CHECK_EQ(V_VT(&result), VARTYPE(VT_EMPTY));
        const BSTR after = V_VT(&inner) == VT_BSTR ? V_BSTR(&inner) : text;
        if (!CHECK_EQ(Text(U(after)), std::string(form.after))) std::printf("  in: form %d\n", static_cast<int>(form.form));
        VariantClear(&inner);
        SysFreeString(text);
        SysFreeString(excep.bstrSource);
        SysFreeString(excep.bstrDescription);
        SysFreeString(excep.bstrHelpFile);
    }

    CHECK_EQ(server->Release(), 0ul);
    CHECK_EQ(helper->Release(), 0ul);
}

void AliasesAnswerWithTheSamePointer(_ConnectionHelper* helper) {
    for (const IID& alias : kConnectionHelperAliasIids) {
        IUnknown* same = nullptr;
        CHECK(SUCCEEDED(helper->QueryInterface(alias, reinterpret_cast<void**>(&same))));
        CHECK(same == static_cast<IUnknown*>(helper));
        if (same) same->Release();
    }
    const IID unknownIids[] = {IID__CPVSServer, IID_IClassFactory, IID_IPersist,
                               {0x463EAE37, 0x6566, 0x49AF, {0x87, 0xC6, 0xAB, 0xF4, 0x28, 0x6A, 0xE0, 0x70}}};
    for (const IID& iid : unknownIids) {
        IUnknown* other = reinterpret_cast<IUnknown*>(1);
        CHECK_EQ(static_cast<uint32_t>(helper->QueryInterface(iid, reinterpret_cast<void**>(&other))),
                 static_cast<uint32_t>(E_NOINTERFACE));
        CHECK(other == nullptr);
    }
    ISupportErrorInfo* support = nullptr;
    CHECK(SUCCEEDED(helper->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))));
    if (support) {
        CHECK_EQ(support->InterfaceSupportsErrorInfo(IID__ConnectionHelper), S_OK);
        CHECK_EQ(support->InterfaceSupportsErrorInfo(kConnectionHelperAliasIids[4]), S_OK);
        CHECK_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
        support->Release();
    }
}

void HelperMembersThroughTheVtable(_ConnectionHelper* helper) {
    Bstr name(L"system one");
    CHECK_EQ(helper->put_gstrSystemName(name.b), S_OK);
    BSTR got = nullptr;
    CHECK_EQ(helper->get_gstrSystemName(&got), S_OK);
    CHECK_EQ(Text(U(got)), std::string("system one"));
    SysFreeString(got);

    SAFEARRAY* literals = Literals();
    CHECK_EQ(helper->put_Literals(&literals), S_OK);
    SafeArrayDestroy(literals);
    SAFEARRAY* copy = nullptr;
    CHECK_EQ(helper->get_Literals(&copy), S_OK);
    LONG lower = 0, upper = 0;
    SafeArrayGetLBound(copy, 1, &lower);
    SafeArrayGetUBound(copy, 1, &upper);
    CHECK_EQ(lower, 1L);
    CHECK_EQ(upper, 34L);
    VARTYPE type = VT_EMPTY;
    SafeArrayGetVartype(copy, &type);
    CHECK_EQ(type, VARTYPE(VT_BSTR));
    SafeArrayDestroy(copy);

    // RemoveDir cuts its by-reference argument too.
    BSTR server = SysAllocString(L"\\\\srv\\apps\\Data");
    BSTR result = nullptr;
    CHECK_EQ(helper->RemoveDir(&server, &result), S_OK);
    CHECK_EQ(Text(U(result)), std::string("srv"));
    CHECK_EQ(Text(U(server)), std::string("srv"));
    SysFreeString(server);
    SysFreeString(result);

    Bstr prompt(L"Copy [%1] to [%2]?");
    BSTR promptRef = prompt.b;
    SAFEARRAYBOUND bound{2, 0};
    SAFEARRAY* parms = SafeArrayCreate(VT_VARIANT, 1, &bound);
    VARIANT a = Str(SysAllocString(L"A"));
    VARIANT five = Int(5);
    LONG i = 0;
    SafeArrayPutElement(parms, &i, &a);
    i = 1;
    SafeArrayPutElement(parms, &i, &five);
    VariantClear(&a);
    CHECK_EQ(helper->GetLabel(&promptRef, &parms, &result), S_OK);
    CHECK_EQ(Text(U(result)), std::string("Copy A to 5?"));
    SysFreeString(result);
    SafeArrayDestroy(parms);

    // Engine statuses and object-defined numbers reach the client as HRESULT plus record.
    LONG status = 7013;
    Bstr proc(L"DropIt");
    BSTR procRef = proc.b;
    CHECK_EQ(static_cast<uint32_t>(helper->ThrowPSQLError(&status, &procRef)), 0x800A1B65u);
    CHECK_EQ(LastError(), std::string("Kestrin.Varnholt.ConnectionHelper.DropIt|Named database does not exist."));
    Bstr missingDrive(L"Q:\\Data");
    result = nullptr;
    CHECK_EQ(static_cast<uint32_t>(helper->PathToUNC(missingDrive.b, &result)), 0x80040001u);
    CHECK_EQ(LastError(), std::string("Kestrin.Varnholt.ConnectionHelper.PathToUNC|L24 Q:"));
    CHECK(result == nullptr);
}

void HelperThroughDispatch(_ConnectionHelper* helper) {
    IDispatch* d = helper;
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep;

    // Trailing arguments: none, one, three.
    Bstr prompt(L"<[%1]|[%2]|[%3]>");
    CHECK_EQ(Call(d, L"GetLabel", {Str(prompt.b)}, &result, &excep), S_OK);
    CHECK_EQ(Text(U(V_BSTR(&result))), std::string("<[%1]|[%2]|[%3]>"));
    VariantClear(&result);
    Bstr x(L"x");
    CHECK_EQ(Call(d, L"GetLabel", {Str(prompt.b), Str(x.b)}, &result, &excep), S_OK);
    CHECK_EQ(Text(U(V_BSTR(&result))), std::string("<x|[%2]|[%3]>"));
    VariantClear(&result);
    VARIANT truth;
    VariantInit(&truth);
    V_VT(&truth) = VT_BOOL;
    V_BOOL(&truth) = VARIANT_TRUE;
    CHECK_EQ(Call(d, L"GetLabel", {Str(prompt.b), Str(x.b), Int(7), truth}, &result, &excep), S_OK);
    CHECK_EQ(Text(U(V_BSTR(&result))), std::string("<x|7|True>"));
    VariantClear(&result);

    // A script variable passed by reference is written back, in the declared type.
    VARIANT variable = Str(SysAllocString(L"\\\\host\\share\\dir\\"));
    CHECK_EQ(Call(d, L"RemoveDir", {RefTo(&variable)}, &result, &excep), S_OK);
    CHECK_EQ(Text(U(V_BSTR(&variable))), std::string("host"));
    VariantClear(&result);
    VariantClear(&variable);
    // A variable of another type is converted for the call and left alone when unchanged.
    VARIANT number = Int(12);
    CHECK_EQ(Call(d, L"FolderName", {RefTo(&number)}, &result, &excep), S_OK);
    CHECK_EQ(Text(U(V_BSTR(&result))), std::string("12"));
    CHECK_EQ(V_VT(&number), VARTYPE(VT_I2));
    VariantClear(&result);

    // By-reference Long from an Integer variable, and the error as EXCEPINFO.
    VARIANT status = Int(7013);
    VARIANT proc = Str(SysAllocString(L"Here"));
    CHECK_EQ(static_cast<uint32_t>(Call(d, L"ThrowPSQLError", {RefTo(&status), RefTo(&proc)}, &result, &excep)),
             static_cast<uint32_t>(DISP_E_EXCEPTION));
    CHECK_EQ(static_cast<uint32_t>(excep.scode), 0x800A1B65u);
    CHECK_EQ(Text(U(excep.bstrSource)), std::string("Kestrin.Varnholt.ConnectionHelper.Here"));
    SysFreeString(excep.bstrSource);
    SysFreeString(excep.bstrDescription);
    SysFreeString(excep.bstrHelpFile);
    VariantClear(&proc);

    // A script's VARIANT array for a string-array property.
    SAFEARRAYBOUND bound{2, 0};
    VARIANT array;
    VariantInit(&array);
    V_VT(&array) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(&array) = SafeArrayCreate(VT_VARIANT, 1, &bound);
    LONG i = 1;
    VARIANT second = Int(42);
    SafeArrayPutElement(V_ARRAY(&array), &i, &second);
    CHECK_EQ(Call(d, L"Literals", {array}, nullptr, &excep, DISPATCH_PROPERTYPUT), S_OK);
    VariantClear(&array);
    CHECK_EQ(Call(d, L"Literals", {}, &result, &excep), S_OK);
    CHECK_EQ(V_VT(&result), VARTYPE(VT_ARRAY | VT_BSTR));
    BSTR element = nullptr;
    SafeArrayGetElement(V_ARRAY(&result), &i, &element);
    CHECK_EQ(Text(U(element)), std::string("42"));
    SysFreeString(element);
    VariantClear(&result);

    // Optional by-reference credentials may be left out; too few required arguments may not.
    Bstr dbName(L"NO SUCH NAME");
    Bstr empty(L"");
    CHECK_EQ(Call(d, L"DBNameExists", {Str(dbName.b), Str(empty.b)}, &result, &excep), S_OK);
    CHECK(V_VT(&result) == VT_BOOL && V_BOOL(&result) == VARIANT_FALSE);
    VariantClear(&result);
    CHECK_EQ(static_cast<uint32_t>(Call(d, L"DBNameExists", {Str(dbName.b)}, &result, &excep)),
             static_cast<uint32_t>(DISP_E_BADPARAMCOUNT));
    CHECK_EQ(static_cast<uint32_t>(Call(d, L"NoSuchMember", {}, &result, &excep)),
             static_cast<uint32_t>(DISP_E_MEMBERNOTFOUND));
}

void ServerMembers(_CPVSServer* server) {
    Bstr name(L"FS01");
    CHECK_EQ(server->put_Server(name.b), S_OK);
    BSTR got = nullptr;
    server->get_Server(&got);
    CHECK_EQ(Text(U(got)), std::string("FS01"));
    SysFreeString(got);
    CHECK_EQ(server->put_Server(nullptr), S_OK);
    VARIANT_BOOL connected = VARIANT_TRUE;
    server->get_Connected(&connected);
    CHECK_EQ(connected, VARIANT_FALSE);
    BSTR version = nullptr;
    CHECK_EQ(server->GetEngineVersion(&version), S_OK);
    CHECK_EQ(Text(U(version)), std::string("9.5.0"));
    SysFreeString(version);
    server->get_Connected(&connected);
    CHECK_EQ(connected, VARIANT_TRUE);
    LONG major = 0;
    CHECK_EQ(server->get_EngineVersionMajor(&major), S_OK);
    CHECK_EQ(major, 9L);

    CHECK_EQ(server->Connect(), S_OK);
    Bstr nope(L"NOPE");
    CHECK_EQ(static_cast<uint32_t>(server->DropDBName(nope.b)), 0x800A1B65u);
    CHECK_EQ(LastError(), std::string("Kestrin.Varnholt.CPVSServer.DropDBName|Named database does not exist."));

    // Attrib and DBName left out: the name of sequence number Index.
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO excep;
    VARIANT index;
    VariantInit(&index);
    V_VT(&index) = VT_I4;
    V_I4(&index) = 2;
    CHECK_EQ(Call(server, L"GetDBName", {index}, &result, &excep), S_OK);
    CHECK_EQ(Text(U(V_BSTR(&result))), std::string("SECOND"));
    VariantClear(&result);
}

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

void UnloadAnswersFollowObjectsAndLocks(const wchar_t* dllPath) {
    HMODULE module = LoadLibraryW(dllPath);
    CHECK(module != nullptr);
    if (!module) return;
    auto getClassObject = reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    auto canUnload = reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    CHECK(getClassObject && canUnload);
    if (!getClassObject || !canUnload) return;
    CHECK_EQ(canUnload(), S_OK);
    IClassFactory* factory = nullptr;
    CHECK_EQ(getClassObject(CLSID_ConnectionHelper, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    CHECK_EQ(canUnload(), S_FALSE);
    IUnknown* object = nullptr;
    CHECK_EQ(static_cast<uint32_t>(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID_IUnknown,
                                                           reinterpret_cast<void**>(&object))),
             static_cast<uint32_t>(CLASS_E_NOAGGREGATION));
    CHECK_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    factory->LockServer(TRUE);
    factory->Release();
    CHECK_EQ(canUnload(), S_FALSE);
    object->Release();
    CHECK_EQ(canUnload(), S_FALSE);  // still locked
    // The lock outlives the factory it was taken through: a new factory unlocks.
    CHECK_EQ(getClassObject(CLSID_CPVSServer, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    factory->LockServer(FALSE);
    factory->Release();
    CHECK_EQ(canUnload(), S_OK);
    // An unlock without a lock is ignored, so later objects and locks still count from zero.
    CHECK_EQ(getClassObject(CLSID_CPVSServer, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    CHECK_EQ(factory->LockServer(FALSE), S_OK);
    CHECK_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    object->Release();
    factory->LockServer(TRUE);
    factory->Release();
    CHECK_EQ(canUnload(), S_FALSE);
    CHECK_EQ(getClassObject(CLSID_CPVSServer, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    factory->LockServer(FALSE);
    factory->Release();
    CHECK_EQ(canUnload(), S_OK);
    const CLSID unknown = {0x1B6DC75A, 0x04CA, 0x48B0, {0x8A, 0x39, 0x15, 0x01, 0xD8, 0x37, 0x10, 0xBA}};
    factory = reinterpret_cast<IClassFactory*>(1);
    CHECK_EQ(static_cast<uint32_t>(getClassObject(unknown, IID_IClassFactory, reinterpret_cast<void**>(&factory))),
             static_cast<uint32_t>(CLASS_E_CLASSNOTAVAILABLE));
    CHECK(factory == nullptr);
    FreeLibrary(module);
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) {
        std::printf("usage: client_test <Varnholt.dll>\n");
        return 2;
    }
    CoInitialize(nullptr);
    _ConnectionHelper* helper = nullptr;
    CHECK_EQ(CoCreateInstance(CLSID_ConnectionHelper, nullptr, CLSCTX_INPROC_SERVER, IID__ConnectionHelper,
                              reinterpret_cast<void**>(&helper)),
             S_OK);
    if (helper) {
        AliasesAnswerWithTheSamePointer(helper);
        HelperMembersThroughTheVtable(helper);
        HelperThroughDispatch(helper);
        CHECK_EQ(helper->Release(), 0ul);
    }
    _CPVSServer* server = nullptr;
    CHECK_EQ(CoCreateInstance(CLSID_CPVSServer, nullptr, CLSCTX_INPROC_SERVER, IID__CPVSServer,
                              reinterpret_cast<void**>(&server)),
             S_OK);
    if (server) {
        ServerMembers(server);
        CHECK_EQ(server->Release(), 0ul);
    }
    NamedArguments();
    FailedCallsLeaveNoResult();
    CoFreeUnusedLibraries();
    UnloadAnswersFollowObjectsAndLocks(argv[1]);
    CoUninitialize();
    LocalFree(argv);
    return varnholt::wintest::Summary();
}
