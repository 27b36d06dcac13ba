#pragma once
// The stand-in's library files opened by path, so each test picks the exact file it means.
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <gtest/gtest.h>

#include <string>

#include "engine/EntryPoints.h"

namespace varnholt::test {

// A library loaded for the rest of the process, with the entry points it exports (null where
// it exports none).
struct AdminLibrary {
#ifdef _WIN32
    explicit AdminLibrary(const std::string& path) : handle(::LoadLibraryA(path.c_str())) {
        if (!handle) ADD_FAILURE() << "cannot load " << path << ": error " << ::GetLastError();
#else
    explicit AdminLibrary(const std::string& path) : handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (!handle) ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
#endif
        start = Entry<engine::PvStartFn>("PvStart");
        stop = Entry<engine::PvStopFn>("PvStop");
        connectServer = Entry<engine::PvConnectServerFn>("PvConnectServer");
        disconnect = Entry<engine::PvDisconnectFn>("PvDisconnect");
        createDatabase = Entry<engine::PvCreateDatabaseFn>("PvCreateDatabase");
        getDbName = Entry<engine::PvGetDbNameFn>("PvGetDbName");
        getDbDataPath = Entry<engine::PvGetDbPathFn>("PvGetDbDataPath");
        getDbDictionaryPath = Entry<engine::PvGetDbPathFn>("PvGetDbDictionaryPath");
        getDbNamesData = Entry<engine::PvGetDbNamesDataFn>("PvGetDbNamesData");
        dropDatabase = Entry<engine::PvDropDatabaseFn>("PvDropDatabase");
        modifyDatabase = Entry<engine::PvModifyDatabaseFn>("PvModifyDatabase");
        getMkdeVersion = Entry<engine::PvGetMkdeVersionFn>("PvGetMkdeVersion");
    }
    template <class Fn>
    Fn Entry(const char* name) const {
#ifdef _WIN32
        return handle ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(handle, name))) : nullptr;
    }

    HMODULE handle;
#else
        return handle ? reinterpret_cast<Fn>(dlsym(handle, name)) : nullptr;
    }

    void* handle;
#endif
    engine::PvStartFn start;
    engine::PvStopFn stop;
    engine::PvConnectServerFn connectServer;
    engine::PvDisconnectFn disconnect;
    engine::PvCreateDatabaseFn createDatabase;
    engine::PvGetDbNameFn getDbName;
    engine::PvGetDbPathFn getDbDataPath;
    engine::PvGetDbPathFn getDbDictionaryPath;
    engine::PvGetDbNamesDataFn getDbNamesData;
    engine::PvDropDatabaseFn dropDatabase;
    engine::PvModifyDatabaseFn modifyDatabase;
    engine::PvGetMkdeVersionFn getMkdeVersion;
};

inline const AdminLibrary& Library75() { static const AdminLibrary lib(STANDIN_W3DBAV75); return lib; }
inline const AdminLibrary& Library78() { static const AdminLibrary lib(STANDIN_W3DBAV78); return lib; }
inline const AdminLibrary& Library80() { static const AdminLibrary lib(STANDIN_W3DBAV80); return lib; }
inline const AdminLibrary& Library90() { static const AdminLibrary lib(STANDIN_W3DBAV90); return lib; }
inline const AdminLibrary& Library90NoDisconnect() {
    static const AdminLibrary lib(STANDIN_W3DBAV90_NODISCONNECT);
    return lib;
}

}  // namespace varnholt::test
