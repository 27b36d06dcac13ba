#include "platform/System.h"

namespace varnholt::platform {
namespace {

SystemServices* gReplacement = nullptr;

}  // namespace

SystemServices& System() { return gReplacement ? *gReplacement : NativeSystem(); }

SystemServices* SetSystemForTesting(SystemServices* replacement) {
    SystemServices* previous = gReplacement;
    gReplacement = replacement;
    return previous;
}

}  // namespace varnholt::platform
