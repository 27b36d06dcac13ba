// An early-bound C++ client of the registered Varnholt.dll: the error records an early-bound
// client reads, the earlier interface identifiers, IDispatch with the argument forms a script
// uses and that suite.vbs cannot build, and the module's unload answer.
// Usage: client_test <path of Varnholt.dll>; the stand-in engine must be on the search path.
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <utility>
#include <vector>

#include "Check.h"
#include "component/Identifiers.h"
#include "platform/win32/ComTypes.h"
#include "varnholt_idl.h"

using namespace varnholt::wintest;
using varnholt::component::kConnectionHelperAliasIids;
using varnholt::win32::Bstr;
using varnholt::win32::ComPtr;
using varnholt::win32::VariantValue;

namespace {

Bstr B(const wchar_t* text) { return Bstr(SysAllocString(text)); }

template <class Interface>
ComPtr<Interface> Create(const CLSID& clsid, const IID& iid) {
    ComPtr<Interface> object;
    CHECK_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object.PutVoid()), S_OK);
    return object;
}

// Every object a test made is gone when it lets go.
template <class Interface>
void CheckLastReference(ComPtr<Interface>& object) {
    if (object) CHECK_EQ(object.Detach()->Release(), 0ul);
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
    ExcepInfo excep;
    return object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, &excep, argErr);
}

// Parameter names resolve to their positions, case-insensitively; named arguments reach those
// parameters in any order, mixed with positional ones; omitted optional ones take defaults.
void NamedArguments(_CPVSServer* server, _ConnectionHelper* helper) {
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
        CHECK_HR(c.object->GetIDsOfNames(IID_NULL, names.data(), static_cast<UINT>(names.size()), LOCALE_USER_DEFAULT,
                                         ids.data()),
                 c.hr);
        for (size_t i = 0; i < ids.size(); ++i) CHECK_EQ(ids[i], c.ids[i]);
    }

    Bstr second = B(L"SECOND");
    VariantValue variable;
    *variable = Str(SysAllocString(L"\\\\host\\share\\dir"));
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
    // clang-format off
    const InvokeCase cases[] = {
        {"only named", server, getDBName, {}, {{0, Long(2)}}, S_OK, "SECOND", noArg},
        {"named in any order", server, getDBName, {}, {{2, Str(second.Get())}, {1, Long(3)}, {0, Long(1)}}, S_OK,
         "C:\\data2", noArg},
        {"positional then named", server, getDBName, {Long(2)}, {{1, Long(2)}, {2, Str(second.Get())}}, S_OK,
         "C:\\dict2", noArg},
        {"named missing optional", server, getDBName, {Long(1)}, {{2, Missing()}, {1, Missing()}}, S_OK, "FIRST", noArg},
        {"by reference, named", helper, 0x60030011, {}, {{0, RefTo(variable.Get())}}, S_OK, "host", noArg},
        {"vararg member, fixed part named", helper, 0x6003000A, {}, {{0, Str(second.Get())}}, S_OK, "SECOND", noArg},
        {"named twice", server, getDBName, {}, {{0, Long(2)}, {0, Long(1)}}, DISP_E_PARAMNOTFOUND, "", 1},
        {"named and positional", server, getDBName, {Long(2)}, {{0, Long(1)}}, DISP_E_PARAMNOTFOUND, "", 0},
        {"no such parameter", server, getDBName, {Long(2)}, {{1, Long(1)}, {7, Long(1)}}, DISP_E_PARAMNOTFOUND, "", 1},
        {"the result parameter", server, getDBName, {Long(2)}, {{3, Long(1)}}, DISP_E_PARAMNOTFOUND, "", 0},
        {"negative id", server, getDBName, {Long(2)}, {{-5, Long(1)}}, DISP_E_PARAMNOTFOUND, "", 0},
        {"property-put id on a method", server, getDBName, {Long(2)}, {{DISPID_PROPERTYPUT, Long(1)}},
         DISP_E_PARAMNOTFOUND, "", 0},
        {"required one left out", server, getDBName, {}, {{1, Long(3)}}, DISP_E_PARAMNOTOPTIONAL, "", noArg},
    };
    // clang-format on
    CHECK(SUCCEEDED(server->Connect()));
    for (const InvokeCase& c : cases) {
        VariantValue result;
        UINT argErr = noArg;
        const HRESULT hr = CallNamed(c.object, c.member, c.positional, c.named, result.Get(), &argErr);
        if (!CHECK_HR(hr, c.hr)) std::printf("  in: %s\n", c.what);
        if (SUCCEEDED(hr)) {
            if (CHECK_EQ(V_VT(result.Get()), VARTYPE(VT_BSTR)))
                CHECK_EQ(Text(V_BSTR(result.Get())), std::string(c.text));
        } else {
            CHECK_EQ(argErr, c.argErr);
            CHECK_EQ(V_VT(result.Get()), VARTYPE(VT_EMPTY));
        }
    }
    CHECK_EQ(Text(V_BSTR(variable.Get())), std::string("host"));

    // A property's new value stays DISPID_PROPERTYPUT; the value's own position is no second name for it.
    Bstr name = B(L"named system");
    const DISPID systemName = 0x40030000;
    CHECK_EQ(CallNamed(helper, systemName, {}, {{DISPID_PROPERTYPUT, Str(name.Get())}}, nullptr, nullptr,
                       DISPATCH_PROPERTYPUT),
             S_OK);
    UINT argErr = noArg;
    CHECK_HR(CallNamed(helper, systemName, {}, {{DISPID_PROPERTYPUT, Str(name.Get())}, {0, Str(name.Get())}}, nullptr,
                       &argErr, DISPATCH_PROPERTYPUT),
             DISP_E_PARAMNOTFOUND);
    CHECK_EQ(argErr, 1u);
    Bstr got;
    CHECK_EQ(helper->get_gstrSystemName(got.Put()), S_OK);
    CHECK_EQ(Text(got.Get()), std::string("named system"));
}

// A member that raises leaves no result behind, whichever way the call went (ITypeInfo::Invoke,
// or the vtable for vararg and record members), and its by-reference arguments hold what it
// wrote before failing, however the caller passed them.
void FailedCallsLeaveNoResult(_CPVSServer* server, _ConnectionHelper* helper) {
    // Without Literals every description a member looks up fails with 9, and Login cannot show.
    Bstr missingDrive = B(L"Q:\\Data"), prompt = B(L"[%1]"), empty = B(L"");
    Bstr longName = B(std::wstring(300, L'a').c_str());
    VariantValue array;
    SAFEARRAYBOUND bound{1, 0};
    V_VT(array.Get()) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(array.Get()) = SafeArrayCreate(VT_VARIANT, 1, &bound);
    const VARIANT e = Str(empty.Get());
    const struct {
        const char* what;
        IDispatch* object;
        const wchar_t* member;
        std::vector<VARIANT> args;
    } calls[] = {
        {"String result", helper, L"PathToUNC", {Str(missingDrive.Get())}},
        {"Boolean result", helper, L"DoesFileExist", {Str(longName.Get())}},
        {"Variant result", server, L"GetDBName", {Long(99)}},
        {"object result", helper, L"CreatePSQLConnection", {e, e, e, e, Bool(true)}},
        {"vararg member", helper, L"GetLabel", {Str(prompt.Get()), *array}},
        {"record result", helper, L"Login", {Long(1)}},
    };
    for (const auto& c : calls) {
        VARIANT result = Long(0x1234);  // a caller's stale value, which needs no freeing
        ExcepInfo excep;
        const HRESULT hr = Call(c.object, c.member, c.args, &result, &excep);
        if (!CHECK_HR(hr, DISP_E_EXCEPTION) || !CHECK_EQ(V_VT(&result), VARTYPE(VT_EMPTY)))
            std::printf("  in: %s\n", c.what);
        VariantClear(&result);
    }

    // RemoveDir cuts "\abc\def" to "\abc", then fails on the leading backslash.
    // Forms 0 to 3: a string reference, a Variant holding a string, a Variant holding a string
    // reference, and a string by value (which the caller keeps as it was).
    for (int form = 0; form < 4; ++form) {
        BSTR text = SysAllocString(L"\\abc\\def");
        VARIANT inner = Of(VT_EMPTY), arg = Of(VT_BYREF | VT_BSTR);
        V_BSTRREF(&arg) = &text;
        if (form == 1) inner = Str(std::exchange(text, nullptr));
        if (form == 2) inner = arg;
        if (form == 1 || form == 2) arg = RefTo(&inner);
        if (form == 3) arg = Str(text);
        VariantValue result;
        ExcepInfo excep;
        CHECK_HR(Call(helper, L"RemoveDir", {arg}, result.Get(), &excep), DISP_E_EXCEPTION);
        CHECK_EQ(V_VT(result.Get()), VARTYPE(VT_EMPTY));
        const BSTR after = V_VT(&inner) == VT_BSTR ? V_BSTR(&inner) : text;
        const char* want = form == 3 ? "\\abc\\def" : "\\abc";
        if (!CHECK_EQ(Text(after), std::string(want))) std::printf("  in: form %d\n", form);
        VariantClear(&inner);
        SysFreeString(text);
    }
}

void AliasesAnswerWithTheSamePointer(_ConnectionHelper* helper) {
    for (const IID& alias : kConnectionHelperAliasIids) {
        ComPtr<IUnknown> same;
        CHECK(SUCCEEDED(helper->QueryInterface(alias, same.PutVoid())));
        CHECK(same.Get() == static_cast<IUnknown*>(helper));
    }
    const IID unknownIids[] = {IID__CPVSServer,
                               IID_IClassFactory,
                               IID_IPersist,
                               {0x463EAE37, 0x6566, 0x49AF, {0x87, 0xC6, 0xAB, 0xF4, 0x28, 0x6A, 0xE0, 0x70}}};
    for (const IID& iid : unknownIids) {
        IUnknown* other = reinterpret_cast<IUnknown*>(1);
        CHECK_HR(helper->QueryInterface(iid, reinterpret_cast<void**>(&other)), E_NOINTERFACE);
        CHECK(other == nullptr);
    }
    ComPtr<ISupportErrorInfo> support;
    if (CHECK(SUCCEEDED(helper->QueryInterface(IID_ISupportErrorInfo, support.PutVoid())))) {
        CHECK_EQ(support->InterfaceSupportsErrorInfo(IID__ConnectionHelper), S_OK);
        CHECK_EQ(support->InterfaceSupportsErrorInfo(kConnectionHelperAliasIids[4]), S_OK);
        CHECK_EQ(support->InterfaceSupportsErrorInfo(IID_IDispatch), S_FALSE);
    }
}

// What an early-bound client reads after a failed vtable call: the HRESULT, the thread's error
// record, and an out-parameter left empty. (Late-bound clients read the same record: suite.vbs.)
void ErrorRecordOfAVtableCall(_ConnectionHelper* helper) {
    std::vector<std::wstring> texts;
    for (int i = 1; i <= 34; ++i) texts.push_back(L"L" + std::to_wstring(i));
    SAFEARRAY* literals = Strings(1, texts);
    CHECK_EQ(helper->put_Literals(&literals), S_OK);
    SafeArrayDestroy(literals);
    Bstr missingDrive = B(L"Q:\\Data"), result;
    CHECK_HR(helper->PathToUNC(missingDrive.Get(), result.Put()), 0x80040001u);
    CHECK_EQ(LastError(), std::string("Kestrin.Varnholt.ConnectionHelper.PathToUNC|L24 Q:"));
    CHECK(result.Get() == nullptr);
}

// Argument forms of a script: variables by reference, in other types. (A script's VARIANT array
// for a string-array property: suite.vbs sets Literals from one, MarshalTest converts one.)
void HelperThroughDispatch(_ConnectionHelper* helper) {
    IDispatch* d = helper;
    VariantValue result;
    ExcepInfo excep;
    // A variable of another type is converted for the call and left alone when unchanged.
    VARIANT number = Int(12);
    CHECK_EQ(Call(d, L"FolderName", {RefTo(&number)}, result.Get(), &excep), S_OK);
    CHECK_EQ(Text(V_BSTR(result.Get())), std::string("12"));
    CHECK_EQ(V_VT(&number), VARTYPE(VT_I2));
    result.Clear();

    // By-reference Long from an Integer variable, and the error as EXCEPINFO.
    VARIANT status = Int(7013);
    VariantValue proc;
    *proc = Str(SysAllocString(L"Here"));
    CHECK_HR(Call(d, L"ThrowPSQLError", {RefTo(&status), RefTo(proc.Get())}, result.Get(), &excep), DISP_E_EXCEPTION);
    CHECK_HR(excep.scode, 0x800A1B65u);
    CHECK_EQ(Text(excep.bstrSource), std::string("Kestrin.Varnholt.ConnectionHelper.Here"));
    excep.Reset();

    // Too few required arguments, and a member that does not exist.
    Bstr dbName = B(L"NO SUCH NAME");
    CHECK_HR(Call(d, L"DBNameExists", {Str(dbName.Get())}, result.Get(), &excep), DISP_E_BADPARAMCOUNT);
    CHECK_HR(Call(d, L"NoSuchMember", {}, result.Get(), &excep), DISP_E_MEMBERNOTFOUND);
}

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();

void UnloadAnswersFollowObjectsAndLocks(const wchar_t* dllPath) {
    HMODULE module = LoadLibraryW(dllPath);
    if (!CHECK(module != nullptr)) return;
    auto getClassObject =
        reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    auto canUnload =
        reinterpret_cast<CanUnloadNowFn>(reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    if (!CHECK(getClassObject && canUnload)) return;
    CHECK_EQ(canUnload(), S_OK);
    auto factoryOf = [&](const CLSID& clsid) {
        ComPtr<IClassFactory> factory;
        CHECK_EQ(getClassObject(clsid, IID_IClassFactory, factory.PutVoid()), S_OK);
        return factory;
    };
    ComPtr<IClassFactory> factory = factoryOf(CLSID_ConnectionHelper);
    CHECK_EQ(canUnload(), S_FALSE);
    ComPtr<IUnknown> object;
    CHECK_HR(factory->CreateInstance(factory.Get(), IID_IUnknown, object.PutVoid()), CLASS_E_NOAGGREGATION);
    CHECK_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.PutVoid()), S_OK);
    factory->LockServer(TRUE);
    factory.Reset();
    CHECK_EQ(canUnload(), S_FALSE);
    object.Reset();
    CHECK_EQ(canUnload(), S_FALSE);  // still locked
    // The lock outlives the factory it was taken through: a new factory unlocks.
    factoryOf(CLSID_CPVSServer)->LockServer(FALSE);
    CHECK_EQ(canUnload(), S_OK);
    // An unlock without a lock is ignored, so later objects and locks still count from zero.
    factory = factoryOf(CLSID_CPVSServer);
    CHECK_EQ(factory->LockServer(FALSE), S_OK);
    CHECK_EQ(factory->CreateInstance(nullptr, IID_IUnknown, object.PutVoid()), S_OK);
    object.Reset();
    factory->LockServer(TRUE);
    factory.Reset();
    CHECK_EQ(canUnload(), S_FALSE);
    factoryOf(CLSID_CPVSServer)->LockServer(FALSE);
    CHECK_EQ(canUnload(), S_OK);
    const CLSID unknown = {0x1B6DC75A, 0x04CA, 0x48B0, {0x8A, 0x39, 0x15, 0x01, 0xD8, 0x37, 0x10, 0xBA}};
    IClassFactory* none = reinterpret_cast<IClassFactory*>(1);
    CHECK_HR(getClassObject(unknown, IID_IClassFactory, reinterpret_cast<void**>(&none)), CLASS_E_CLASSNOTAVAILABLE);
    CHECK(none == nullptr);
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
    // Each group on objects of its own: what one leaves behind cannot help the next.
    using Group = void (*)(_CPVSServer*, _ConnectionHelper*);
    const Group groups[] = {
        [](_CPVSServer*, _ConnectionHelper* h) { AliasesAnswerWithTheSamePointer(h); },
        [](_CPVSServer*, _ConnectionHelper* h) { ErrorRecordOfAVtableCall(h); },
        [](_CPVSServer*, _ConnectionHelper* h) { HelperThroughDispatch(h); },
        NamedArguments,
        FailedCallsLeaveNoResult,
    };
    for (Group group : groups) {
        ComPtr<_CPVSServer> server = Create<_CPVSServer>(CLSID_CPVSServer, IID__CPVSServer);
        ComPtr<_ConnectionHelper> helper = Create<_ConnectionHelper>(CLSID_ConnectionHelper, IID__ConnectionHelper);
        if (server && helper) group(server.Get(), helper.Get());
        CheckLastReference(server);
        CheckLastReference(helper);
    }
    CoFreeUnusedLibraries();
    UnloadAnswersFollowObjectsAndLocks(argv[1]);
    CoUninitialize();
    LocalFree(argv);
    return Summary();
}
