// An early-bound C++ client of the registered Varnholt.dll: members through the vtable of the
// generated header, the earlier interface identifiers, IDispatch with the argument forms a
// script uses, error records, and the module's unload answer.
// Usage: client_test <path of Varnholt.dll>; the stand-in engine must be on the search path.
#include <windows.h>
#include <oleauto.h>

#include <string>
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

VARIANT Str(BSTR b) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = b;
    return v;
}
VARIANT Int(short n) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I2;
    V_I2(&v) = n;
    return v;
}
VARIANT RefTo(VARIANT* target) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&v) = target;
    return v;
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
    CoFreeUnusedLibraries();
    UnloadAnswersFollowObjectsAndLocks(argv[1]);
    CoUninitialize();
    LocalFree(argv);
    return varnholt::wintest::Summary();
}
