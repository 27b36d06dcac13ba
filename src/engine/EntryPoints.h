#pragma once
// The administration libraries' exported functions as this component calls them. The engine
// writes NUL-terminated 8-bit text; sizes and counts are written through the pointers given.
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VARNHOLT_ENGINE_API __stdcall
#else
#define VARNHOLT_ENGINE_API
#endif

namespace varnholt::engine {

using PvStartFn = int32_t(VARNHOLT_ENGINE_API*)(int32_t reserved);
using PvStopFn = int32_t(VARNHOLT_ENGINE_API*)(int32_t reserved);
using PvConnectServerFn = int32_t(VARNHOLT_ENGINE_API*)(const char* serverName, const char* userName,
                                                        const char* password, int32_t* phConnection);
using PvDisconnectFn = int32_t(VARNHOLT_ENGINE_API*)(int32_t hConnection);
using PvCreateDatabaseFn = int32_t(VARNHOLT_ENGINE_API*)(int32_t hConnection, const char* dbName, const char* dictPath,
                                                         const char* dataPath, int32_t dbFlags);
using PvGetDbNameFn = int32_t(VARNHOLT_ENGINE_API*)(int32_t hConnection, int32_t sequence, int32_t* pBufSize,
                                                    char* dbName);
using PvGetDbPathFn = int32_t(VARNHOLT_ENGINE_API*)(int32_t hConnection, const char* dbName, int32_t* pBufSize,
                                                    char* path);
using PvGetDbNamesDataFn = int32_t(VARNHOLT_ENGINE_API*)(int32_t hConnection, int32_t* pCount);
using PvDropDatabaseFn = int32_t(VARNHOLT_ENGINE_API*)(int32_t hConnection, const char* dbName, int32_t option);
using PvModifyDatabaseFn = int32_t(VARNHOLT_ENGINE_API*)(int32_t hConnection, const char* dbNameExisting,
                                                         const char* dbNameNew, const char* dictPath,
                                                         const char* dataPath, int32_t dbFlags);

// The engine-version record of PvGetMkdeVersion: 16 bytes, zero-filled before the call.
struct MkdeVersion {
    int32_t major;
    int32_t minor;
    int32_t build;
    char platform;
    char reserved[3];
};
static_assert(sizeof(MkdeVersion) == 16);

using PvGetMkdeVersionFn = int32_t(VARNHOLT_ENGINE_API*)(int32_t hConnection, MkdeVersion* version);

// The connection handle of the local engine.
inline constexpr int32_t kLocalEngine = -1;

// Library files by engine generation, as the component names them.
inline constexpr char kGeneration7Library[] = "W3DBAV75.DLL";
inline constexpr char kGeneration8Library[] = "W3DBAV80.DLL";
inline constexpr char kGeneration9Library[] = "W3DBAV90.DLL";
inline constexpr char kVersionLibrary[] = "W3DBAV78.DLL";

}  // namespace varnholt::engine
