#include <cmath>
#include <thread>
#include <vector>

#include "TestSupport.h"
#include "automation/IntegerLoop.h"
#include "varnholt/Variant.h"

namespace varnholt::test {
namespace {

TEST(VariantText, ConvertsAsTheRunTimeDoes) {
    struct Case {
        Variant value;
        const char* text;
    };
    const Case cases[] = {
        {Variant(), ""},
        {Variant(int16_t(-5)), "-5"},
        {Variant(int32_t(5)), "5"},
        {Variant(int32_t(-2147483647 - 1)), "-2147483648"},
        {Variant(true), "True"},
        {Variant(false), "False"},
        {Variant(1.5), "1.5"},
        {Variant(0.1), "0.1"},
        {Variant(100.0), "100"},
        {Variant(1e20), "1E+20"},
        {Variant(1.5e-7), "1.5E-07"},
        {Variant(-0.0), "0"},
        {Variant(1.0 / 3.0), "0.333333333333333"},
        {Variant(S("ä[%1]")), "ä[%1]"},
    };
    for (const auto& c : cases) EXPECT_EQ(U8(c.value.ToText()), c.text);
}

TEST(VariantText, NullArrayAndObjectCannotBecomeText) {
    EXPECT_RUNTIME_ERROR(Variant::Null().ToText(), kInvalidUseOfNull);
    EXPECT_RUNTIME_ERROR(Variant(SafeArray<Variant>::Vector(0, {Variant(1)})).ToText(), kTypeMismatch);
    EXPECT_RUNTIME_ERROR(Variant(std::make_shared<Object>()).ToText(), kTypeMismatch);
    EXPECT_RUNTIME_ERROR(Variant(std::nan("")).ToText(), kOverflow);
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
    EXPECT_RUNTIME_ERROR(a.At(0, 0), kSubscriptOutOfRange);
    EXPECT_RUNTIME_ERROR(a.At(1, 1), kSubscriptOutOfRange);
    EXPECT_RUNTIME_ERROR(a.At(1), kSubscriptOutOfRange);
    EXPECT_RUNTIME_ERROR(a.LBound(3), kSubscriptOutOfRange);

    SafeArray<int> unallocated;
    EXPECT_RUNTIME_ERROR(unallocated.At(0), kSubscriptOutOfRange);
    EXPECT_RUNTIME_ERROR(unallocated.UBound(), kSubscriptOutOfRange);

    const auto empty = SafeArray<int>::Vector(5, {});
    EXPECT_EQ(empty.LBound(), 5);
    EXPECT_EQ(empty.UBound(), 4);
    EXPECT_RUNTIME_ERROR(empty.At(5), kSubscriptOutOfRange);
}

TEST(Errors, RaiseKeepsAllThreePartsAndRefusesZero) {
    EXPECT_RAISES(Raise(7013, u"Src", u"Desc"), 7013, "Src", "Desc");
    EXPECT_RAISES(Raise(-1, u"S", u"USER_CANCELLED"), -1, "S", "USER_CANCELLED");
    EXPECT_RUNTIME_ERROR(Raise(0, u"S", u"D"), kInvalidProcedureCall);
    EXPECT_EQ(U8(RuntimeErrorText(9)), "Subscript out of range");
    EXPECT_EQ(U8(RuntimeErrorText(13)), "Type mismatch");
}

TEST(IntegerArithmetic, SixteenBitBoundaries) {
    EXPECT_EQ(CheckedInteger(32767), 32767);
    EXPECT_EQ(CheckedInteger(-32768), -32768);
    EXPECT_RUNTIME_ERROR(CheckedInteger(32768), kOverflow);
    EXPECT_RUNTIME_ERROR(CheckedInteger(-32769), kOverflow);
    EXPECT_RUNTIME_ERROR(CheckedLong(2147483648LL), kOverflow);

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
    const String text = u"A\u00e9\u20ac\u2013\u4e2d\U0001F600";
    const std::string ansi = ToAnsi(text);
    EXPECT_EQ(ansi, std::string("A\xe9\x80\x96???", 7));  // the emoji's two halves each become '?'
    EXPECT_EQ(FromAnsi(ansi.substr(0, 4)), text.substr(0, 4));
    EXPECT_EQ(FromAnsi(std::string("\x81\0z", 3)), String(u"\u0081\0z", 3));  // undefined bytes and NUL survive
    EXPECT_EQ(ToAnsi(String(u"\xD800x", 2)), "?x");
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
    EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
    EXPECT_EQ(FromUtf8("a\xff" "b"), u"a\uFFFDb");
    EXPECT_EQ(FromUtf8("\xc0\xaf"), u"\uFFFD\uFFFD");  // overlong
    EXPECT_EQ(ToUtf8(String(u"\xDC00", 1)), "\xef\xbf\xbd");
}

TEST(Text, TrimUCaseDecimal) {
    EXPECT_EQ(Trim(u"  a b \t "), u"a b \t");
    EXPECT_EQ(UCase(u"straße ab\u00e9"), u"STRAßE AB\u00c9");
    EXPECT_EQ(Decimal(-7005), u"-7005");
}

}  // namespace
}  // namespace varnholt::test
