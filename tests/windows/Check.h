#pragma once
// A minimal checking harness for the test programs that run under Wine (no test framework is
// built for the Windows targets). Each failed check prints where and what; Summary() prints
// the closing "N passed, M failed" line and gives the exit code.
#include <cstdio>
#include <string>

namespace varnholt::wintest {

inline int& Passed() {
    static int n = 0;
    return n;
}
inline int& Failed() {
    static int n = 0;
    return n;
}

inline bool Check(bool ok, const char* what, const char* file, int line, const std::string& detail = {}) {
    if (ok) {
        ++Passed();
    } else {
        ++Failed();
        std::printf("FAILED %s:%d: %s %s\n", file, line, what, detail.c_str());
    }
    return ok;
}

inline std::string Text(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}
inline std::string Text(const std::string& s) { return s; }
inline std::string Text(const wchar_t* s) { return s ? Text(std::u16string(reinterpret_cast<const char16_t*>(s))) : "(null)"; }
inline std::string Text(const char16_t* s) { return Text(std::u16string(s)); }
inline std::string Text(const char* s) { return s; }
inline std::string Text(long long v) { return std::to_string(v); }
inline std::string Text(unsigned long long v) { return std::to_string(v); }
inline std::string Text(long v) { return std::to_string(v); }
inline std::string Text(unsigned long v) { return std::to_string(v); }
inline std::string Text(int v) { return std::to_string(v); }
inline std::string Text(unsigned v) { return std::to_string(v); }
inline std::string Text(short v) { return std::to_string(v); }
inline std::string Text(unsigned short v) { return std::to_string(v); }
inline std::string Text(bool v) { return v ? "true" : "false"; }

template <class A, class B>
bool CheckEqual(const A& a, const B& b, const char* what, const char* file, int line) {
    const bool ok = a == b;
    return Check(ok, what, file, line, ok ? std::string() : "got [" + Text(a) + "] expected [" + Text(b) + "]");
}

inline int Summary() {
    std::printf("%d passed, %d failed\n", Passed(), Failed());
    return Failed() == 0 ? 0 : 1;
}

}  // namespace varnholt::wintest

#define CHECK(cond) ::varnholt::wintest::Check((cond), #cond, __FILE__, __LINE__)
#define CHECK_EQ(a, b) ::varnholt::wintest::CheckEqual((a), (b), #a " == " #b, __FILE__, __LINE__)
