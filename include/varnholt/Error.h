#pragma once
// A raised automation error: number, source, description and nothing else.
#include <cstdint>
#include <exception>
#include <string>

#include "varnholt/String.h"

namespace varnholt {

class Error : public std::exception {
public:
    Error(int32_t number, String source, String description);

    int32_t Number() const noexcept { return number_; }
    const String& Source() const noexcept { return source_; }
    const String& Description() const noexcept { return description_; }

    // UTF-8 "error N (source): description", for logs and test failure messages.
    const char* what() const noexcept override { return what_.c_str(); }

private:
    int32_t number_;
    String source_;
    String description_;
    std::string what_;
};

// Source of errors raised by the run time itself.
inline constexpr char16_t kRuntimeSource[] = u"Varnholt";

// Run-time error numbers the component raises or passes on.
enum RuntimeErrorNumber : int32_t {
    kInvalidProcedureCall = 5,
    kOverflow = 6,
    kSubscriptOutOfRange = 9,
    kTypeMismatch = 13,
    kOutOfMemory = 7,
    kBadFileName = 52,
    kFileNotFound = 53,
    kDeviceIo = 57,
    kFileAlreadyExists = 58,
    kDiskFull = 61,
    kTooManyFiles = 67,
    kPermissionDenied = 70,
    kDiskNotReady = 71,
    kPathFileAccess = 75,
    kPathNotFound = 76,
    kInvalidUseOfNull = 94,
    kDllEntryPointNotFound = 453,
};

// Base of the object-defined error range (0x80040000).
inline constexpr int32_t kObjectErrorBase = -2147221504;

// The standard description of a run-time error number ("" for numbers we do not know).
String RuntimeErrorText(int32_t number);

// Raises number/source/description. A number of 0 cannot be raised: like the run time,
// this raises error 5 instead.
[[noreturn]] void Raise(int32_t number, String source, String description);

// Raises a run-time error with its standard description and the run-time source.
[[noreturn]] void RaiseRuntime(int32_t number);

// 16-bit signed arithmetic of the run time: a value outside -32768..32767 raises error 6.
int16_t CheckedInteger(long long value);

}  // namespace varnholt
