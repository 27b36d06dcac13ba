// DoesFileExist("<folder>/*.DAT") in folders of 100,000 entries whose one match comes first or
// last in the order readdir returns them, or is absent, each against a plain readdir loop that
// computes the same answer. The search stops at the first match: first against absent shows it.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "varnholt/ConnectionHelper.h"

namespace {

namespace fs = std::filesystem;
using namespace varnholt;

constexpr int kEntries = 100000;
constexpr int kCandidates = 1000;  // ".DAT" names tried for the first and last places

// "F12.TXT"; built by appending, which gcc 12 at -O3 does not mistake for an overlapping copy.
std::string NameOf(char first, int number, const char* extension) {
    std::string name(1, first);
    name += std::to_string(number);
    name += extension;
    return name;
}

// Entries are hard links to a few empty files, made ten times faster than new files; an inode
// takes at most 65,000 links on ext4.
class Files {
public:
    explicit Files(const fs::path& root) : root_(root) {}
    void Add(const fs::path& path) {
        if (links_ % 60000 == 0) {
            template_ = root_ / NameOf('T', links_ / 60000, ".template");
            const int fd = ::open(template_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            if (fd < 0) throw std::runtime_error("cannot create " + template_.string());
            ::close(fd);
        }
        if (::link(template_.c_str(), path.c_str()) != 0) throw std::runtime_error("cannot create " + path.string());
        ++links_;
    }

private:
    fs::path root_, template_;
    long links_ = 0;
};

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

std::vector<std::string> ReaddirOrder(const fs::path& folder) {
    std::vector<std::string> names;
    const Dir dir(opendir(folder.c_str()));
    if (!dir) throw std::runtime_error("cannot read " + folder.string());
    while (const dirent* entry = readdir(dir.get()))
        if (entry->d_name[0] != '.') names.emplace_back(entry->d_name);
    return names;
}

bool IsDat(const std::string& name) {
    return name.size() >= 4 && strcasecmp(name.c_str() + name.size() - 4, ".DAT") == 0;
}

// Where the one ".DAT" file lies in readdir order.
enum class Place { First, Last, Absent };

// A folder of kEntries files, "*.TXT" apart from at most one "*.DAT". Entries come back from
// readdir in an order of the file system's own (a hash of the name on ext4), so the ".DAT"
// file is chosen among candidates by where it landed, and the ".TXT" files on the wrong side
// of it are replaced until none is left there.
fs::path MakeFolder(const fs::path& root, Place place, Files& files) {
    const fs::path folder = root / (place == Place::First ? "first" : place == Place::Last ? "last" : "absent");
    fs::create_directories(folder);
    int next = 0;
    auto addText = [&] { files.Add(folder / NameOf('F', next++, ".TXT")); };
    if (place == Place::Absent) {
        for (int i = 0; i < kEntries; ++i) addText();
        return folder;
    }
    for (int i = 0; i < kEntries - 1; ++i) addText();
    for (int i = 0; i < kCandidates; ++i) files.Add(folder / NameOf('D', i, ".DAT"));
    std::vector<std::string> order = ReaddirOrder(folder);
    std::string chosen;
    for (const std::string& name : order)
        if (IsDat(name) && (chosen.empty() || place == Place::Last)) chosen = name;
    for (const std::string& name : order)
        if (IsDat(name) && name != chosen) fs::remove(folder / name);
    for (int round = 0; round < 50; ++round) {
        order = ReaddirOrder(folder);
        const auto at = std::find(order.begin(), order.end(), chosen);
        const auto wrong = place == Place::First ? std::vector<std::string>(order.begin(), at)
                                                 : std::vector<std::string>(at + 1, order.end());
        if (wrong.empty()) return folder;
        for (const std::string& name : wrong) {
            fs::remove(folder / name);
            addText();
        }
    }
    throw std::runtime_error("readdir order did not settle in " + folder.string());
}

// The three folders under one temporary root, made on first use and removed at exit.
class Folders {
public:
    Folders() : root_(fs::temp_directory_path() / "varnholt-bench-files") {
        root_ += std::to_string(::getpid());
        fs::create_directories(root_);
        Files files(root_);
        for (Place place : {Place::First, Place::Last, Place::Absent})
            folders_[place] = MakeFolder(root_, place, files);
    }
    ~Folders() {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const fs::path& Of(Place place) { return folders_.at(place); }

private:
    fs::path root_;
    std::map<Place, fs::path> folders_;
};

Folders& TheFolders() {
    static Folders folders;
    return folders;
}

// The floor: what the search must do at least, with nothing converted.
bool PlainSearch(const char* folder, long& entriesRead) {
    const Dir dir(opendir(folder));
    while (const dirent* entry = readdir(dir.get())) {
        ++entriesRead;
        const size_t length = std::strlen(entry->d_name);
        if (entry->d_name[0] == '.' || length < 4 || strcasecmp(entry->d_name + length - 4, ".DAT") != 0) continue;
        if (entry->d_type == DT_REG) return true;
    }
    return false;
}

void Component(benchmark::State& state, Place place) {
    const fs::path& folder = TheFolders().Of(place);
    ConnectionHelper helper;
    const String pattern = FromUtf8((folder / "*.DAT").string());
    bool found = false;
    for (auto _ : state) benchmark::DoNotOptimize(found = helper.DoesFileExist(pattern));
    if (found != (place != Place::Absent)) state.SkipWithError("wrong answer");
}

void Plain(benchmark::State& state, Place place) {
    const fs::path& folder = TheFolders().Of(place);
    long entriesRead = 0;
    bool found = false;
    for (auto _ : state) benchmark::DoNotOptimize(found = PlainSearch(folder.c_str(), entriesRead));
    if (found != (place != Place::Absent)) state.SkipWithError("wrong answer");
    state.counters["entries_read"] =
        benchmark::Counter(static_cast<double>(entriesRead), benchmark::Counter::kAvgIterations);
}

void BM_DoesFileExist_First(benchmark::State& s) { Component(s, Place::First); }
void BM_DoesFileExist_Last(benchmark::State& s) { Component(s, Place::Last); }
void BM_DoesFileExist_Absent(benchmark::State& s) { Component(s, Place::Absent); }
void BM_Readdir_First(benchmark::State& s) { Plain(s, Place::First); }
void BM_Readdir_Last(benchmark::State& s) { Plain(s, Place::Last); }
void BM_Readdir_Absent(benchmark::State& s) { Plain(s, Place::Absent); }

BENCHMARK(BM_DoesFileExist_First)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", varnholt::bench::Minimum);
BENCHMARK(BM_Readdir_First)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", varnholt::bench::Minimum);
BENCHMARK(BM_DoesFileExist_Last)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", varnholt::bench::Minimum);
BENCHMARK(BM_Readdir_Last)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", varnholt::bench::Minimum);
BENCHMARK(BM_DoesFileExist_Absent)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", varnholt::bench::Minimum);
BENCHMARK(BM_Readdir_Absent)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", varnholt::bench::Minimum);

const bool registered = [] {
    using varnholt::bench::RegisterRatio;
    RegisterRatio("BM_DoesFileExist_First", "BM_Readdir_First", 1.2);
    RegisterRatio("BM_DoesFileExist_Last", "BM_Readdir_Last", 1.2);
    RegisterRatio("BM_DoesFileExist_Absent", "BM_Readdir_Absent", 1.2);
    // A first match costs a small part of a full scan: the search stopped there.
    RegisterRatio("BM_DoesFileExist_First", "BM_DoesFileExist_Absent", 0.05);
    return true;
}();

}  // namespace

int main(int argc, char** argv) { return varnholt::bench::RunWithRatios(argc, argv); }
