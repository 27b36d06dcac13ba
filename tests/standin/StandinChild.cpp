// The other process of the stand-in tests that need two:
//   standin_child count LIBRARY EXPECTED   exits 0 when PvGetDbNamesData of LIBRARY answers EXPECTED
//   standin_child create FOLDER ROUND LOG   creates names in FOLDER until killed, noting each one
//                                           committed in LOG
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <cstdlib>
#include <cstring>
#include <string>

#include "ChildProcess.h"
#include "engine/EntryPoints.h"
#include "store/NameStore.h"
#include "store/Status.h"

namespace {

using namespace varnholt;

int Count(const char* library, const char* expected) {
#ifdef _WIN32
    HMODULE handle = ::LoadLibraryA(library);
    void* entry = handle ? reinterpret_cast<void*>(::GetProcAddress(handle, "PvGetDbNamesData")) : nullptr;
#else
    void* handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    void* entry = handle ? ::dlsym(handle, "PvGetDbNamesData") : nullptr;
#endif
    if (!entry) return 2;
    int32_t count = -1;
    const int32_t status = reinterpret_cast<engine::PvGetDbNamesDataFn>(entry)(-1, &count);
    return status == std::atoi(expected) ? 0 : 1;
}

[[noreturn]] void CreateForever(const std::string& folder, const std::string& round, const char* logPath) {
    test::LineLog log(logPath);
    if (!log.IsOpen()) std::exit(2);
    standin::NameStore& store = standin::NameStore::ForFolder(folder);
    for (int i = 0;; ++i) {
        const std::string name = "R" + round + "N" + std::to_string(i);
        if (store.Create({name, "C:\\Dict\\" + name, "/data/" + name, 2}) == standin::kOk) log.Note(name);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "count") == 0) return Count(argv[2], argv[3]);
    if (argc == 5 && std::strcmp(argv[1], "create") == 0) CreateForever(argv[2], argv[3], argv[4]);
    return 2;
}
