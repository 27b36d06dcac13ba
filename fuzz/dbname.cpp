// LegitimiseDBName and MakeDBName on any text: only letters and digits of ASCII survive, in
// order, and a name is the trimmed prefix in upper case followed by the folder's legitimate
// characters in upper case.
#include "FuzzCheck.h"
#include "varnholt/ConnectionHelper.h"

using namespace varnholt;
using namespace varnholt::fuzz;

namespace {

bool IsAsciiAlnum(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

String Legitimate(StringView text) {
    String out;
    for (char16_t c : text)
        if (IsAsciiAlnum(c)) out += c;
    return out;
}

String AsciiUpper(String text) {
    for (char16_t& c : text)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 32);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const String prefix = FuzzText(input, 64);
    String path = FuzzText(input, 4096);
    // Sometimes a path at the length where FolderName's 16-bit walk overflows.
    if (input.ConsumeIntegralInRange(0, 15) == 15) {
        const size_t total = 32766 + input.ConsumeIntegralInRange<size_t>(0, 2);
        if (path.size() < total) path = String(total - path.size(), u'x') + path;
    }

    ConnectionHelper helper;
    const String legitimate = helper.LegitimiseDBName(path);
    FUZZ_CHECK(legitimate == Legitimate(path), "LegitimiseDBName gave " + Shown(legitimate) + " for " + Shown(path));
    FUZZ_CHECK(helper.LegitimiseDBName(legitimate) == legitimate, "LegitimiseDBName is not idempotent");

    const size_t cut = path.find_last_of(u"\\/");
    const String folder = cut == String::npos ? path : path.substr(cut + 1);
    Outcome<String> expected{UCase(Trim(prefix)) + AsciiUpper(Legitimate(folder))};
    if (path.size() > 32767) expected = Runtime(kOverflow);
    CheckCall("MakeDBName", path, expected, [&] { return helper.MakeDBName(prefix, path); });
    return 0;
}
