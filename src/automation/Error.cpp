#include "varnholt/Error.h"

#include <limits>

namespace varnholt {

Error::Error(int32_t number, String source, String description)
    : number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {
    what_ = "error " + std::to_string(number_) + " (" + ToUtf8(source_) + "): " + ToUtf8(description_);
}

String RuntimeErrorText(int32_t number) {
    switch (number) {
        case kInvalidProcedureCall: return u"Invalid procedure call or argument";
        case kOverflow: return u"Overflow";
        case kSubscriptOutOfRange: return u"Subscript out of range";
        case kTypeMismatch: return u"Type mismatch";
        case kOutOfMemory: return u"Out of memory";
        case kBadFileName: return u"Bad file name or number";
        case kFileNotFound: return u"File not found";
        case kDeviceIo: return u"Device I/O error";
        case kFileAlreadyExists: return u"File already exists";
        case kDiskFull: return u"Disk full";
        case kTooManyFiles: return u"Too many files";
        case kPermissionDenied: return u"Permission denied";
        case kDiskNotReady: return u"Disk not ready";
        case kPathFileAccess: return u"Path/File access error";
        case kPathNotFound: return u"Path not found";
        case kInvalidUseOfNull: return u"Invalid use of Null";
        case kDllEntryPointNotFound: return u"Specified DLL function not found";
        default: return u"";
    }
}

void Raise(int32_t number, String source, String description) {
    if (number == 0) RaiseRuntime(kInvalidProcedureCall);
    throw Error(number, std::move(source), std::move(description));
}

void RaiseRuntime(int32_t number) { throw Error(number, kRuntimeSource, RuntimeErrorText(number)); }

int16_t CheckedInteger(long long value) {
    if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
        RaiseRuntime(kOverflow);
    return static_cast<int16_t>(value);
}

}  // namespace varnholt
