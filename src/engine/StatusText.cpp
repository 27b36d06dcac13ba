#include "engine/StatusText.h"

#include "automation/IntegerLoop.h"
#include "varnholt/Error.h"

namespace varnholt {

String GetPSQLErrorText(int32_t ErrNumber) {
    switch (ErrNumber) {
        case 7001: return u"Invalid connection handle.";
        case 7002: return u"Call with NULL pointer";
        case 7003: return u"Allocated buffer is too small for the string.";
        case 7004: return u"A general failure occurred.";
        case 7008: return u"Sequence number is not valid.";
        case 7009: return u"Data related to database names not available.";
        case 7011: return u"Insufficient access rights for the operation.";
        case 7012: return u"Named database already exists on the server.";
        case 7013: return u"Named database does not exist.";
        case 7016: return u"Cannot create dictionary because it already exists.";
        case 7017: return u"Cannot create DDF files.";
        case 7022: return u"Component not loaded";
        case 7029: return u"Invalid User Details";
        case 7039: return u"Invalid destination dictionary path.";
        default: return u"An error occurred in the Pervasive.SQL layer. The error was [" + Decimal(ErrNumber) + u"]";
    }
}

int16_t GetBtrieveErrorNumber(const String& message) {
    static constexpr StringView kMarker = u"Btrieve Error";
    const size_t found = message.find(kMarker);
    if (found == String::npos) return 0;
    const int16_t position = CheckedInteger(static_cast<long long>(found) + 1);
    // Skip the marker and the one character after it (normally the blank before the number).
    const int16_t restStart = CheckedInteger(position + static_cast<long long>(kMarker.size()) + 1);
    const size_t from = static_cast<size_t>(restStart - 1);
    return GetNumericPart(from < message.size() ? message.substr(from) : String());
}

int16_t GetNumericPart(const String& text) {
    int16_t value = 0;
    ForInteger(1, static_cast<long long>(text.size()), [&](int16_t i) {
        const char16_t c = text[static_cast<size_t>(i - 1)];
        if (c >= u'0' && c <= u'9') value = CheckedInteger(value * 10LL + (c - u'0'));
        return true;
    });
    return value;
}

}  // namespace varnholt
