#include "varnholt/String.h"

#include <array>
#include <cwctype>

#ifndef _WIN32
#include <locale.h>
#include <wctype.h>
#endif

#ifdef _WIN32
#include <windows.h>
#endif

namespace varnholt {
namespace {

constexpr char16_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

#ifndef _WIN32
// Windows-1252 bytes 0x80..0x9F; 0 marks the five undefined bytes, which map to themselves.
// Eleven to a line, as the code page is usually tabled.
// clang-format off
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
// clang-format on

// False, with '?', for a character the code page lacks.
bool AnsiByte(char16_t c, char& out) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        out = static_cast<char>(c);
        return true;
    }
    for (size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == c || (kCp1252High[i] == 0 && c == 0x80 + i)) {
            out = static_cast<char>(0x80 + i);
            return true;
        }
    }
    out = '?';
    return false;
}
#endif

// Both directions note in *exact whether every character came over as it was.
std::string Utf8Of(StringView text, bool* exact) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
            *exact = false;
        }
        AppendUtf8(out, c);
    }
    return out;
}

String Utf16Of(std::string_view text, bool* exact) {
    String out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        char32_t c;
        size_t len;
        // One lead byte a line.
        // clang-format off
        if (b < 0x80) { c = b; len = 1; }
        else if ((b & 0xE0) == 0xC0) { c = b & 0x1F; len = 2; }
        else if ((b & 0xF0) == 0xE0) { c = b & 0x0F; len = 3; }
        else if ((b & 0xF8) == 0xF0) { c = b & 0x07; len = 4; }
        else { out += kReplacement; *exact = false; ++i; continue; }
        if (i + len > text.size()) { out += kReplacement; *exact = false; ++i; continue; }
        // clang-format on
        bool ok = true;
        for (size_t k = 1; k < len; ++k) {
            const auto cb = static_cast<unsigned char>(text[i + k]);
            if ((cb & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            c = (c << 6) | (cb & 0x3F);
        }
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (!ok || c < kMin[len] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += kReplacement;
            *exact = false;
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += len;
    }
    return out;
}

}  // namespace

std::string ToUtf8(StringView text) {
    bool exact = true;
    return Utf8Of(text, &exact);
}

String FromUtf8(std::string_view text) {
    bool exact = true;
    return Utf16Of(text, &exact);
}

bool ToUtf8Exact(StringView text, std::string& out) {
    bool exact = true;
    out = Utf8Of(text, &exact);
    return exact;
}

bool FromUtf8Exact(std::string_view text, String& out) {
    bool exact = true;
    out = Utf16Of(text, &exact);
    return exact;
}

#ifdef _WIN32
namespace {

// WideCharToMultiByte into the active code page. Without WC_NO_BEST_FIT_CHARS a character the
// code page lacks may become a look-alike ("L" for "Ł") that no default-character check sees.
// A UTF-8 code page takes neither that flag nor the check: there only a lone surrogate is lost.
bool AnsiOf(StringView text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    const bool utf8 = GetACP() == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
    const int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, flags, wide, length, nullptr, 0, nullptr, utf8 ? nullptr : &usedDefault);
    if (n == 0) {
        // Only a UTF-8 code page refuses outright; convert anyway, with U+FFFD, for the lossy form.
        n = WideCharToMultiByte(CP_ACP, 0, wide, length, nullptr, 0, nullptr, nullptr);
        if (n <= 0) return false;
        out.resize(static_cast<size_t>(n));
        WideCharToMultiByte(CP_ACP, 0, wide, length, out.data(), n, nullptr, nullptr);
        return false;
    }
    out.resize(static_cast<size_t>(n));
    WideCharToMultiByte(CP_ACP, flags, wide, length, out.data(), n, nullptr, utf8 ? nullptr : &usedDefault);
    return !usedDefault;
}

}  // namespace

std::string ToAnsi(StringView text) {
    std::string out;
    AnsiOf(text, out);
    return out;
}

bool ToAnsiExact(StringView text, std::string& out) { return AnsiOf(text, out); }

void FromAnsi(std::string_view bytes, String& out) {
    if (bytes.empty()) return out.clear();
    const int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    out.resize(static_cast<size_t>(n));
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), reinterpret_cast<wchar_t*>(out.data()),
                        n);
}
#else
std::string ToAnsi(StringView text) {
    std::string out;
    ToAnsiExact(text, out);
    return out;
}

bool ToAnsiExact(StringView text, std::string& out) {
    out.assign(text.size(), '\0');
    bool exact = true;
    for (size_t i = 0; i < text.size(); ++i) exact &= AnsiByte(text[i], out[i]);
    return exact;
}

void FromAnsi(std::string_view bytes, String& out) {
    out.resize(bytes.size());
    // Latin-1 widening in one pass the compiler vectorises; only 0x80..0x9F differ in Windows-1252.
    unsigned char high = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        high |= b;
        out[i] = b;
    }
    if (high < 0x80) return;
    for (char16_t& c : out)
        if (c >= 0x80 && c <= 0x9F && kCp1252High[c - 0x80] != 0) c = kCp1252High[c - 0x80];
}
#endif

String FromAnsi(std::string_view bytes) {
    String out;
    FromAnsi(bytes, out);
    return out;
}

String Trim(StringView text) {
    size_t first = 0, last = text.size();
    while (first < last && text[first] == u' ') ++first;
    while (last > first && text[last - 1] == u' ') --last;
    return String(text.substr(first, last - first));
}

String UCase(StringView text) {
    String out(text);
#ifdef _WIN32
    if (!out.empty()) CharUpperBuffW(reinterpret_cast<wchar_t*>(out.data()), static_cast<DWORD>(out.size()));
#else
    // The process locale is the host's business; case rules come from a locale of our own.
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    for (char16_t& c : out) {
        if (c >= u'a' && c <= u'z') {
            c = static_cast<char16_t>(c - 32);
        } else if (c >= 0x80 && (c < 0xD800 || c > 0xDFFF) && utf8 != locale_t(nullptr)) {
            const wint_t upper = towupper_l(static_cast<wint_t>(c), utf8);
            if (upper <= 0xFFFF) c = static_cast<char16_t>(upper);
        }
    }
#endif
    return out;
}

String Decimal(long long value) {
    const std::string s = std::to_string(value);
    return String(s.begin(), s.end());
}

}  // namespace varnholt
