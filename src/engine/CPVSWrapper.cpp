#include "engine/CPVSWrapper.h"

#include "platform/DynamicLibrary.h"

namespace varnholt {

using platform::EntryPoint;
using namespace engine;

struct CPVSWrapper::Library {
    explicit Library(const char* file)
        : start(file, "PvStart"),
          stop(file, "PvStop"),
          connectServer(file, "PvConnectServer"),
          disconnect(file, "PvDisconnect"),
          createDatabase(file, "PvCreateDatabase"),
          getDbName(file, "PvGetDbName"),
          getDbDataPath(file, "PvGetDbDataPath"),
          getDbDictionaryPath(file, "PvGetDbDictionaryPath"),
          getDbNamesData(file, "PvGetDbNamesData"),
          dropDatabase(file, "PvDropDatabase"),
          modifyDatabase(file, "PvModifyDatabase") {}
    EntryPoint<PvStartFn> start;
    EntryPoint<PvStopFn> stop;
    EntryPoint<PvConnectServerFn> connectServer;
    EntryPoint<PvDisconnectFn> disconnect;
    EntryPoint<PvCreateDatabaseFn> createDatabase;
    EntryPoint<PvGetDbNameFn> getDbName;
    EntryPoint<PvGetDbPathFn> getDbDataPath, getDbDictionaryPath;
    EntryPoint<PvGetDbNamesDataFn> getDbNamesData;
    EntryPoint<PvDropDatabaseFn> dropDatabase;
    EntryPoint<PvModifyDatabaseFn> modifyDatabase;
};

namespace {

// One table per library file for the life of the process; entry addresses stay cached.
template <const char* File>
CPVSWrapper::Library& LibraryOf() {
    static CPVSWrapper::Library library(File);
    return library;
}

}  // namespace

CPVS7Wrapper::CPVS7Wrapper() : CPVSWrapper(LibraryOf<kGeneration7Library>()) {}
CPVS8Wrapper::CPVS8Wrapper() : CPVSWrapper(LibraryOf<kGeneration8Library>()) {}
CPVS9Wrapper::CPVS9Wrapper() : CPVSWrapper(LibraryOf<kGeneration9Library>()) {}

// Statuses other than PvGetDbName's arrive as the library's 16-bit value.
static int16_t Narrow(int32_t status) { return static_cast<int16_t>(status); }

Variant CPVSWrapper::IPvStart() { return Variant(library_.start(0)); }

Variant CPVSWrapper::IPvStop() { return Variant(library_.stop(0)); }

int16_t CPVSWrapper::IPvConnectServer(const String& serverName, const String& userName, const String& Password,
                                      int32_t& phConnection) {
    return Narrow(library_.connectServer(ToAnsi(serverName).c_str(), ToAnsi(userName).c_str(), ToAnsi(Password).c_str(),
                                         &phConnection));
}

int16_t CPVSWrapper::IPvDisconnect(int32_t& phConnection) { return Narrow(library_.disconnect(phConnection)); }

int16_t CPVSWrapper::IPvCreateDatabase(int32_t hConnection, const String& DBName, const String& dictPath,
                                       const String& dataPath, int32_t dbFlags) {
    return Narrow(library_.createDatabase(hConnection, ToAnsi(DBName).c_str(), ToAnsi(dictPath).c_str(),
                                          ToAnsi(dataPath).c_str(), dbFlags));
}

int32_t CPVSWrapper::GetDbNameInto(int32_t hConnection, int32_t sequence, int32_t& pBufSize, char* buffer) {
    return library_.getDbName(hConnection, sequence, &pBufSize, buffer);
}

int16_t CPVSWrapper::GetDbDataPathInto(int32_t hConnection, const char* DBName, int32_t& pBufSize, char* buffer) {
    return Narrow(library_.getDbDataPath(hConnection, DBName, &pBufSize, buffer));
}

int16_t CPVSWrapper::GetDbDictionaryPathInto(int32_t hConnection, const char* DBName, int32_t& pBufSize, char* buffer) {
    return Narrow(library_.getDbDictionaryPath(hConnection, DBName, &pBufSize, buffer));
}

int16_t CPVSWrapper::IPvGetDbNamesData(int32_t hConnection, int32_t& pCount) {
    return Narrow(library_.getDbNamesData(hConnection, &pCount));
}

int16_t CPVSWrapper::IPvDropDatabase(int32_t hConnection, const String& DBName, int16_t ooption) {
    return Narrow(library_.dropDatabase(hConnection, ToAnsi(DBName).c_str(), ooption));
}

int16_t CPVSWrapper::IPvModifyDatabase(int32_t hConnection, const String& dbNameExisting, const String& dbNameNew,
                                       const String& dictPath, const String& dataPath, int32_t dbFlags) {
    return Narrow(library_.modifyDatabase(hConnection, ToAnsi(dbNameExisting).c_str(), ToAnsi(dbNameNew).c_str(),
                                          ToAnsi(dictPath).c_str(), ToAnsi(dataPath).c_str(), dbFlags));
}

bool CPVSWrapper::DoesVersionDLLLoad() {
    try {
        library_.disconnect(-1);  // the status does not matter, only that it ran
        return true;
    } catch (...) {
        return false;
    }
}

namespace engine {

int16_t QueryMkdeVersion(MkdeVersion& record) {
    static EntryPoint<PvGetMkdeVersionFn> getMkdeVersion(kVersionLibrary, "PvGetMkdeVersion");
    record = MkdeVersion{};
    return Narrow(getMkdeVersion(kLocalEngine, &record));
}

}  // namespace engine

}  // namespace varnholt
