#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "automation/IntegerLoop.h"
#include "varnholt/Variant.h"

#ifdef _WIN32
#include "component/ConnectionHelperObject.h"
#include "component/Marshal.h"
#endif

namespace varnholt::test {
namespace {

// Beside the automation kinds below: Empty, Integers, Longs, thirds and texts.
TEST(VariantText, ConvertsAsTheRunTimeDoes) {
    // clang-format off
    const std::pair<Variant, const char*> cases[] = {
        {Variant(), ""},         {Variant(int16_t(-5)), "-5"}, {Variant(int32_t(-2147483647 - 1)), "-2147483648"},
        {Variant(1.5), "1.5"},   {Variant(100.0), "100"},      {Variant(1.5e-7), "1.5E-07"},
        {Variant(-0.0), "0"},    {Variant(1.0 / 3.0), "0.333333333333333"}, {Variant(S("ä[%1]")), "ä[%1]"}};
    // clang-format on
    for (const auto& [value, text] : cases) EXPECT_EQ(U8(value.ToText()), text);
}

// Every kind of number, date and Boolean a client can pass, given as the text an English
// (United States) system reads it from (a Currency in ten-thousandths), with the text a
// script's CStr gives for it there.
enum class Kind { Single, Double, Currency, Decimal, Int64, UInt64, Date, Boolean };
struct TextCase {
    Kind kind;
    const char* value;
    const char* text;
};
// clang-format off
constexpr TextCase kTextCases[] = {
    {Kind::Single, "2.1", "2.1"}, {Kind::Single, "1.5E-07", "1.5E-07"}, {Kind::Single, "16777217", "1.677722E+07"},
    {Kind::Single, "0.33333333", "0.3333333"}, {Kind::Single, "-0", "0"},
    {Kind::Double, "0.1", "0.1"}, {Kind::Double, "1E+16", "1E+16"}, {Kind::Double, "1E+15", "1E+15"},
    {Kind::Double, "2.0999999046325684", "2.09999990463257"}, {Kind::Double, "-1.5E-300", "-1.5E-300"},
    {Kind::Currency, "15000", "1.5"}, {Kind::Currency, "-1", "-0.0001"},
    {Kind::Currency, "9223372036854775807", "922337203685477.5807"},
    {Kind::Decimal, "0.1", "0.1"},
    {Kind::Decimal, "79228162514264337593543950335", "79228162514264337593543950335"},
    {Kind::Decimal, "-1.0000000000000000000000000001", "-1.0000000000000000000000000001"},
    {Kind::Int64, "1000000000000000", "1000000000000000"},
    {Kind::Int64, "9007199254740993", "9007199254740993"},
    {Kind::Int64, "-9223372036854775808", "-9223372036854775808"},
    {Kind::UInt64, "18446744073709551615", "18446744073709551615"}, {Kind::UInt64, "5000000000", "5000000000"},
    {Kind::Date, "3/15/2023 12:00:00 PM", "3/15/2023 12:00:00 PM"}, {Kind::Date, "12/31/1899", "12/31/1899"},
    {Kind::Date, "12:00:00 AM", "12:00:00 AM"}, {Kind::Date, "1/1/2000 12:00:01 AM", "1/1/2000 12:00:01 AM"},
    {Kind::Boolean, "True", "True"}, {Kind::Boolean, "False", "False"},
};
// clang-format on

#ifdef _WIN32
using namespace component;

constexpr LCID kEnglish = MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT);

VariantValue Automation(const TextCase& c) {
    static constexpr VARTYPE kTypes[] = {VT_R4, VT_R8, VT_CY, VT_DECIMAL, VT_I8, VT_UI8, VT_DATE, VT_BOOL};
    VariantValue text, value;
    if (c.kind == Kind::Currency) {
        V_VT(value.Get()) = VT_CY;
        V_CY(value.Get()).int64 = std::strtoll(c.value, nullptr, 10);
        return value;
    }
    V_VT(text.Get()) = VT_BSTR;
    V_BSTR(text.Get()) = ToBstr(S(c.value)).Detach();
    EXPECT_EQ(VariantChangeTypeEx(value.Get(), text.Get(), kEnglish, 0, kTypes[static_cast<int>(c.kind)]), S_OK);
    return value;
}

// What a script's CStr shows, in the given locale.
std::string RunTimeText(const VARIANT& value, LCID locale) {
    VariantValue text;
    EXPECT_EQ(VariantChangeTypeEx(text.Get(), const_cast<VARIANT*>(&value), locale, VARIANT_LOCALBOOL, VT_BSTR), S_OK);
    return U8(FromBstr(V_BSTR(text.Get())));
}

// GetLabel("[%1]", value), called on the automation object as a client calls it.
std::string Label(const VARIANT& value) {
    ComPtr<_ConnectionHelper> helper;
    EXPECT_EQ(ConnectionHelperObject::Create(IID__ConnectionHelper, helper.PutVoid()), S_OK);
    SAFEARRAYBOUND bound{1, 0};
    SafeArrayPtr parms(SafeArrayCreate(VT_VARIANT, 1, &bound));
    LONG first = 0;
    SafeArrayPutElement(parms.Get(), &first, const_cast<VARIANT*>(&value));
    Bstr prompt = ToBstr(u"[%1]"), result;
    BSTR promptSlot = prompt.Detach();  // by reference: the member may replace it
    SAFEARRAY* parmsSlot = parms.Get();
    EXPECT_EQ(helper->GetLabel(&promptSlot, &parmsSlot, result.Put()), S_OK);
    prompt.Reset(promptSlot);
    return U8(FromBstr(result.Get()));
}
#endif

// The text of a value is the run time's: on Windows its own conversion decides (in the user's
// locale where a member wants text, the English one for the model's values); elsewhere the
// model's kinds give the English texts.
TEST(VariantText, EveryAutomationKindReadsAsTheRunTimeShowsIt) {
    for (const TextCase& c : kTextCases) {
#ifdef _WIN32
        const VariantValue value = Automation(c);
        const std::string shown = RunTimeText(*value, LOCALE_USER_DEFAULT);
        EXPECT_EQ(U8(TextOf(*value)), shown) << c.value;
        EXPECT_EQ(Label(*value), shown) << c.value;
        EXPECT_EQ(U8(FromVariant(*value).ToText()), RunTimeText(*value, kEnglish)) << c.value;
        if (GetUserDefaultLCID() == kEnglish) {
            EXPECT_EQ(shown, c.text) << c.value;
        }
#else
        // The model has Doubles and Booleans; the other kinds reach it only through the
        // Windows component.
        std::optional<Variant> model;
        if (c.kind == Kind::Double) model = Variant(std::strtod(c.value, nullptr));
        if (c.kind == Kind::Boolean) model = Variant(std::string(c.value) == "True");
        if (model) {
            EXPECT_EQ(U8(model->ToText()), c.text) << c.value;
        }
#endif
    }
}

TEST(VariantText, NullArrayAndObjectCannotBecomeText) {
    EXPECT_RUNTIME_ERROR(Variant::Null().ToText(), kInvalidUseOfNull);
    EXPECT_RUNTIME_ERROR(Variant(SafeArray<Variant>::Vector(0, {Variant(1)})).ToText(), kTypeMismatch);
    EXPECT_RUNTIME_ERROR(Variant(std::make_shared<Object>()).ToText(), kTypeMismatch);
    EXPECT_RUNTIME_ERROR(Variant(std::nan("")).ToText(), kOverflow);
    EXPECT_RUNTIME_ERROR(Variant(-HUGE_VAL).ToText(), kOverflow);
}

TEST(VariantText, CopiesShareTheTextAndOutliveTheOriginal) {
    auto original = std::make_unique<Variant>(String(u"COMPANY\0X", 9));
    Variant copy = *original, assigned;
    assigned = copy;
    original.reset();
    EXPECT_EQ(copy.ToText(), String(u"COMPANY\0X", 9));
    EXPECT_EQ(assigned, copy);
    assigned = Variant(u"other");
    EXPECT_EQ(copy.ToText(), String(u"COMPANY\0X", 9));
    EXPECT_FALSE(assigned == copy);
    // An empty text is still a text, and equal only to an empty text.
    EXPECT_EQ(Variant(String()).GetType(), Variant::Type::String);
    EXPECT_EQ(Variant(String()), Variant(u""));
    EXPECT_FALSE(Variant(String()) == Variant());
}

TEST(VariantText, CopiesOnManyThreadsKeepTheTextAlive) {
    const Variant shared(String(300, u'x'));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 20000; ++i) {
                Variant copy = shared;
                Variant moved = std::move(copy);
                if (moved.ToText().size() != 300) std::abort();
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(shared.ToText(), String(300, u'x'));
}

TEST(VariantNumbers, ConvertRoundAndOverflow) {
    EXPECT_EQ(Variant(S(" 42 ")).ToLong(), 42);
    EXPECT_EQ(Variant(2.5).ToLong(), 2);  // half to even
    EXPECT_EQ(Variant(3.5).ToLong(), 4);
    EXPECT_EQ(Variant(true).ToLong(), -1);
    EXPECT_EQ(Variant().ToLong(), 0);
    EXPECT_RUNTIME_ERROR(Variant(S("4x")).ToLong(), kTypeMismatch);
    EXPECT_RUNTIME_ERROR(Variant(3e9).ToLong(), kOverflow);
    EXPECT_RUNTIME_ERROR(Variant(int32_t(32768)).ToInteger(), kOverflow);
    EXPECT_RUNTIME_ERROR(Variant::Null().ToLong(), kInvalidUseOfNull);
    EXPECT_TRUE(Variant(S("true")).ToBool());
    EXPECT_FALSE(Variant(int32_t(0)).ToBool());
    EXPECT_RUNTIME_ERROR(Variant().AsArray(), kTypeMismatch);
}

TEST(SafeArray, BoundsPerDimensionAndMissingSubscripts) {
    SafeArray<int> a({Bound{1, 3}, Bound{-2, 0}});
    EXPECT_EQ(a.Dimensions(), 2);
    EXPECT_EQ(a.LBound(2), -2);
    EXPECT_EQ(a.UBound(1), 3);
    a.At(3, -2) = 7;
    a.At(1, 0) = 9;
    // Leftmost subscript fastest, as a SAFEARRAY stores it.
    EXPECT_EQ(a.Elements()[2], 7);
    EXPECT_EQ(a.Elements()[6], 9);

    const SafeArray<int> unallocated;
    const auto empty = SafeArray<int>::Vector(5, {});
    EXPECT_EQ(empty.LBound(), 5);
    EXPECT_EQ(empty.UBound(), 4);
    const std::function<void()> outOfRange[] = {
        [&] { a.At(0, 0); },        [&] { a.At(1, 1); },           [&] { a.At(1); },    [&] { a.LBound(3); },
        [&] { unallocated.At(0); }, [&] { unallocated.UBound(); }, [&] { empty.At(5); }};
    for (size_t i = 0; i < std::size(outOfRange); ++i)
        EXPECT_RUNTIME_ERROR(outOfRange[i](), kSubscriptOutOfRange) << "call " << i;
}

TEST(Errors, RaiseRefusesZeroAndRunTimeErrorsHaveTheirTexts) {
    EXPECT_RUNTIME_ERROR(Raise(0, u"S", u"D"), kInvalidProcedureCall);
    EXPECT_EQ(U8(RuntimeErrorText(13)), "Type mismatch");
}

TEST(IntegerArithmetic, SixteenBitBoundaries) {
    EXPECT_EQ(CheckedInteger(32767), 32767);
    EXPECT_EQ(CheckedInteger(-32768), -32768);
    EXPECT_RUNTIME_ERROR(CheckedInteger(32768), kOverflow);
    EXPECT_RUNTIME_ERROR(CheckedInteger(-32769), kOverflow);

    int rounds = 0;
    ForInteger(32760, 32766, [&](int16_t) { return ++rounds, true; });
    EXPECT_EQ(rounds, 7);
    // Stepping past the last Integer overflows after the last round ran.
    rounds = 0;
    EXPECT_RUNTIME_ERROR(ForInteger(32766, 32767, [&](int16_t) { return ++rounds, true; }), kOverflow);
    EXPECT_EQ(rounds, 2);
    EXPECT_RUNTIME_ERROR(ForInteger(1, 40000, [](int16_t) { return true; }), kOverflow);
    rounds = 0;
    ForInteger(1, 32767, [&](int16_t i) { return ++rounds, i < 3; });  // leaving early never overflows
    EXPECT_EQ(rounds, 3);
}

TEST(Text, AnsiIsWindows1252WithQuestionMarks) {
    const String text = u"A\u00e9\u20ac\u2013\u2022\u4e2d\U0001F600";
    const std::string ansi = ToAnsi(text);
    EXPECT_EQ(ansi, std::string("A\xe9\x80\x96\x95???", 8));  // the emoji's two halves each become '?'
    EXPECT_EQ(FromAnsi(ansi.substr(0, 5)), text.substr(0, 5));
    EXPECT_EQ(FromAnsi(std::string("\x81\0z", 3)), String(u"\u0081\0z", 3));  // undefined bytes and NUL survive
    EXPECT_EQ(ToAnsi(String(u"\xD800x", 2)), "?x");
    // The exact form refuses what the lossy one turns into '?', and only that.
    std::string exact;
    EXPECT_TRUE(ToAnsiExact(String(u"A?\u00e9\u20ac\u0081", 5), exact));
    EXPECT_EQ(exact, "A?\xe9\x80\x81");
    for (const String& lost : {String(u"\u0141"), String(u"\xD800x", 2), String(u"\U0001F600")})
        EXPECT_FALSE(ToAnsiExact(lost, exact)) << ToUtf8(lost);
    // Into a string that held more or less before: its old text leaves no trace.
    String reused(40, u'#');
    FromAnsi("ab\xe9", reused);
    EXPECT_EQ(reused, u"ab\u00e9");
    FromAnsi(std::string(70, 'z'), reused);
    EXPECT_EQ(reused, String(70, u'z'));
    FromAnsi("", reused);
    EXPECT_EQ(reused, u"");
}

TEST(Text, Utf8RoundTripAndRepairs) {
    const String text = u"Zürich \u20ac \U0001F600";
    std::string utf8;
    String utf16;
    EXPECT_TRUE(ToUtf8Exact(text, utf8) && FromUtf8Exact(utf8, utf16) && utf16 == text);
    EXPECT_EQ(ToUtf8(String(u"\xDC00", 1)), "\xef\xbf\xbd");
    EXPECT_FALSE(ToUtf8Exact(String(u"\xDC00", 1), utf8));
    // Bytes, what they read as, and whether that is exact: U+0080 is the least two-byte
    // character, and a real U+FFFD passes where the overlong forms do not.
    // clang-format off
    const std::vector<std::tuple<std::string, String, bool>> cases = {
        {"\xc2\x80", u"\u0080", true}, {"\xef\xbf\xbd", u"\uFFFD", true}, {"a\xff" "b", u"a\uFFFDb", false},
        {"\xc1\xbf", u"\uFFFD\uFFFD", false}, {"\xc0\xaf", u"\uFFFD\uFFFD", false},
        {"\xef\xbf\xbd\xc0\xaf", u"\uFFFD\uFFFD\uFFFD", false}};
    // clang-format on
    for (const auto& [bytes, expected, exact] : cases) {
        EXPECT_EQ(FromUtf8(bytes), expected) << bytes;
        EXPECT_EQ(FromUtf8Exact(bytes, utf16), exact) << bytes;
    }
}

TEST(Text, TrimTakesBlanksOnlyAndUCaseKeepsTheLength) {
    EXPECT_EQ(Trim(u"  a b \t "), u"a b \t");
    EXPECT_EQ(UCase(u"straße ab\u00e9"), u"STRAßE AB\u00c9");
}

}  // namespace
}  // namespace varnholt::test
