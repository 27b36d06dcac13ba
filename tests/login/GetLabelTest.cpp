// Placeholder filling: "[%n]" takes the n-th trailing argument, one argument after another.
#include <random>

#include "TestSupport.h"
#include "varnholt/ConnectionHelper.h"

namespace varnholt::test {
namespace {

struct LabelCase {
    std::string prompt;
    std::vector<Variant> args;
    std::string expected;
};

std::vector<Variant> Letters(int count) {
    std::vector<Variant> args;
    for (int i = 0; i < count; ++i) args.emplace_back(String(1, static_cast<char16_t>(u'a' + i)));
    return args;
}

TEST(GetLabelTest, FillsPlaceholdersArgumentByArgument) {
    const std::vector<LabelCase> cases = {
        {"Copy [%1] to [%2]?", {u"A", u"B"}, "Copy A to B?"},
        {"Copy [%1] to [%2]?", {}, "Copy [%1] to [%2]?"},
        {"[%1][%1]", {int32_t(5)}, "55"},
        {"no placeholders", {u"a", u"b"}, "no placeholders"},
        {"", {u"a"}, ""},
        // A value may carry a later argument's placeholder, which that argument fills ...
        {"[%1]", {u"[%2]", u"y"}, "y"},
        // ... but not an earlier one's, nor its own.
        {"[%2]", {u"y", u"[%1]"}, "[%1]"},
        {"[%1]", {u"[%1][%1]"}, "[%1][%1]"},
        {"[%[%1]1]", {u"1"}, "[%11]"},
        // Numbering is exact: the closing bracket belongs to the placeholder.
        {"[%1] [%10] [%01] [% 1] [%1", Letters(10), "a j [%01] [% 1] [%1"},
        {"[%10][%1]", Letters(1), "[%10]a"},
        {"[%1]", {u""}, ""},
        {"<[%1]>", {Variant()}, "<>"},
        {"Ünïcødé [%1]", {u"€"}, "Ünïcødé €"},
        {std::string("[%1]\0[%1]", 9), {u"a"}, std::string("a\0a", 3)},
        // Twelve arguments of every kind: two-digit placeholders, and one with no argument left.
        {"[%1] [%2] [%3] [%4] [%5] [%6] [%7] [%9] [%10] [%11] [%12] [%13]",
         {int16_t(-1), int32_t(2147483647), 2.5, true, Variant(), u"six", u"[%8]", u"eight", 1e300, -0.0, u"eleven",
          u"twelve"},
         "-1 2147483647 2.5 True  six eight 1E+300 0 eleven twelve [%13]"},
    };
    ConnectionHelper helper;
    for (const LabelCase& c : cases) EXPECT_EQ(U8(helper.GetLabel(S(c.prompt), c.args)), c.expected) << c.prompt;
}

TEST(GetLabelTest, ArgumentsThatCannotBecomeTextRaise) {
    ConnectionHelper helper;
    const String prompt = u"[%1] [%2]";
    // Every argument is converted, whether or not a placeholder refers to it.
    EXPECT_RUNTIME_ERROR(helper.GetLabel(prompt, {u"a", Variant::Null()}), kInvalidUseOfNull);
    EXPECT_RUNTIME_ERROR(helper.GetLabel(prompt, {u"a", u"b", Variant::Null()}), kInvalidUseOfNull);
    EXPECT_RUNTIME_ERROR(helper.GetLabel(prompt, {Variant(SafeArray<Variant>::Vector(0, {u"x"}))}), kTypeMismatch);
}

// A megabyte of prompt with nine arguments, each step inserting text longer than its
// placeholder: work that grew with the square of the length would not finish here.
TEST(GetLabelTest, LargePromptsStayLinear) {
    String prompt, expected;
    std::vector<Variant> args;
    for (int i = 1; i <= 9; ++i) args.emplace_back(u"value" + Decimal(i) + u"!");
    while (prompt.size() < (1u << 20))
        for (int i = 1; i <= 9; ++i) prompt += u"x[%" + Decimal(i) + u"]", expected += u"xvalue" + Decimal(i) + u"!";
    EXPECT_TRUE(ConnectionHelper().GetLabel(prompt, args) == expected);
}

// The prompt is worked on in pieces: placeholders cut by a piece's end, and those a value forms
// with the text around it, must come out as one pass over the whole text gives them.
TEST(GetLabelTest, PiecesGiveWhatOnePassOverTheWholeTextGives) {
    auto wholeTextSteps = [](String text, const std::vector<String>& values) {
        for (size_t i = 0; i < values.size(); ++i) {
            const String placeholder = u"[%" + Decimal(static_cast<long long>(i) + 1) + u"]";
            String next;
            size_t from = 0;
            for (size_t found; (found = text.find(placeholder, from)) != String::npos;
                 from = found + placeholder.size())
                next.append(text, from, found - from).append(values[i]);
            text = next.append(text, from, String::npos);
        }
        return text;
    };
    std::mt19937 random(20240611);
    const char16_t alphabet[] = u"[%]1210x";
    auto randomText = [&](size_t length) {
        String text(length, u' ');
        for (char16_t& c : text) c = alphabet[random() % 8];
        return text;
    };
    ConnectionHelper helper;
    for (int round = 0; round < 40; ++round) {
        const String prompt = randomText(random() % 40000);
        std::vector<String> values;
        std::vector<Variant> args;
        for (size_t n = 1 + random() % 12; values.size() < n;) {
            values.push_back(randomText(random() % 6));
            args.emplace_back(values.back());
        }
        ASSERT_TRUE(helper.GetLabel(prompt, args) == wholeTextSteps(prompt, values)) << "round " << round;
    }
    // Each placeholder straddling every position around the pieces' ends.
    for (size_t offset = 8180; offset < 8200; ++offset) {
        const String prompt = String(offset, u'x') + u"[%1][%2]" + String(offset, u'y') + u"[%1]";
        EXPECT_TRUE(helper.GetLabel(prompt, {u"[%", u"1]2]"}) == wholeTextSteps(prompt, {u"[%", u"1]2]"})) << offset;
    }
}

}  // namespace
}  // namespace varnholt::test
