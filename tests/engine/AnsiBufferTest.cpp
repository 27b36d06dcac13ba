// The library-boundary buffer: what the library gets, and what the caller's string holds after
// the library wrote into it, whichever shortcut the conversion takes.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "TestSupport.h"
#include "engine/AnsiBuffer.h"

namespace varnholt::test {
namespace {

using engine::AnsiBuffer;

// One output call: the caller's string, the size it passes, what the library does to the bytes
// and the size it reports, and the string the caller must see afterwards.
struct OutputCase {
    const char* what;
    String caller;
    int32_t capacity;
    std::function<int32_t(char*)> library;  // returns the size it reports
    String expected;
};

int32_t Writes(char* buffer, const std::string& text) {
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return static_cast<int32_t>(text.size() + 1);
}

TEST(AnsiBuffer, OutputStringsKeepTheirLengthAndShowEverythingTheLibraryWrote) {
    const String blanks(255, u' ');
    const OutputCase cases[] = {
        {"a name at the start", blanks, 255, [](char* b) { return Writes(b, "ACME"); },
         u"ACME" + String(1, u'\0') + String(250, u' ')},
        {"nothing written", blanks, 255, [](char*) { return 255; }, blanks},
        {"a negative size reported", blanks, 255, [](char* b) { Writes(b, "AB"); return -7; },
         u"AB" + String(1, u'\0') + String(252, u' ')},
        {"a write past the reported end", blanks, 255,
         [](char* b) {
             b[200] = 'Z';
             return Writes(b, "A");
         },
         u"A" + String(1, u'\0') + String(198, u' ') + u"Z" + String(54, u' ')},
        {"the last byte changed", blanks, 255,
         [](char* b) {
             b[254] = '!';
             return Writes(b, "A");
         },
         u"A" + String(1, u'\0') + String(252, u' ') + u"!"},
        {"a byte of the upper half", blanks, 255, [](char* b) { return Writes(b, "\x80uro\xe9"); },
         u"\u20ACuro\u00E9" + String(1, u'\0') + String(249, u' ')},
        {"a caller's string of the upper half", String(10, u'\u00E9'), 10, [](char* b) { return Writes(b, "AB"); },
         u"AB" + String(1, u'\0') + String(7, u'\u00E9')},
        {"a character the code page lacks", String(6, u'\u4E2D'), 6, [](char*) { return 6; }, String(6, u'?')},
        {"a caller's string shorter than the size", u"abc", 255,
         [](char* b) { return Writes(b, std::string(200, 'L')); }, u"LLL"},
        {"a buffer beyond the inline storage", String(3000, u'.'), 3000, [](char* b) { return Writes(b, "LONG"); },
         u"LONG" + String(1, u'\0') + String(2995, u'.')},
        {"a long buffer written past the reported end", String(3000, u'.'), 3000,
         [](char* b) {
             b[2500] = '!';
             return Writes(b, "L");
         },
         u"L" + String(1, u'\0') + String(2498, u'.') + u"!" + String(499, u'.')},
    };
    for (const OutputCase& c : cases) {
        String text = c.caller;
        AnsiBuffer buffer(text, c.capacity);
        ASSERT_GE(buffer.Size(), static_cast<size_t>(c.capacity) + 1) << c.what;
        const int32_t written = c.library(buffer.Data());
        buffer.CopyTo(text, written);
        EXPECT_EQ(text, c.expected) << c.what;
    }
}

TEST(AnsiBuffer, TheLibraryGetsTheCallersTextThenZeros) {
    // The same blanks twice take the remembered bytes; other texts of that length must not.
    const String texts[] = {String(255, u' '), String(255, u' '), String(254, u' ') + u"#", String(255, u'#'),
                            String(255, u' '), u"Caf\u00E9" + String(251, u' ')};
    for (const String& text : texts) {
        AnsiBuffer buffer(text, 300);
        const std::string expected = ToAnsi(text);
        ASSERT_EQ(std::string(buffer.Data(), expected.size()), expected);
        for (size_t i = expected.size(); i < buffer.Size(); ++i) ASSERT_EQ(buffer.Data()[i], '\0') << i;
    }
}

TEST(AnsiBuffer, ABufferOutlivingTheRememberedOneStillSeesEveryChange) {
    const String blanks(255, u' ');
    String first = blanks;
    AnsiBuffer older(first, 255);
    // A second output buffer, whose bytes match what the library is about to write into the
    // first one, becomes the remembered one.
    const AnsiBuffer newer(String(200, u' ') + u"#" + String(54, u' '), 255);
    older.Data()[200] = '#';
    older.CopyTo(first, Writes(older.Data(), "AB"));
    EXPECT_EQ(first, u"AB" + String(1, u'\0') + String(197, u' ') + u"#" + String(54, u' '));
}

TEST(FirstNul, FindsTheFirstNulWithinTheCountOnly) {
    // Every position of a NUL in texts of every length around the four-character steps, with
    // characters whose halves look like zero to a careless test.
    const char16_t fillers[] = {u' ', u'\u0100', u'\uFF00', u'\u8000', u'\u0001'};
    for (char16_t filler : fillers)
        for (size_t length = 0; length <= 13; ++length)
            for (size_t nul = 0; nul <= length; ++nul) {
                String text(length, filler);
                if (nul < length) text[nul] = u'\0';
                if (nul + 2 < length) text[nul + 2] = u'\0';
                for (size_t n = 0; n <= length; ++n)
                    ASSERT_EQ(engine::FirstNul(text.data(), n), std::min(n, nul))
                        << "length " << length << ", NUL at " << nul << ", count " << n;
            }
}

TEST(AnsiBuffer, InputTextIsNulTerminatedAnsi) {
    const String names[] = {u"", u"COMPANY1", u"Caf\u00E9", String(700, u'n')};
    for (const String& name : names) EXPECT_EQ(std::string(AnsiBuffer(name).CStr()), ToAnsi(name));
    // An input never replaces the remembered output buffer.
    const String blanks(255, u' ');
    { AnsiBuffer first(blanks, 255); }
    AnsiBuffer name(u"COMPANY1");
    String text = blanks;
    AnsiBuffer second(text, 255);
    second.CopyTo(text, Writes(second.Data(), "X"));
    EXPECT_EQ(text, u"X" + String(1, u'\0') + String(253, u' '));
}

}  // namespace
}  // namespace varnholt::test
