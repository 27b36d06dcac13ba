#pragma once
// The three bindings: one implementation, differing only in the library file they call.
#include <memory>

#include "engine/EntryPoints.h"
#include "engine/IPVSWrapper.h"

namespace varnholt {

class CPVSWrapper : public IPVSWrapper {
public:
    Variant IPvStart() override;
    Variant IPvStop() override;
    int16_t IPvConnectServer(const String& serverName, const String& userName, const String& Password,
                             int32_t& phConnection) override;
    int16_t IPvDisconnect(int32_t& phConnection) override;
    int16_t IPvCreateDatabase(int32_t hConnection, const String& DBName, const String& dictPath, const String& dataPath,
                              int32_t dbFlags) override;
    int32_t GetDbNameInto(int32_t hConnection, int32_t sequence, int32_t& pBufSize, char* buffer) override;
    int16_t GetDbDataPathInto(int32_t hConnection, const char* DBName, int32_t& pBufSize, char* buffer) override;
    int16_t GetDbDictionaryPathInto(int32_t hConnection, const char* DBName, int32_t& pBufSize, char* buffer) override;
    int16_t IPvGetDbNamesData(int32_t hConnection, int32_t& pCount) override;
    int16_t IPvDropDatabase(int32_t hConnection, const String& DBName, int16_t ooption) override;
    int16_t IPvModifyDatabase(int32_t hConnection, const String& dbNameExisting, const String& dbNameNew,
                              const String& dictPath, const String& dataPath, int32_t dbFlags) override;
    bool DoesVersionDLLLoad() override;

    struct Library;  // the library's entry points, resolved on first call

protected:
    explicit CPVSWrapper(Library& library) : library_(library) {}

private:
    Library& library_;
};

class CPVS7Wrapper final : public CPVSWrapper {
public:
    CPVS7Wrapper();
};
class CPVS8Wrapper final : public CPVSWrapper {
public:
    CPVS8Wrapper();
};
class CPVS9Wrapper final : public CPVSWrapper {
public:
    CPVS9Wrapper();
};

namespace engine {

// PvGetMkdeVersion of the version library for the local engine, into a zero-filled record; the
// library's status.
int16_t QueryMkdeVersion(MkdeVersion& record);

}  // namespace engine

}  // namespace varnholt
