// The server's leak report: a child process that keeps objects of the registered server past
// its end must fail with the report on stderr, and one that releases them must not.
#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "../Check.h"
#include "platform/win32/ComTypes.h"

using namespace varnholt::wintest;
using varnholt::win32::ComPtr;
using varnholt::win32::VariantValue;

namespace {

// A child that cannot do its part ends with 2, which no case expects.
void Must(HRESULT hr, const char* what) {
    if (SUCCEEDED(hr)) return;
    std::fprintf(stderr, "%s failed\n", what);
    std::exit(2);
}

ComPtr<IDispatch> Create(const wchar_t* progId) {
    CLSID clsid;
    ComPtr<IDispatch> object;
    Must(CLSIDFromProgID(progId, &clsid), "CLSIDFromProgID");
    Must(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()), "CoCreateInstance");
    return object;
}

// A recordset with one field, and that field's object.
ComPtr<IDispatch> FieldOfNewRecordset() {
    ComPtr<IDispatch> recordset = Create(L"ADODB.Recordset");
    VariantValue fields, field, name;
    *name = Str(SysAllocString(L"id"));
    Must(Call(recordset.Get(), L"Fields", {}, fields.Get(), nullptr, DISPATCH_PROPERTYGET), "Fields");
    Must(Call(V_DISPATCH(fields.Get()), L"Append", {*name, Long(3)}, nullptr, nullptr, DISPATCH_METHOD), "Append");
    Must(Call(V_DISPATCH(fields.Get()), L"Item", {Long(0)}, field.Get(), nullptr, DISPATCH_PROPERTYGET), "Item");
    return ComPtr<IDispatch>::Share(V_DISPATCH(field.Get()));
}

int Child(const std::string& mode) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (mode == "leak-connection") {
        Create(L"ADODB.Connection").Detach();
    } else if (mode == "leak-field") {
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
    if (argc == 3 && std::string(argv[1]) == "child") return Child(argv[2]);
    const struct {
        const wchar_t* mode;
        DWORD exitCode;
        const char* report;  // nullptr: no report
    } cases[] = {
        {L"leak-connection", 86, "objects still alive at exit: Connection 1"},
        {L"leak-field", 86, "objects still alive at exit: Recordset 1, Field 1"},
        {L"clean", 0, nullptr},
    };
    for (const auto& c : cases) {
        const Outcome got = RunChild(c.mode);
        const bool reported = got.errors.find(c.report ? c.report : "objects still alive") != std::string::npos;
        if (!CHECK(got.exitCode == c.exitCode && reported == (c.report != nullptr)))
            std::printf("    %ls: exit %lu, stderr [%s]\n", c.mode, static_cast<unsigned long>(got.exitCode),
                        got.errors.c_str());
    }
    return Summary();
}
