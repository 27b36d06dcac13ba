#pragma once
// The system's own text for an error code or an HRESULT, one lookup for every Win32 service.
#include <windows.h>

#include <memory>

#include "varnholt/String.h"

namespace varnholt::win32 {

// FormatMessage's text without the line break it ends with; empty when the system has none.
inline String SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (!text) return {};
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owner(text, &LocalFree);
    String message(reinterpret_cast<const char16_t*>(text));
    while (!message.empty() && (message.back() == u'\r' || message.back() == u'\n')) message.pop_back();
    return message;
}

}  // namespace varnholt::win32
