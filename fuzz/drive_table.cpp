// The drive table: any table text and any path. A table has each letter once, in upper case,
// with a known type, and reads back the same from the lines it stands for; a drive or share
// path never leads outside the folder of its drive, whatever ".." it holds.
#include <fuzzer/FuzzedDataProvider.h>

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

// The components of a POSIX path, empty ones dropped.
std::vector<std::string> Components(const std::string& path) {
    std::vector<std::string> parts = SplitModel(path, '/');
    std::erase(parts, std::string());
    return parts;
}

// local is the folder a drive or share stands for; mapped is what a path on it became.
void CheckInside(const std::string& local, const std::string& mapped, const std::string& path) {
    const std::vector<std::string> root = Components(local);
    const std::vector<std::string> parts = Components(mapped);
    FUZZ_CHECK(parts.size() >= root.size() && std::equal(root.begin(), root.end(), parts.begin()),
               "\"" + path + "\" became \"" + mapped + "\", outside \"" + local + "\"");
    for (size_t i = root.size(); i < parts.size(); ++i)
        FUZZ_CHECK(parts[i] != ".." && parts[i] != ".", "\"" + path + "\" became \"" + mapped + "\"");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string path = input.ConsumeRandomLengthString(256);
    const std::string text = input.ConsumeRemainingBytesAsString();
    const DriveTable table = DriveTable::Parse(text);

    std::string lines;
    bool writable = true;
    for (size_t i = 0; i < table.Drives().size(); ++i) {
        const Drive& drive = table.Drives()[i];
        FUZZ_CHECK(drive.letter >= 'A' && drive.letter <= 'Z', "letter " + std::string(1, drive.letter));
        FUZZ_CHECK(drive.type <= 6, "type " + std::to_string(drive.type));
        for (size_t j = i + 1; j < table.Drives().size(); ++j)
            FUZZ_CHECK(table.Drives()[j].letter != drive.letter, "letter twice: " + std::string(1, drive.letter));
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
    if (isDrivePath) {
        const Drive* drive = table.Find(path[0]);
        if (!drive || drive->local.empty())
            FUZZ_CHECK(mapped.empty(), "a path on a missing drive became \"" + mapped + "\"");
        else
            CheckInside(drive->local, mapped, path);
    } else if (isSharePath) {
        if (mapped.empty()) return 0;
        // Some remote drive's folder holds it.
        bool inside = false;
        for (const Drive& drive : table.Drives()) {
            if (drive.type != 4 || drive.local.empty()) continue;
            const std::vector<std::string> root = Components(drive.local);
            const std::vector<std::string> parts = Components(mapped);
            if (parts.size() >= root.size() && std::equal(root.begin(), root.end(), parts.begin())) inside = true;
        }
        FUZZ_CHECK(inside, "share path \"" + path + "\" became \"" + mapped + "\"");
    } else {
        std::string expected = path;
        for (char& c : expected)
            if (c == '\\') c = '/';
        FUZZ_CHECK(mapped == expected, "plain path \"" + path + "\" became \"" + mapped + "\"");
    }
    return 0;
}
