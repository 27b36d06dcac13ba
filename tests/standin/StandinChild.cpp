// The other process of the stand-in tests that need two:
//   standin_child take FUNCTION EXPECTED   exits 0 when the engine home's faults give the next
//                                          call of FUNCTION the status EXPECTED
//   standin_child create FOLDER ROUND LOG  creates names in FOLDER until killed, noting each one
//                                          committed in LOG
#include <cstdlib>
#include <cstring>
#include <string>

#include "ChildProcess.h"
#include "store/EngineHome.h"
#include "store/Faults.h"
#include "store/NameStore.h"
#include "store/Status.h"

namespace {

using namespace varnholt;

int Take(const char* function, const char* expected) {
    return standin::TakeFault(standin::EngineHome(), function) == std::atoi(expected) ? 0 : 1;
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
    if (argc == 4 && std::strcmp(argv[1], "take") == 0) return Take(argv[2], argv[3]);
    if (argc == 5 && std::strcmp(argv[1], "create") == 0) CreateForever(argv[2], argv[3], argv[4]);
    return 2;
}
