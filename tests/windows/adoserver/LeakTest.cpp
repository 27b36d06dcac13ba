// The server's leak report: a child process that keeps objects of the registered server past
// its end must fail with the report on stderr, and one that releases them must not.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win32/ComTypes.h"

using varnholt::win32::ComPtr;
using varnholt::win32::VariantValue;

namespace {

ComPtr<IDispatch> Create(const wchar_t* progId) {
    CLSID clsid;
    ComPtr<IDispatch> object;
    if (FAILED(CLSIDFromProgID(progId, &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()))) {
        std::fprintf(stderr, "cannot create %ls\n", progId);
        std::exit(2);
    }
    return object;
}

VariantValue Call(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* args = nullptr, UINT count = 0) {
    DISPID id = 0;
    LPOLESTR member = const_cast<LPOLESTR>(name);
    DISPPARAMS params{args, nullptr, count, 0};
    VariantValue result;
    if (FAILED(object->GetIDsOfNames(IID_NULL, &member, 1, 0, &id)) ||
        FAILED(object->Invoke(id, IID_NULL, 0, flags, &params, result.Get(), nullptr, nullptr))) {
        std::fprintf(stderr, "call %ls failed\n", name);
        std::exit(2);
    }
    return result;
}

// A recordset with one field, and that field's object.
ComPtr<IDispatch> FieldOfNewRecordset() {
    ComPtr<IDispatch> recordset = Create(L"ADODB.Recordset");
    VariantValue fields = Call(recordset.Get(), L"Fields", DISPATCH_PROPERTYGET);
    VariantValue append[2];  // reversed: Type, Name
    V_VT(append[0].Get()) = VT_I4;
    V_I4(append[0].Get()) = 3;
    V_BSTR(append[1].Get()) = SysAllocString(L"id");
    V_VT(append[1].Get()) = VT_BSTR;
    VARIANT args[2] = {*append[0], *append[1]};  // views of the owned values
    Call(V_DISPATCH(fields.Get()), L"Append", DISPATCH_METHOD, args, 2);
    VariantValue index;
    V_VT(index.Get()) = VT_I4;
    V_I4(index.Get()) = 0;
    VariantValue field = Call(V_DISPATCH(fields.Get()), L"Item", DISPATCH_PROPERTYGET, index.Get(), 1);
    return ComPtr<IDispatch>::Share(V_DISPATCH(field.Get()));
}

int Child(const std::wstring& mode) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (mode == L"leak-connection") {
        Create(L"ADODB.Connection").Detach();
    } else if (mode == L"leak-field") {
        FieldOfNewRecordset().Detach();  // keeps its recordset too
    } else {
        Create(L"ADODB.Connection");
        FieldOfNewRecordset();
        CoUninitialize();
    }
    return 0;
}

struct Outcome {
    DWORD exitCode = 0;
    std::string errors;
};

// The child's exit code and all it wrote to stderr (and stdout).
Outcome RunChild(const std::wstring& mode) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    Outcome outcome{~0u, {}};
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return outcome;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = L"\"" + std::wstring(self) + L"\" child " + mode;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = startup.hStdError = writeEnd;
    PROCESS_INFORMATION info{};
    const BOOL started =
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info);
    CloseHandle(writeEnd);  // the child's copy is the pipe's only writer now
    if (started) {
        char buffer[512];
        DWORD n = 0;
        while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n > 0) outcome.errors.append(buffer, n);
        WaitForSingleObject(info.hProcess, INFINITE);
        GetExitCodeProcess(info.hProcess, &outcome.exitCode);
        CloseHandle(info.hProcess);
        CloseHandle(info.hThread);
    }
    CloseHandle(readEnd);
    return outcome;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "child") {
        const std::string mode = argv[2];
        return Child(std::wstring(mode.begin(), mode.end()));
    }
    struct Case {
        const wchar_t* mode;
        DWORD exitCode;
        const char* report;  // nullptr: no report
    } cases[] = {
        {L"leak-connection", 86, "objects still alive at exit: Connection 1"},
        {L"leak-field", 86, "objects still alive at exit: Recordset 1, Field 1"},
        {L"clean", 0, nullptr},
    };
    int failed = 0;
    for (const Case& c : cases) {
        const Outcome got = RunChild(c.mode);
        const bool reported = got.errors.find("objects still alive") != std::string::npos;
        const bool ok = got.exitCode == c.exitCode &&
                        (c.report ? got.errors.find(c.report) != std::string::npos : !reported);
        if (!ok) {
            ++failed;
            std::printf("FAILED %ls: exit %lu, stderr [%s]\n", c.mode, static_cast<unsigned long>(got.exitCode),
                        got.errors.c_str());
        }
    }
    std::printf("%d passed, %d failed\n", static_cast<int>(std::size(cases)) - failed, failed);
    return failed ? 1 : 0;
}
