#pragma once
// The owner of a POSIX file descriptor.
#include <unistd.h>

#include "platform/Handle.h"

namespace varnholt::platform {

struct FileDescriptorTraits {
    using Type = int;
    static int None() { return -1; }
    static void Free(int fd) { ::close(fd); }
};
using FileDescriptor = Handle<FileDescriptorTraits>;

}  // namespace varnholt::platform
