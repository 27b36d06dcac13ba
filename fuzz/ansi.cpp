// The text conversions: ToAnsi/FromAnsi (Windows-1252 here) and ToUtf8/FromUtf8, on any UTF-16
// (lone surrogates, NULs, characters outside the code page) and any bytes, with the
// round trips that must hold; and the stand-in engine's own conversions agreeing with them.
#include "FuzzCheck.h"
#include "store/Text.h"

using namespace varnholt;
using namespace varnholt::fuzz;

namespace {

bool IsSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// text with every unpaired surrogate replaced by U+FFFD.
String WithoutLoneSurrogates(StringView text) {
    String out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        if (out[i] >= 0xD800 && out[i] <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 && out[i + 1] <= 0xDFFF)
            ++i;
        else if (IsSurrogate(out[i]))
            out[i] = 0xFFFD;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const String units = Utf16Units(data, size);

    // Bytes -> UTF-16 -> bytes through the code page is the identity: one character per byte,
    // the five bytes 1252 leaves undefined included.
    const String fromAnsi = FromAnsi(bytes);
    FUZZ_CHECK(fromAnsi.size() == bytes.size(), "FromAnsi changed the length");
    FUZZ_CHECK(ToAnsi(fromAnsi) == bytes, "ToAnsi(FromAnsi(b)) != b");
    FUZZ_CHECK(std::none_of(fromAnsi.begin(), fromAnsi.end(), IsSurrogate), "FromAnsi made a surrogate");

    // UTF-16 -> code page: one byte per unit; what comes back is the unit or, for a unit the
    // code page lacks, '?'.
    const std::string ansi = ToAnsi(units);
    FUZZ_CHECK(ansi.size() == units.size(), "ToAnsi changed the length");
    const String back = FromAnsi(ansi);
    for (size_t i = 0; i < units.size(); ++i)
        FUZZ_CHECK(back[i] == units[i] || (ansi[i] == '?' && units[i] != u'?'),
                   "unit " + std::to_string(units[i]) + " came back as " + std::to_string(back[i]));

    // UTF-16 -> UTF-8 -> UTF-16: the text again, lone surrogates as U+FFFD; the UTF-8 is valid.
    const std::string utf8 = ToUtf8(units);
    FUZZ_CHECK(IsValidUtf8(utf8), "ToUtf8 wrote invalid UTF-8 for " + Shown(units));
    FUZZ_CHECK(FromUtf8(utf8) == WithoutLoneSurrogates(units), "FromUtf8(ToUtf8(s)) lost text: " + Shown(units));

    // Bytes -> UTF-16 -> UTF-8: valid UTF-8 comes back unchanged; anything else comes back valid.
    const String decoded = FromUtf8(bytes);
    const std::string reencoded = ToUtf8(decoded);
    FUZZ_CHECK(IsValidUtf8(reencoded), "ToUtf8(FromUtf8(b)) is invalid UTF-8");
    if (IsValidUtf8(bytes)) FUZZ_CHECK(reencoded == bytes, "valid UTF-8 did not survive FromUtf8 and ToUtf8");
    FUZZ_CHECK(WithoutLoneSurrogates(decoded) == decoded, "FromUtf8 made a lone surrogate");
    FUZZ_CHECK(decoded.size() <= bytes.size(), "FromUtf8 made more units than bytes");

    // The stand-in engine converts the same way at its boundary, and judges UTF-8 alike.
    FUZZ_CHECK(varnholt::standin::IsUtf8(bytes) == IsValidUtf8(bytes), "the engine judges UTF-8 differently");
    FUZZ_CHECK(varnholt::standin::AnsiToUtf8(bytes) == ToUtf8(fromAnsi), "the engine reads the code page differently");
    if (std::none_of(units.begin(), units.end(), IsSurrogate))
        FUZZ_CHECK(varnholt::standin::Utf8ToAnsi(utf8) == ansi, "the engine writes the code page differently");
    return 0;
}
