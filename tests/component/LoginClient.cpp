// A late-bound client that shows the login dialog through IDispatch, as a script would, and
// prints what the dialog showed and what Login returned. login_dialog.sh answers the dialog from
// outside with the keyboard and the mouse and compares the printed lines.
// Usage: login_client <mode> [caption [default user [default password [server]]]]
//
// Printed lines, fields separated by '|', the first ones as soon as the dialog is shown:
//   client|<width>|<height>|<left>|<top>       client area size and its offset in the window
//   control|<class>|<text>|<left>|<top>|<width>|<height>|<flags>   one per child window, flags
//       from: visible, disabled, readonly, masked=<character>
//   shown
// and when Login has returned:
//   result|<Cancelled>|<User>|<Pswd>  or  error|<number>|<source>|<description>
#include <windows.h>
#include <oleauto.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "Check.h"

namespace {

using namespace varnholt::wintest;

// Flushed at once: the script reads these lines while the dialog is up.
void Print(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
    GetWindowTextW(window, text.data(), length + 1);
    return Text(text.data());
}

// One "control|..." line for a child window of the dialog.
BOOL CALLBACK PrintControl(HWND child, LPARAM dialog) {
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, reinterpret_cast<HWND>(dialog), reinterpret_cast<POINT*>(&r), 2);
    const LONG style = GetWindowLongW(child, GWL_STYLE);
    std::string flags;
    auto add = [&flags](const std::string& flag) { flags += (flags.empty() ? "" : ",") + flag; };
    if (style & WS_VISIBLE) add("visible");
    if (style & WS_DISABLED) add("disabled");
    const bool edit = lstrcmpiW(cls, L"Edit") == 0;
    if (edit && (style & ES_READONLY)) add("readonly");
    if (edit && (style & ES_PASSWORD)) {
        const wchar_t masked[2] = {static_cast<wchar_t>(SendMessageW(child, EM_GETPASSWORDCHAR, 0, 0)), 0};
        add("masked=" + Text(masked));
    }
    Print("control|" + Text(cls) + "|" + WindowText(child) + "|" + std::to_string(r.left) + "|" +
          std::to_string(r.top) + "|" + std::to_string(r.right - r.left) + "|" + std::to_string(r.bottom - r.top) +
          "|" + flags);
    return TRUE;
}

// Prints what the dialog looks like once it is shown: called from another thread while Login waits.
void DescribeDialog(HWND dialog) {
    RECT window{}, client{};
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    Print("client|" + std::to_string(client.right) + "|" + std::to_string(client.bottom) + "|" +
          std::to_string(origin.x - window.left) + "|" + std::to_string(origin.y - window.top));
    EnumChildWindows(dialog, PrintControl, reinterpret_cast<LPARAM>(dialog));
    Print("shown");
}

// The shown dialog window (class #32770) among a thread's windows.
BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

// The texts a client would give, with realistic lengths so that the screenshots show real fits.
SAFEARRAY* Literals() {
    std::vector<std::wstring> texts = {
        L"Login",
        L"Specify the login information,",
        L"Enter the login name and password with which to connect to the database server.",
        L"Password",
        L"Server",
        L"User Name",
        L"no server",
        L"OK",
        L"Cancel"};
    for (int i = 10; i < 34; ++i) texts.push_back(L"L" + std::to_wstring(i));
    texts.push_back(L"User name and password are required.");
    return Strings(1, texts);
}

std::string Field(IRecordInfo* info, void* record, const wchar_t* name) {
    VARIANT v = Of(VT_EMPTY);
    std::string text = "(missing)";
    if (SUCCEEDED(info->GetField(record, name, &v))) {
        if (V_VT(&v) == VT_BSTR) text = Text(V_BSTR(&v));
        if (V_VT(&v) == VT_BOOL) text = V_BOOL(&v) ? "True" : "False";
    }
    VariantClear(&v);
    return text;
}

std::string CallLogin(IDispatch* helper, int argc, wchar_t** argv) {
    VARIANT literals = Of(VT_ARRAY | VT_BSTR);
    V_ARRAY(&literals) = Literals();
    HRESULT hr = Call(helper, L"Literals", {literals}, nullptr, nullptr, DISPATCH_PROPERTYPUT);
    VariantClear(&literals);
    if (FAILED(hr)) return "setup|Literals failed " + std::to_string(hr);

    std::vector<VARIANT> args = {Long(_wtoi(argv[1]))};
    for (int i = 2; i < argc; ++i) args.push_back(Str(SysAllocString(argv[i])));
    VARIANT result = Of(VT_EMPTY);
    ExcepInfo excep;
    hr = Call(helper, L"Login", args, &result, &excep, DISPATCH_METHOD);
    for (VARIANT& arg : args) VariantClear(&arg);

    std::string line;
    if (hr == DISP_E_EXCEPTION) {
        line = "error|" + std::to_string(static_cast<long>(excep.scode)) + "|" + Text(excep.bstrSource) + "|" +
               Text(excep.bstrDescription);
    } else if (FAILED(hr)) {
        line = "error|" + std::to_string(static_cast<long>(hr)) + "||(no exception)";
    } else if (V_VT(&result) != VT_RECORD || !V_RECORDINFO(&result)) {
        line = "error|0||(result of type " + std::to_string(V_VT(&result)) + ")";
    } else {
        IRecordInfo* info = V_RECORDINFO(&result);
        void* record = V_RECORD(&result);
        line = "result|" + Field(info, record, L"Cancelled") + "|" + Field(info, record, L"User") + "|" +
               Field(info, record, L"Pswd");
    }
    VariantClear(&result);
    return line;
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) {
        std::printf("usage: login_client <mode> [caption [user [password [server]]]]\n");
        return 2;
    }
    CoInitialize(nullptr);
    IDispatch* helper = nullptr;
    CLSID clsid{};
    std::string outcome = "setup|Varnholt.ConnectionHelper is not registered";
    if (SUCCEEDED(CLSIDFromProgID(L"Varnholt.ConnectionHelper", &clsid)) &&
        SUCCEEDED(
            CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&helper)))) {
        // Another thread looks for the dialog of this one, and describes it, while Login waits.
        std::atomic<bool> done{false};
        std::thread probe([&done, dialogThread = GetCurrentThreadId()] {
            for (HWND found = nullptr; !done; Sleep(20)) {
                EnumThreadWindows(dialogThread, FindDialog, reinterpret_cast<LPARAM>(&found));
                if (found) return DescribeDialog(found);
            }
        });
        outcome = CallLogin(helper, argc, argv);
        done = true;
        probe.join();
        helper->Release();
    }
    Print(outcome);
    CoUninitialize();
    LocalFree(argv);
    return 0;
}
