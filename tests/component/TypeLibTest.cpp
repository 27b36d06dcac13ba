// The type library embedded in Varnholt.dll, read back: identifiers, version, flags, the
// enumerations, the record, the aliases, and every member's DISPID, kind, vtable slot and
// parameters in order. Usage: typelib_test <path of Varnholt.dll>
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "Check.h"
#include "platform/win32/ComTypes.h"

using varnholt::win32::ComPtr;
using varnholt::win32::TypeAttr;
using varnholt::wintest::Text;

namespace {

std::string Name(ITypeInfo* info, MEMBERID id) {
    BSTR name = nullptr;
    info->GetDocumentation(id, &name, nullptr, nullptr, nullptr);
    std::string text = Text(reinterpret_cast<const wchar_t*>(name ? name : L""));
    SysFreeString(name);
    return text;
}

std::string GuidText(const GUID& g) {
    wchar_t text[40] = {};
    StringFromGUID2(g, text, 40);
    return Text(text);
}

// One letter per type: s BSTR, l long, b VARIANT_BOOL, v VARIANT, e enum, A SAFEARRAY(BSTR),
// W SAFEARRAY(VARIANT), O IDispatch*, R record; upper case for a pointer to s/l/b/v.
std::string TypeCode(ITypeInfo* info, const TYPEDESC& t) {
    switch (t.vt) {
        case VT_BSTR: return "s";
        case VT_I4: return "l";
        case VT_BOOL: return "b";
        case VT_VARIANT: return "v";
        case VT_SAFEARRAY: return t.lptdesc->vt == VT_BSTR ? "A" : "W";
        case VT_USERDEFINED: {
            ComPtr<ITypeInfo> ref;
            info->GetRefTypeInfo(t.hreftype, ref.Put());
            TypeAttr attr(ref.Get());
            return attr->typekind == TKIND_ENUM ? "e" : attr->typekind == TKIND_RECORD ? "R" : "O";
        }
        case VT_PTR: {
            std::string inner = TypeCode(info, *t.lptdesc);
            if (inner.size() == 1 && inner[0] >= 'a' && inner[0] <= 'z') inner[0] = static_cast<char>(inner[0] - 32);
            return inner;
        }
        case VT_DISPATCH: return "O";
        default: return "?" + std::to_string(t.vt);
    }
}

std::string DefaultText(const VARIANT& v) {
    if (V_VT(&v) == VT_BSTR) return "\"" + Text(V_BSTR(&v)) + "\"";
    VARIANT text;
    VariantInit(&text);
    VariantChangeType(&text, const_cast<VARIANT*>(&v), 0, VT_BSTR);
    std::string out = Text(V_BSTR(&text));
    VariantClear(&text);
    return out;
}

// "Name kind(id)[vararg]: params" with ">" before the result, "?" for optional, "=x" default.
std::string Render(ITypeInfo* info, const FUNCDESC& f) {
    const char* kind = f.invkind == INVOKE_PROPERTYGET ? "get" : f.invkind == INVOKE_PROPERTYPUT ? "let" : "fn";
    char id[16];
    std::snprintf(id, sizeof id, "%08lX", static_cast<unsigned long>(f.memid));
    std::string text = Name(info, f.memid) + " " + kind + "(" + id + ")" + (f.cParamsOpt == -1 ? " vararg" : "") + ":";
    for (SHORT i = 0; i < f.cParams; ++i) {
        const ELEMDESC& e = f.lprgelemdescParam[i];
        const USHORT flags = e.paramdesc.wParamFlags;
        text += i ? "," : "";
        if (flags & PARAMFLAG_FRETVAL) text += ">";
        text += TypeCode(info, e.tdesc);
        if (flags & PARAMFLAG_FOPT) text += "?";
        if ((flags & PARAMFLAG_FHASDEFAULT) && e.paramdesc.pparamdescex)
            text += "=" + DefaultText(e.paramdesc.pparamdescex->varDefaultValue);
    }
    return text;
}

const char* const kServerMembers[] = {
    // clang-format off
    "Server get(40030000):>S", "Server let(40030000):s", "User get(40030001):>S", "User let(40030001):s",
    "Password get(40030002):>S", "Password let(40030002):s", "lConn get(40030003):>L", "lConn let(40030003):l",
    "Connected get(40030004):>B", "Connected let(40030004):b", "Started get(40030005):>B", "Started let(40030005):b",
    "Connect fn(60030002):", "DisConnect fn(60030003):", "GetDBName fn(60030004):l,l?=1,s?=\"\",>V",
    "GetDBNamesCount fn(60030005):>L", "GetDBNames fn(60030006):b?=0,>V", "CreateDBName fn(60030007):s,s,s",
    "DropDBName fn(60030008):s", "ModifyDataBase fn(60030009):s,v?=\"\",v?=\"\",v?=\"\"",
    "GetEngineMajorVersion fn(6003000A):>L", "GetEngineVersion fn(6003000B):>S", "GetEngineOS fn(6003000C):>S",
    // clang-format on
    "EngineVersionMajor get(68030001):>L",
};

const char* const kHelperMembers[] = {
    // clang-format off
    "gstrSystemName get(40030000):>S", "gstrSystemName let(40030000):s", "Literals let(68030000):A",
    "Literals get(68030000):>A", "ComputerName fn(60030001):>S", "PSQLConnectionString fn(60030002):S,S,S,S,>S",
    "CreatePSQLConnection fn(60030003):S,S,S,S,B,>O", "GetDBName fn(60030004):S,S,S?,S?,>S",
    "DBNameExists fn(60030005):S,S,S?,S?,>B", "CreatePSQLDBName fn(60030006):s,s,s,s,s,s,s,b,>S",
    "DifferentDates fn(60030007):A,S,S,>B", "GetLabel fn(6003000A) vararg:S,W,>S", "PathToUNC fn(6003000B):s,>S",
    "DoesFileExist fn(6003000F):s,b?=0,>B", "GetServerName fn(60030010):s,>S", "RemoveDir fn(60030011):S,>S",
    "Login fn(60030012):e,s?=\"\",s?=\"\",s?=\"\",s?=\"\",>R", "MakeDBName fn(60030013):S,S,>S",
    "FolderName fn(60030014):S,>S", "LegitimiseDBName fn(60030015):s,>S", "ThrowPSQLError fn(60030016):L,S",
    "GetCreateDB fn(6003001C):S,S,S,S,A,>S", "GetPSQLConnStr fn(6003001D):S,S,S,A,>S",
    "ModifyDataBase fn(6003001E):s,s,s,s,s,s,s,A,>S", "DBWasCreated get(6803001F):>B", "userName get(68030021):>S",
    "UserPassword get(68030020):>S", "CreateDBEntry fn(60030027):S,S,S,A,S,S,>S",
    // clang-format on
};

ComPtr<ITypeInfo> Find(ITypeLib* library, const wchar_t* guidText) {
    GUID guid{};
    CLSIDFromString(guidText, &guid);
    ComPtr<ITypeInfo> info;
    library->GetTypeInfoOfGuid(guid, info.Put());
    return info;
}

ComPtr<ITypeInfo> FindName(ITypeLib* library, const std::wstring& name) {
    ComPtr<ITypeInfo> info;
    MEMBERID id = 0;
    USHORT found = 1;
    library->FindName(const_cast<LPOLESTR>(name.c_str()), 0, info.Put(), &id, &found);
    return info;
}

// The vtable half of a dual interface: members in order, each in the slot after the last.
template <size_t N>
void CheckInterface(ITypeLib* library, const wchar_t* iid, const char* const (&expected)[N]) {
    ComPtr<ITypeInfo> dispatchHalf = Find(library, iid), info;
    if (!CHECK(dispatchHalf)) return;
    const WORD wanted = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;
    {
        TypeAttr attr(dispatchHalf.Get());
        CHECK_EQ(attr->typekind, TKIND_DISPATCH);
        CHECK_EQ(attr->wTypeFlags & wanted, wanted);
    }
    HREFTYPE href = 0;
    dispatchHalf->GetRefTypeOfImplType(static_cast<UINT>(-1), &href);
    dispatchHalf->GetRefTypeInfo(href, info.Put());
    if (!CHECK(info)) return;
    TypeAttr attr(info.Get());
    CHECK_EQ(attr->typekind, TKIND_INTERFACE);
    CHECK_EQ(attr->wTypeFlags & (wanted | TYPEFLAG_FOLEAUTOMATION), wanted | TYPEFLAG_FOLEAUTOMATION);
    CHECK_EQ(static_cast<size_t>(attr->cFuncs), N);
    for (size_t i = 0; i < std::min<size_t>(attr->cFuncs, N); ++i) {
        FUNCDESC* f = nullptr;
        info->GetFuncDesc(static_cast<UINT>(i), &f);
        CHECK_EQ(Render(info.Get(), *f), std::string(expected[i]));
        CHECK_EQ(static_cast<size_t>(f->oVft), (7 + i) * sizeof(void*));
        info->ReleaseFuncDesc(f);
    }
}

// An enumeration's or a record's fields in order, as "name value" or "name type".
void CheckFields(ComPtr<ITypeInfo> info, TYPEKIND kind, const std::vector<std::string>& fields) {
    if (!CHECK(info)) return;
    TypeAttr attr(info.Get());
    CHECK_EQ(attr->typekind, kind);
    CHECK_EQ(static_cast<size_t>(attr->cVars), fields.size());
    for (UINT i = 0; i < attr->cVars && i < fields.size(); ++i) {
        VARDESC* v = nullptr;
        info->GetVarDesc(i, &v);
        const std::string value =
            kind == TKIND_ENUM ? Text(V_I4(v->lpvarValue)) : TypeCode(info.Get(), v->elemdescVar.tdesc);
        CHECK_EQ(Name(info.Get(), v->memid) + " " + value, fields[i]);
        info->ReleaseVarDesc(v);
    }
}

void CheckLibrary(ITypeLib* library) {
    TLIBATTR* lib = nullptr;
    library->GetLibAttr(&lib);
    CHECK_EQ(GuidText(lib->guid), std::string("{3199BF63-5084-4AE6-8940-7BAE3C33077E}"));
    CHECK_EQ(Text(lib->wMajorVerNum) + "." + Text(lib->wMinorVerNum), std::string("26.5"));
    library->ReleaseTLibAttr(lib);
    BSTR libName = nullptr;
    library->GetDocumentation(-1, &libName, nullptr, nullptr, nullptr);
    CHECK_EQ(Text(libName), std::string("Varnholt"));
    SysFreeString(libName);

    CheckInterface(library, L"{06712FE3-0330-4691-ABD9-8C339DE2C2A0}", kServerMembers);
    CheckInterface(library, L"{ED238D87-813E-440E-8ACD-A3F08159DCCC}", kHelperMembers);

    const struct {
        const wchar_t* clsid;
        const char* name;
        WORD flags;
    } classes[] = {
        {L"{778ADA99-D2E8-4AEE-A9B7-F36B7DD099AB}", "CPVSServer", TYPEFLAG_FCANCREATE | TYPEFLAG_FAPPOBJECT},
        {L"{1B6DC75A-04CA-48B0-8A39-1501D83710B9}", "ConnectionHelper", TYPEFLAG_FCANCREATE},
    };
    for (const auto& c : classes) {
        ComPtr<ITypeInfo> info = Find(library, c.clsid);
        if (!CHECK(info)) continue;
        TypeAttr attr(info.Get());
        CHECK_EQ(attr->typekind, TKIND_COCLASS);
        CHECK_EQ(attr->wTypeFlags & (TYPEFLAG_FCANCREATE | TYPEFLAG_FAPPOBJECT), c.flags);
        CHECK_EQ(Name(info.Get(), MEMBERID_NIL), std::string(c.name));
    }

    // The five earlier identifiers are aliases of _ConnectionHelper, in order.
    const char* const aliasIds[] = {"{463EAE37-6566-49AF-87C6-ABF4286AE06F}", "{5E7D8E47-B1C4-4527-AAC4-C29DF5B3F1EA}",
                                    "{DA77D9A5-B1A6-4B65-8862-A41FBEA278D5}", "{482686E6-B68F-4306-9F4E-72FB1A056829}",
                                    "{F835AC82-3C3D-4340-84E9-506E95671102}"};
    for (int i = 0; i < 5; ++i) {
        ComPtr<ITypeInfo> info = FindName(library, L"ConnectionHelper___v" + std::to_wstring(i));
        if (!CHECK(info)) continue;
        TypeAttr attr(info.Get());
        CHECK_EQ(attr->typekind, TKIND_ALIAS);
        CHECK_EQ(GuidText(attr->guid), std::string(aliasIds[i]));
        CHECK_EQ(TypeCode(info.Get(), attr->tdescAlias), std::string("O"));
    }

    CheckFields(FindName(library, L"eDBNameAttribute"), TKIND_ENUM, {"eDBNA_Name 1", "eDBNA_DDF 2", "eDBNA_DAT 3"});
    CheckFields(FindName(library, L"eLoginModes"), TKIND_ENUM, {"eUserPswd 1", "ePasswordOnly 2", "eUserLocked 3"});
    CheckFields(Find(library, L"{679350B6-74C7-4798-8768-16DAA01340BA}"), TKIND_RECORD,
                {"User s", "Pswd s", "Cancelled b"});
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) return 2;
    CoInitialize(nullptr);
    {
        ComPtr<ITypeLib> library;
        CHECK_EQ(LoadTypeLibEx(argv[1], REGKIND_NONE, library.Put()), S_OK);
        if (library) CheckLibrary(library.Get());
    }
    CoUninitialize();
    LocalFree(argv);
    return varnholt::wintest::Summary();
}
