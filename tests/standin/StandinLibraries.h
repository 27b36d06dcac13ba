#pragma once
// The stand-in's library files opened by path, so each test picks the exact file it means.
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "engine/EntryPoints.h"

namespace varnholt::test {

// A library loaded for the rest of the process, with the entry points it exports (null where
// it exports none).
struct AdminLibrary {
#ifdef _WIN32
    explicit AdminLibrary(const std::string& path) : handle(::LoadLibraryA(path.c_str())) {
        if (!handle) ADD_FAILURE() << "cannot load " << path << ": error " << ::GetLastError();
    }
    template <class Fn>
    Fn Entry(const char* name) const {
        return handle ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(handle, name))) : nullptr;
    }

    const HMODULE handle;
#else
    explicit AdminLibrary(const std::string& path) : handle(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
        if (!handle) ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
    }
    template <class Fn>
    Fn Entry(const char* name) const {
        return handle ? reinterpret_cast<Fn>(dlsym(handle, name)) : nullptr;
    }

    void* const handle;
#endif
    // Members are initialised in this order, after handle.
    const engine::PvStartFn start = Entry<engine::PvStartFn>("PvStart");
    const engine::PvStopFn stop = Entry<engine::PvStopFn>("PvStop");
    const engine::PvConnectServerFn connectServer = Entry<engine::PvConnectServerFn>("PvConnectServer");
    const engine::PvDisconnectFn disconnect = Entry<engine::PvDisconnectFn>("PvDisconnect");
    const engine::PvCreateDatabaseFn createDatabase = Entry<engine::PvCreateDatabaseFn>("PvCreateDatabase");
    const engine::PvGetDbNameFn getDbName = Entry<engine::PvGetDbNameFn>("PvGetDbName");
    const engine::PvGetDbPathFn getDbDataPath = Entry<engine::PvGetDbPathFn>("PvGetDbDataPath");
    const engine::PvGetDbPathFn getDbDictionaryPath = Entry<engine::PvGetDbPathFn>("PvGetDbDictionaryPath");
    const engine::PvGetDbNamesDataFn getDbNamesData = Entry<engine::PvGetDbNamesDataFn>("PvGetDbNamesData");
    const engine::PvDropDatabaseFn dropDatabase = Entry<engine::PvDropDatabaseFn>("PvDropDatabase");
    const engine::PvModifyDatabaseFn modifyDatabase = Entry<engine::PvModifyDatabaseFn>("PvModifyDatabase");
    const engine::PvGetMkdeVersionFn getMkdeVersion = Entry<engine::PvGetMkdeVersionFn>("PvGetMkdeVersion");
};

// The library file at path, loaded once.
inline const AdminLibrary& Library(const std::string& path) {
    static std::map<std::string, AdminLibrary> loaded;
    return loaded.try_emplace(path, path).first->second;
}

}  // namespace varnholt::test
