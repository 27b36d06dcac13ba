// The drive table: any table text and any path. A table has each letter once, in upper case,
// with a known type, and reads back the same from the lines it stands for; a drive or share
// path never leads outside the folder of its drive, whatever ".." it holds.
#include "FuzzCheck.h"
#include "platform/drivetable/DriveTable.h"

using namespace varnholt::fuzz;
using varnholt::platform::Drive;
using varnholt::platform::DriveTable;

namespace {

const char* const kTypeNames[] = {"unknown", "noroot", "removable", "fixed", "remote", "cdrom", "ramdisk"};

std::string Line(const Drive& drive) {
    std::string line = std::string(1, drive.letter) + ":\t" + kTypeNames[drive.type];
    if (!drive.local.empty()) line += "\t" + drive.local;
    if (!drive.remote.empty()) line += "\t" + drive.remote;
    return line + "\n";
}

// Whether the POSIX path mapped lies inside the folder local: local's components lead it,
// and no "." or ".." follows them.
bool Inside(const std::string& local, const std::string& mapped) {
    std::vector<std::string> root = SplitModel(local, '/'), parts = SplitModel(mapped, '/');
    std::erase(root, std::string());
    std::erase(parts, std::string());
    if (parts.size() < root.size() || !std::equal(root.begin(), root.end(), parts.begin())) return false;
    return std::none_of(parts.begin() + root.size(), parts.end(), [](auto& p) { return p == "." || p == ".."; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string path = input.ConsumeRandomLengthString(256);
    const std::string text = input.ConsumeRemainingBytesAsString();
    const DriveTable table = DriveTable::Parse(text);

    std::string lines;
    bool writable = true;
    for (const Drive& drive : table.Drives()) {
        FUZZ_CHECK(drive.letter >= 'A' && drive.letter <= 'Z', "letter " + std::string(1, drive.letter));
        FUZZ_CHECK(drive.type <= 6, "type " + std::to_string(drive.type));
        // Also each letter once: of two drives of one letter, Find misses one.
        FUZZ_CHECK(table.Find(drive.letter) == &drive && table.Find(static_cast<char>(drive.letter + 32)) == &drive,
                   "Find misses " + std::string(1, drive.letter));
        // A field ending in "\r" or a remote name without a local folder has no line of its own.
        const bool endsInReturn = (!drive.remote.empty() ? drive.remote : drive.local).ends_with('\r');
        writable = writable && !endsInReturn && !(drive.local.empty() && !drive.remote.empty());
        lines += Line(drive);
    }
    if (writable) {
        const DriveTable again = DriveTable::Parse(lines);
        FUZZ_CHECK(again.Drives().size() == table.Drives().size(), "the table's own lines read differently");
        for (size_t i = 0; i < again.Drives().size(); ++i) {
            const Drive& a = again.Drives()[i];
            const Drive& b = table.Drives()[i];
            FUZZ_CHECK(a.letter == b.letter && a.type == b.type && a.local == b.local && a.remote == b.remote,
                       "drive " + std::string(1, b.letter) + " reads back differently");
        }
    }

    const std::string mapped = table.ToLocalPath(path);
    const bool isDrivePath = path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    const bool isSharePath =
        path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    const std::string became = "\"" + path + "\" became \"" + mapped + "\"";
    if (isDrivePath) {
        const Drive* drive = table.Find(path[0]);
        if (!drive || drive->local.empty())
            FUZZ_CHECK(mapped.empty(), "a path on a missing drive: " + became);
        else
            FUZZ_CHECK(Inside(drive->local, mapped), became + ", outside its drive's folder");
    } else if (isSharePath) {
        // Unless unknown, a share path lands inside some remote drive's folder.
        FUZZ_CHECK(mapped.empty() || std::any_of(table.Drives().begin(), table.Drives().end(),
                                                 [&](const Drive& d) {
                                                     return d.type == 4 && !d.local.empty() && Inside(d.local, mapped);
                                                 }),
                   "share path " + became);
    } else {
        std::string expected = path;
        for (char& c : expected)
            if (c == '\\') c = '/';
        FUZZ_CHECK(mapped == expected, "plain path " + became);
    }
    return 0;
}
