// The other process of the stand-in tests that need two:
//   standin_child take FUNCTION EXPECTED   exits 0 when the engine home's faults give the next
//                                          call of FUNCTION the status EXPECTED
#include <cstdlib>
#include <cstring>

#include "store/EngineHome.h"
#include "store/Faults.h"

namespace {

using namespace varnholt;

int Take(const char* function, const char* expected) {
    return standin::TakeFault(standin::EngineHome(), function) == std::atoi(expected) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "take") == 0) return Take(argv[2], argv[3]);
    return 2;
}
