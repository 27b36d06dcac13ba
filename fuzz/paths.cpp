// RemoveDir, FolderName, PathToUNC and GetServerName on any text, with a drive table of every
// kind of drive, against models written from their rules rather than their loops.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FuzzCheck.h"
#include "varnholt/ConnectionHelper.h"

using namespace varnholt;
using namespace varnholt::fuzz;

namespace {

const String kHelper = u"Kestrin.Varnholt.ConnectionHelper.";
const String kLongShare = u"\\\\" + String(1200, u's') + u"\\apps";  // longer than the 1000-byte buffer

// The drives of the table written once per process.
struct ModelDrive {
    char16_t letter;
    uint32_t type;
    const char* typeName;
    String remote;  // remote drives: the share, "" for a share that is not known
};
const ModelDrive kDrives[] = {
    {u'C', 3, "fixed", u""},  {u'S', 4, "remote", u"\\\\srv\\apps"},
    {u'T', 4, "remote", u""}, {u'L', 4, "remote", kLongShare},
    {u'N', 1, "noroot", u""}, {u'U', 0, "unknown", u""},
    {u'E', 5, "cdrom", u""},  {u'R', 6, "ramdisk", u""},
};

void WriteDriveTable() {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("varnholt-fuzz-paths-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path file = dir / "drives";
    std::ofstream out(file);
    for (const ModelDrive& d : kDrives) {
        const char letter = static_cast<char>(d.letter);
        out << letter << ":\t" << d.typeName;
        if (d.type > 1) out << "\t" << dir.string() << "/" << static_cast<char>(letter + 32);
        if (!d.remote.empty()) out << "\t" << ToUtf8(d.remote);
        out << "\n";
    }
    out.close();
    ::setenv("VARNHOLT_DRIVES", file.c_str(), 1);
}

SafeArray<String> Literals() {
    std::vector<String> texts;
    for (int i = 1; i <= 34; ++i) texts.push_back(u"L" + Decimal(i));
    return SafeArray<String>::Vector(1, std::move(texts));
}

// RemoveDir's rule: the text before the first "\", unless the path holds "\\": then the text up
// to the "\" that follows the last "\\", without any "\" and trimmed; a path that starts with a
// single "\" is refused (error 5 inside, reported under RemoveDir's own number).
Outcome<String> RemoveDirModel(const String& path) {
    if (const size_t doubled = path.rfind(u"\\\\"); doubled != String::npos) {
        String head = path.substr(0, path.find(u'\\', doubled + 2));
        std::erase(head, u'\\');
        return {Trim(head)};
    }
    if (!path.empty() && path[0] == u'\\')
        return ExpectedError{kObjectErrorBase + 22000, kHelper + u"RemoveDir", RuntimeErrorText(kInvalidProcedureCall)};
    return {path.substr(0, path.find(u'\\'))};
}

Outcome<String> FolderNameModel(const String& path) {
    if (path.size() > 32767) return Runtime(kOverflow);
    const size_t last = path.find_last_of(u"\\/");
    return {last == String::npos ? path : path.substr(last + 1)};
}

// withLiterals: whether the helper has Literals(1 To 34); without (an unallocated array), every
// error text fails with 9.
Outcome<String> PathToUNCModel(const String& path, bool withLiterals) {
    const String trimmed = Trim(path);
    if (trimmed.size() < 2 || trimmed[1] != u':') return {trimmed};
    const String drive = trimmed.substr(0, 2);
    const ModelDrive* found = nullptr;
    for (const ModelDrive& d : kDrives)
        if (d.letter == drive[0] || d.letter == drive[0] - 32) found = &d;
    const uint32_t type = found ? found->type : 1;
    auto literal = [&](int i, const ExpectedError& error) -> Outcome<String> {
        if (!withLiterals) return Runtime(kSubscriptOutOfRange);
        ExpectedError e = error;
        e.description = u"L" + Decimal(i) + e.description;
        return e;
    };
    if (type == 0 || type == 1) return literal(24, {kObjectErrorBase + 1, kHelper + u"PathToUNC", u" " + drive});
    if (type != 4) return {trimmed};
    const String source = kHelper + u"GetUNCPathOfDriveLetter";
    if (found->remote.empty()) return literal(26, {kObjectErrorBase + 1201, source, u""});
    if (found->remote.size() >= 1000) return literal(28, {kObjectErrorBase + 234, source, u""});
    String rest = trimmed.substr(2);
    if (rest.empty() || rest[0] != u'\\') rest = u"\\" + rest;
    return {found->remote + rest};
}

Outcome<String> GetServerNameModel(const String& path, bool withLiterals) {
    if (path.find(u':') == String::npos) return {u""};
    Outcome<String> unc = PathToUNCModel(path, withLiterals);
    if (!unc.error && !unc.value.empty()) unc = RemoveDirModel(unc.value);
    if (unc.error) return ExpectedError{2300, kHelper + u"GetServerName", unc.error->description};
    if (unc.value.find(u':') != String::npos) unc.value.clear();
    return unc;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    WriteDriveTable();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const bool withLiterals = input.ConsumeBool();
    // A run of one character before the fuzzed text reaches FolderName's 32767 limit.
    const auto padding = input.ConsumeIntegralInRange<uint16_t>(0, 33000);
    const auto filler = input.ConsumeIntegral<char16_t>();
    const bool padded = input.ConsumeIntegralInRange(0, 7) == 7;
    const bool wide = input.ConsumeBool();
    const std::string rest = input.ConsumeRemainingBytesAsString();
    String path = wide ? Utf16Units(rest) : FromUtf8(rest);
    if (padded) path = String(padding, filler) + path;

    ConnectionHelper helper;
    helper.SetLiterals(withLiterals ? Literals() : SafeArray<String>());

    CheckCall("FolderName", path, FolderNameModel(path), [&] { return helper.FolderName(path); });
    const Outcome<String> removed = RemoveDirModel(path);
    String server = path;
    CheckCall("RemoveDir", path, removed, [&] { return helper.RemoveDir(server); });
    // RemoveDir also leaves its result in its argument.
    if (!removed.error) FUZZ_CHECK(server == removed.value, "RemoveDir left its argument " + Shown(server));
    CheckCall("PathToUNC", path, PathToUNCModel(path, withLiterals), [&] { return helper.PathToUNC(path); });
    CheckCall("GetServerName", path, GetServerNameModel(path, withLiterals),
              [&] { return helper.GetServerName(path); });
    return 0;
}
