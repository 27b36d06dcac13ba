// The library-boundary buffer: what the library gets, and what the caller's string holds after
// the library wrote into it.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "TestSupport.h"
#include "engine/AnsiBuffer.h"

namespace varnholt::test {
namespace {

using engine::AnsiBuffer;

// One output call: the caller's string, the size it passes, what the library does to the
// bytes, and the string the caller must see afterwards.
struct OutputCase {
    const char* what;
    String caller;
    int32_t capacity;
    std::function<void(char*)> library;
    String expected;
};

void Writes(char* buffer, const std::string& text) { std::memcpy(buffer, text.c_str(), text.size() + 1); }

TEST(AnsiBuffer, OutputStringsKeepTheirLengthAndShowEverythingTheLibraryWrote) {
    const String blanks(255, u' ');
    const OutputCase cases[] = {
        {"a name at the start", blanks, 255, [](char* b) { Writes(b, "ACME"); },
         u"ACME" + String(1, u'\0') + String(250, u' ')},
        {"nothing written", blanks, 255, [](char*) {}, blanks},
        {"a write past the name's end", blanks, 255,
         [](char* b) {
             b[200] = 'Z';
             Writes(b, "A");
         },
         u"A" + String(1, u'\0') + String(198, u' ') + u"Z" + String(54, u' ')},
        {"the last byte changed", blanks, 255,
         [](char* b) {
             b[254] = '!';
             Writes(b, "A");
         },
         u"A" + String(1, u'\0') + String(252, u' ') + u"!"},
        {"a byte of the upper half", blanks, 255, [](char* b) { Writes(b, "\x80uro\xe9"); },
         u"\u20ACuro\u00E9" + String(1, u'\0') + String(249, u' ')},
        {"a caller's string of the upper half", String(10, u'\u00E9'), 10, [](char* b) { Writes(b, "AB"); },
         u"AB" + String(1, u'\0') + String(7, u'\u00E9')},
        {"a character the code page lacks", String(6, u'\u4E2D'), 6, [](char*) {}, String(6, u'?')},
        {"a caller's string shorter than the size", u"abc", 255, [](char* b) { Writes(b, std::string(200, 'L')); },
         u"LLL"},
        {"a long buffer", String(3000, u'.'), 3000, [](char* b) { Writes(b, "LONG"); },
         u"LONG" + String(1, u'\0') + String(2995, u'.')},
        {"a long buffer written past the name's end", String(3000, u'.'), 3000,
         [](char* b) {
             b[2500] = '!';
             Writes(b, "L");
         },
         u"L" + String(1, u'\0') + String(2498, u'.') + u"!" + String(499, u'.')},
    };
    for (const OutputCase& c : cases) {
        String text = c.caller;
        AnsiBuffer buffer(text, c.capacity);
        ASSERT_GE(buffer.Size(), static_cast<size_t>(c.capacity) + 1) << c.what;
        c.library(buffer.Data());
        buffer.CopyTo(text);
        EXPECT_EQ(text, c.expected) << c.what;
    }
}

TEST(AnsiBuffer, TheLibraryGetsTheCallersTextThenZeros) {
    const String texts[] = {String(255, u' '), String(3000, u'#'), u"Caf\u00E9" + String(251, u' ')};
    for (const String& text : texts) {
        AnsiBuffer buffer(text, 300);
        const std::string expected = ToAnsi(text);
        ASSERT_EQ(std::string(buffer.Data(), expected.size()), expected);
        for (size_t i = expected.size(); i < buffer.Size(); ++i) ASSERT_EQ(buffer.Data()[i], '\0') << i;
    }
}

}  // namespace
}  // namespace varnholt::test
