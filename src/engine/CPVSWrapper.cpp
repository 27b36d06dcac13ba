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
    EntryPoint start, stop, connectServer, disconnect, createDatabase, getDbName, getDbDataPath, getDbDictionaryPath,
        getDbNamesData, dropDatabase, modifyDatabase;
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

Variant CPVSWrapper::IPvStart() { return Variant(library_.start.As<PvStartFn>()(0)); }

Variant CPVSWrapper::IPvStop() { return Variant(library_.stop.As<PvStopFn>()(0)); }

int16_t CPVSWrapper::IPvConnectServer(const String& serverName, const String& userName, const String& Password,
                                      int32_t& phConnection) {
    auto fn = library_.connectServer.As<PvConnectServerFn>();
    return Narrow(fn(ToAnsi(serverName).c_str(), ToAnsi(userName).c_str(), ToAnsi(Password).c_str(), &phConnection));
}

int16_t CPVSWrapper::IPvDisconnect(int32_t& phConnection) {
    return Narrow(library_.disconnect.As<PvDisconnectFn>()(phConnection));
}

int16_t CPVSWrapper::IPvCreateDatabase(int32_t hConnection, const String& DBName, const String& dictPath,
                                       const String& dataPath, int32_t dbFlags) {
    auto fn = library_.createDatabase.As<PvCreateDatabaseFn>();
    return Narrow(fn(hConnection, ToAnsi(DBName).c_str(), ToAnsi(dictPath).c_str(), ToAnsi(dataPath).c_str(), dbFlags));
}

int32_t CPVSWrapper::GetDbNameInto(int32_t hConnection, int32_t sequence, int32_t& pBufSize, char* buffer) {
    return library_.getDbName.As<PvGetDbNameFn>()(hConnection, sequence, &pBufSize, buffer);
}

int16_t CPVSWrapper::GetDbDataPathInto(int32_t hConnection, const char* DBName, int32_t& pBufSize, char* buffer) {
    return Narrow(library_.getDbDataPath.As<PvGetDbPathFn>()(hConnection, DBName, &pBufSize, buffer));
}

int16_t CPVSWrapper::GetDbDictionaryPathInto(int32_t hConnection, const char* DBName, int32_t& pBufSize, char* buffer) {
    return Narrow(library_.getDbDictionaryPath.As<PvGetDbPathFn>()(hConnection, DBName, &pBufSize, buffer));
}

int16_t CPVSWrapper::IPvGetDbNamesData(int32_t hConnection, int32_t& pCount) {
    return Narrow(library_.getDbNamesData.As<PvGetDbNamesDataFn>()(hConnection, &pCount));
}

int16_t CPVSWrapper::IPvDropDatabase(int32_t hConnection, const String& DBName, int16_t ooption) {
    return Narrow(library_.dropDatabase.As<PvDropDatabaseFn>()(hConnection, ToAnsi(DBName).c_str(), ooption));
}

int16_t CPVSWrapper::IPvModifyDatabase(int32_t hConnection, const String& dbNameExisting, const String& dbNameNew,
                                       const String& dictPath, const String& dataPath, int32_t dbFlags) {
    auto fn = library_.modifyDatabase.As<PvModifyDatabaseFn>();
    return Narrow(fn(hConnection, ToAnsi(dbNameExisting).c_str(), ToAnsi(dbNameNew).c_str(), ToAnsi(dictPath).c_str(),
                     ToAnsi(dataPath).c_str(), dbFlags));
}

bool CPVSWrapper::DoesVersionDLLLoad() {
    try {
        library_.disconnect.As<PvDisconnectFn>()(-1);  // the status does not matter, only that it ran
        return true;
    } catch (...) {
        return false;
    }
}

}  // namespace varnholt
