#include "TestSupport.h"
#include "engine/StatusText.h"

namespace varnholt::test {
namespace {

// The texts of 7001-7004, 7008, 7009, 7012, 7013, 7022 and 7029 are asserted where the members
// raise them (tests/badinput, tests/connection); the count below keeps the set closed.
TEST(GetPSQLErrorText, KnownCodesAndTheDefault) {
    const std::pair<int32_t, const char*> cases[] = {
        {7011, "Insufficient access rights for the operation."},
        {7016, "Cannot create dictionary because it already exists."},
        {7017, "Cannot create DDF files."},
        {7039, "Invalid destination dictionary path."},
        {7005, "An error occurred in the Pervasive.SQL layer. The error was [7005]"},
    };
    for (const auto& [code, text] : cases) EXPECT_EQ(U8(GetPSQLErrorText(code)), text) << code;
    int withOwnText = 0;
    for (int32_t code = 6990; code <= 7050; ++code)
        withOwnText += U8(GetPSQLErrorText(code)).rfind("An error occurred in the", 0) != 0;
    EXPECT_EQ(withOwnText, 14);
}

TEST(GetBtrieveErrorNumber, ReadsTheNumberAfterTheMarker) {
    // clang-format off
    const std::pair<const char*, int16_t> cases[] = {
        {"[Varnholt][ODBC] Unknown database. (Btrieve Error 2301)", 2301},
        {"Btrieve Error 2", 2},
        {"Btrieve Error 2 then 3 more", 23},      // every digit after the marker counts
        {"Btrieve Error2", 0},                    // the character after the marker is skipped
        {"Btrieve Error 12x", 12},
        {"btrieve error 2", 0},                   // case-sensitive
        {"Btrieve says no 7", 0},
        {"9 Btrieve Error 0007", 7},              // digits before the marker do not count
        {"Btrieve Error ", 0},
        {"Btrieve Error", 0},                     // the rest starts past the end
        {"", 0},
        {"Btrieve Error 1 Btrieve Error 2", 12},  // the first marker decides
        {"Btrieve Error 32767", 32767},
    };
    // clang-format on
    for (const auto& [message, number] : cases) EXPECT_EQ(GetBtrieveErrorNumber(S(message)), number) << message;
}

TEST(GetBtrieveErrorNumber, OverflowsWhereSixteenBitsEnd) {
    EXPECT_RUNTIME_ERROR(GetBtrieveErrorNumber(u"Btrieve Error 40000"), kOverflow);
    EXPECT_RUNTIME_ERROR(GetBtrieveErrorNumber(u"Btrieve Error 32768"), kOverflow);
    // The marker at position 32753 still fits; one further does not.
    EXPECT_EQ(GetBtrieveErrorNumber(String(32752, u'x') + u"Btrieve Error 5"), 5);
    EXPECT_RUNTIME_ERROR(GetBtrieveErrorNumber(String(32753, u'x') + u"Btrieve Error 5"), kOverflow);
    // A rest of 32766 characters is walked; 32767 overflows the loop counter.
    EXPECT_EQ(GetBtrieveErrorNumber(u"Btrieve Error " + String(32765, u'-') + u"8"), 8);
    EXPECT_RUNTIME_ERROR(GetBtrieveErrorNumber(u"Btrieve Error " + String(32766, u'-') + u"8"), kOverflow);
}

TEST(GetNumericPart, CollectsAllDigits) {
    EXPECT_EQ(GetNumericPart(u"a1b2c3"), 123);
    EXPECT_EQ(GetNumericPart(u"none"), 0);
    EXPECT_EQ(GetNumericPart(String(40, u'0') + u"1"), 1);
    EXPECT_EQ(GetNumericPart(u"\u0661\u0662"), 0);  // only ASCII digits
    EXPECT_RUNTIME_ERROR(GetNumericPart(u"99999"), kOverflow);
    EXPECT_RUNTIME_ERROR(GetNumericPart(String(32767, u' ')), kOverflow);
}

}  // namespace
}  // namespace varnholt::test
