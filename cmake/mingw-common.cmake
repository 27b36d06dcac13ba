# Shared part of the mingw-w64 toolchains; VARNHOLT_MINGW_TRIPLET names the target.
# The posix thread model: the core uses std::mutex, which gcc 12's win32 model lacks.
set(CMAKE_C_COMPILER ${VARNHOLT_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VARNHOLT_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VARNHOLT_MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VARNHOLT_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Binaries must load on a bare Windows (or Wine) without the compiler's runtime DLLs
# (libgcc, libstdc++, libwinpthread): -static links all three in.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
