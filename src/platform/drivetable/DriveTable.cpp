#include "platform/drivetable/DriveTable.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string_view>

namespace varnholt::platform {
namespace {

constexpr std::string_view kDrivesVariable = "VARNHOLT_DRIVES";

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (UpperAscii(a[i]) != UpperAscii(b[i])) return false;
    return true;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::vector<std::string_view> Split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// Components of a path, either separator; empty ones and "." dropped.
std::vector<std::string_view> Components(std::string_view path) {
    std::vector<std::string_view> parts;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && IsSeparator(path[i])) ++i;
        size_t end = i;
        while (end < path.size() && !IsSeparator(path[end])) ++end;
        if (end > i && path.substr(i, end - i) != ".") parts.push_back(path.substr(i, end - i));
        i = end;
    }
    return parts;
}

// local, then the components below a drive's or share's root. ".." never climbs above that
// root, so a path cannot leave the folder its drive stands for.
std::string Below(const std::string& local, const std::vector<std::string_view>& components, bool trailingSeparator) {
    std::vector<std::string_view> kept;
    for (std::string_view c : components) {
        if (c != "..")
            kept.push_back(c);
        else if (!kept.empty())
            kept.pop_back();
    }
    std::string out = local;
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    for (std::string_view c : kept) {
        if (out.empty() || out.back() != '/') out += '/';
        out += c;
    }
    if (trailingSeparator && !kept.empty()) out += '/';
    return out;
}

bool ParseType(std::string_view name, uint32_t& type) {
    static constexpr std::pair<std::string_view, uint32_t> kTypes[] = {
        {"unknown", kDriveUnknown}, {"noroot", kDriveNoRootDir}, {"removable", kDriveRemovable}, {"fixed", kDriveFixed},
        {"remote", kDriveRemote},   {"cdrom", kDriveCdRom},      {"ramdisk", kDriveRamDisk}};
    for (const auto& [text, code] : kTypes) {
        if (EqualsIgnoringCase(name, text)) {
            type = code;
            return true;
        }
    }
    return false;
}

}  // namespace

DriveTable DriveTable::Load() {
    const char* file = std::getenv(kDrivesVariable.data());
    if (!file || !*file) {
        DriveTable table;
        table.drives_.push_back(Drive{'C', kDriveFixed, "/", ""});
        return table;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) return DriveTable();
    return Parse(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

DriveTable DriveTable::Parse(const std::string& text) {
    DriveTable table;
    for (std::string_view line : Split(text, '\n')) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string_view::npos || line[first] == '#') continue;
        std::vector<std::string_view> fields;
        for (std::string_view field : Split(line, '\t'))
            if (!field.empty()) fields.push_back(field);
        Drive drive{};
        if (fields.size() < 2 || fields.size() > 4) continue;
        if (fields[0].size() != 2 || !IsDriveLetter(fields[0][0]) || fields[0][1] != ':') continue;
        if (!ParseType(fields[1], drive.type)) continue;
        drive.letter = UpperAscii(fields[0][0]);
        if (fields.size() > 2) drive.local = fields[2];
        if (fields.size() > 3) drive.remote = fields[3];
        std::erase_if(table.drives_, [&](const Drive& d) { return d.letter == drive.letter; });
        table.drives_.push_back(std::move(drive));
    }
    return table;
}

const Drive* DriveTable::Find(char letter) const {
    const char wanted = UpperAscii(letter);
    for (const Drive& drive : drives_)
        if (drive.letter == wanted) return &drive;
    return nullptr;
}

std::string DriveTable::ToLocalPath(const std::string& utf8Path) const {
    const std::string_view path = utf8Path;
    const bool trailingSeparator = !path.empty() && IsSeparator(path.back());
    if (path.size() >= 2 && IsDriveLetter(path[0]) && path[1] == ':') {
        const Drive* drive = Find(path[0]);
        if (!drive || drive->local.empty()) return "";
        return Below(drive->local, Components(path.substr(2)), trailingSeparator);
    }
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        const std::vector<std::string_view> components = Components(path);
        const Drive* best = nullptr;
        size_t bestLength = 0;
        for (const Drive& drive : drives_) {
            if (drive.type != kDriveRemote || drive.local.empty()) continue;
            const std::vector<std::string_view> share = Components(drive.remote);
            // A share is at least \\server\name.
            if (share.size() < 2 || share.size() > components.size() || share.size() <= bestLength) continue;
            bool matches = true;
            for (size_t i = 0; i < share.size() && matches; ++i) matches = EqualsIgnoringCase(share[i], components[i]);
            if (matches) {
                best = &drive;
                bestLength = share.size();
            }
        }
        if (!best) return "";
        return Below(best->local, {components.begin() + static_cast<std::ptrdiff_t>(bestLength), components.end()},
                     trailingSeparator);
    }
    std::string out = utf8Path;
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

}  // namespace varnholt::platform
