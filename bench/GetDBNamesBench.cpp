// GetDBNames over 10,000 names against the same 1 + 3n entry-point calls made directly.
#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "BenchSupport.h"
#include "engine/EntryPoints.h"
#include "varnholt/CPVSServer.h"

namespace {

namespace fs = std::filesystem;
using namespace varnholt;

constexpr int kNames = 10000;

// A temporary engine home holding kNames local names, selected for the whole run.
class BenchEngineHome {
public:
    BenchEngineHome() {
        path_ = fs::temp_directory_path() / ("varnholt-bench-" + std::to_string(::getpid()));
        fs::create_directories(path_ / "local");
        std::ofstream out(path_ / "local" / "dbnames");
        for (int i = 1; i <= kNames; ++i)
            out << "COMPANY" << i << "\t\\\\FS01\\apps\\Dict\\Co" << i << "\t\\\\FS01\\apps\\Data\\Co" << i << "\t2\n";
        ::setenv("VARNHOLT_ENGINE_HOME", path_.c_str(), 1);
    }
    ~BenchEngineHome() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }

private:
    fs::path path_;
};

BenchEngineHome& Home() {
    static BenchEngineHome home;
    return home;
}

void BM_GetDBNames_Array(benchmark::State& state) {
    Home();
    CPVSServer server;
    server.Connect();
    for (auto _ : state) benchmark::DoNotOptimize(server.GetDBNames(true));
    state.SetItemsProcessed(state.iterations() * kNames);
}

void BM_GetDBNames_Recordset(benchmark::State& state) {
    Home();
    CPVSServer server;
    server.Connect();
    for (auto _ : state) benchmark::DoNotOptimize(server.GetDBNames(false));
    state.SetItemsProcessed(state.iterations() * kNames);
}

// The floor: the entry points called in the same order with the same buffers, nothing kept.
void BM_RawEntryPoints(benchmark::State& state) {
    Home();
    void* library = dlopen("libw3dbav90.so", RTLD_NOW);
    if (!library) return state.SkipWithError("libw3dbav90.so does not load");
    auto count = reinterpret_cast<engine::PvGetDbNamesDataFn>(dlsym(library, "PvGetDbNamesData"));
    auto name = reinterpret_cast<engine::PvGetDbNameFn>(dlsym(library, "PvGetDbName"));
    auto data = reinterpret_cast<engine::PvGetDbPathFn>(dlsym(library, "PvGetDbDataPath"));
    auto dict = reinterpret_cast<engine::PvGetDbPathFn>(dlsym(library, "PvGetDbDictionaryPath"));
    char buffer[256], path[256];
    for (auto _ : state) {
        int32_t n = 0;
        count(-1, &n);
        for (int32_t i = 1; i <= n; ++i) {
            int32_t size = 255;
            name(-1, i, &size, buffer);
            size = 255;
            data(-1, buffer, &size, path);
            benchmark::DoNotOptimize(path);
            size = 255;
            dict(-1, buffer, &size, path);
            benchmark::DoNotOptimize(path);
        }
    }
    state.SetItemsProcessed(state.iterations() * kNames);
}

BENCHMARK(BM_GetDBNames_Array)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", varnholt::bench::Minimum);
BENCHMARK(BM_GetDBNames_Recordset)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", varnholt::bench::Minimum);
BENCHMARK(BM_RawEntryPoints)->Unit(benchmark::kMillisecond)->ComputeStatistics("min", varnholt::bench::Minimum);

const bool registered = [] {
    varnholt::bench::RegisterRatio("BM_GetDBNames_Array", "BM_RawEntryPoints", 1.10);
    varnholt::bench::RegisterRatio("BM_GetDBNames_Recordset", "BM_RawEntryPoints", 1.10);
    return true;
}();

}  // namespace

int main(int argc, char** argv) { return varnholt::bench::RunWithRatios(argc, argv); }
