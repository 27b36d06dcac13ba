#include "odbc/ResultSet.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include "store/Text.h"

namespace varnholt::standin::odbc {
namespace {

// Marks a value that one call returned whole: another call finds no more data.
constexpr size_t kWhole = std::numeric_limits<size_t>::max();

std::u16string Utf16(std::string_view utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        const int extra = lead < 0x80           ? 0
                          : (lead >> 5) == 0x6  ? 1
                          : (lead >> 4) == 0xE  ? 2
                          : (lead >> 3) == 0x1E ? 3
                                                : -1;
        char32_t code = extra == 0 ? lead : extra == 1 ? lead & 0x1F : extra == 2 ? lead & 0x0F : lead & 0x07;
        bool valid = extra >= 0 && i + static_cast<size_t>(extra) < utf8.size();
        for (int k = 1; valid && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        i += 1 + static_cast<size_t>(extra);
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
    }
    return out;
}

// Text in pieces: each call gives what fits after what earlier calls gave, and says how much
// was left before it, in bytes.
template <class Char>
GetDataOutcome PutText(const std::basic_string<Char>& text, SQLPOINTER target, SQLLEN bufferLength, SQLLEN* indicator,
                       size_t& offset) {
    if (offset == kWhole) return GetDataOutcome::kNoMoreData;
    const size_t left = text.size() - offset;
    if (indicator) *indicator = static_cast<SQLLEN>(left * sizeof(Char));
    const size_t room = bufferLength > 0 ? static_cast<size_t>(bufferLength) / sizeof(Char) : 0;
    if (target && room > 0) {
        const size_t copied = std::min(left, room - 1);
        auto* out = static_cast<Char*>(target);
        std::memcpy(out, text.data() + offset, copied * sizeof(Char));
        out[copied] = Char{};
        if (copied < left) {
            offset += copied;
            return GetDataOutcome::kTruncated;
        }
    } else if (left > 0) {
        return GetDataOutcome::kTruncated;
    }
    offset = kWhole;
    return GetDataOutcome::kDone;
}

template <class Number>
GetDataOutcome PutNumber(int64_t value, SQLPOINTER target, SQLLEN* indicator) {
    if (value < static_cast<int64_t>(std::numeric_limits<Number>::min()) ||
        (value > 0 && static_cast<uint64_t>(value) > static_cast<uint64_t>(std::numeric_limits<Number>::max())))
        return GetDataOutcome::kOutOfRange;
    const auto converted = static_cast<Number>(value);
    if (target) std::memcpy(target, &converted, sizeof converted);
    if (indicator) *indicator = sizeof converted;
    return GetDataOutcome::kDone;
}

SQLSMALLINT DefaultCType(SQLSMALLINT type) {
    switch (type) {
        case SQL_INTEGER: return SQL_C_SLONG;
        case SQL_SMALLINT: return SQL_C_SSHORT;
        default: return SQL_C_CHAR;
    }
}

}  // namespace

const char* TypeName(SQLSMALLINT type) {
    switch (type) {
        case SQL_INTEGER: return "INTEGER";
        case SQL_SMALLINT: return "SMALLINT";
        default: return "VARCHAR";
    }
}

SQLLEN DisplaySize(const Column& column) {
    // Numbers show a sign besides their digits.
    return static_cast<SQLLEN>(column.size) + (column.type == SQL_VARCHAR ? 0 : 1);
}

SQLLEN OctetLength(const Column& column) {
    switch (column.type) {
        case SQL_INTEGER: return 4;
        case SQL_SMALLINT: return 2;
        default: return static_cast<SQLLEN>(column.size) * 4;  // UTF-8: up to four bytes a character
    }
}

bool Converts(SQLSMALLINT targetType) {
    switch (targetType) {
        case SQL_C_DEFAULT:
        case SQL_C_CHAR:
        case SQL_C_WCHAR:
        case SQL_C_SLONG:
        case SQL_C_LONG:
        case SQL_C_ULONG:
        case SQL_C_SSHORT:
        case SQL_C_SHORT:
        case SQL_C_USHORT:
        case SQL_C_SBIGINT:
        case SQL_C_UBIGINT:
        case SQL_C_DOUBLE: return true;
        default: return false;
    }
}

GetDataOutcome GetData(const Value& value, const Column& column, SQLSMALLINT targetType, SQLPOINTER target,
                       SQLLEN bufferLength, SQLLEN* indicator, size_t& offset) {
    if (targetType == SQL_C_DEFAULT) targetType = DefaultCType(column.type);
    if (!Converts(targetType)) return GetDataOutcome::kUnsupportedType;
    const bool text = targetType == SQL_C_CHAR || targetType == SQL_C_WCHAR;
    if (std::holds_alternative<std::monostate>(value)) {
        if (offset == kWhole) return GetDataOutcome::kNoMoreData;
        if (!indicator) return GetDataOutcome::kNullNoIndicator;
        *indicator = SQL_NULL_DATA;
        offset = kWhole;
        return GetDataOutcome::kDone;
    }
    if (text) {
        const std::string utf8 = std::holds_alternative<int32_t>(value) ? std::to_string(std::get<int32_t>(value))
                                                                        : std::get<std::string>(value);
        return targetType == SQL_C_CHAR ? PutText(utf8, target, bufferLength, indicator, offset)
                                        : PutText(Utf16(utf8), target, bufferLength, indicator, offset);
    }
    if (offset == kWhole) return GetDataOutcome::kNoMoreData;
    std::optional<int32_t> parsed;
    if (const auto* n = std::get_if<int32_t>(&value))
        parsed = *n;
    else
        parsed = ParseInt32(std::get<std::string>(value));
    if (!parsed) return GetDataOutcome::kNotANumber;
    GetDataOutcome outcome;
    switch (targetType) {
        case SQL_C_ULONG: outcome = PutNumber<SQLUINTEGER>(*parsed, target, indicator); break;
        case SQL_C_SSHORT:
        case SQL_C_SHORT: outcome = PutNumber<SQLSMALLINT>(*parsed, target, indicator); break;
        case SQL_C_USHORT: outcome = PutNumber<SQLUSMALLINT>(*parsed, target, indicator); break;
        case SQL_C_SBIGINT: outcome = PutNumber<SQLBIGINT>(*parsed, target, indicator); break;
        case SQL_C_UBIGINT: outcome = PutNumber<SQLUBIGINT>(*parsed, target, indicator); break;
        case SQL_C_DOUBLE: {
            const double converted = *parsed;
            if (target) std::memcpy(target, &converted, sizeof converted);
            if (indicator) *indicator = sizeof converted;
            outcome = GetDataOutcome::kDone;
            break;
        }
        default: outcome = PutNumber<SQLINTEGER>(*parsed, target, indicator); break;
    }
    if (outcome == GetDataOutcome::kDone) offset = kWhole;
    return outcome;
}

}  // namespace varnholt::standin::odbc
