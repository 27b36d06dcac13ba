#pragma once
// The engine administration interface: one operation per exported DTI function. A binding
// passes each call straight to its library and returns the status unchanged; it never raises
// for an engine failure (a library that does not load raises the loader's error).
#include <cstdint>

#include "varnholt/String.h"
#include "varnholt/Variant.h"

namespace varnholt {

class IPVSWrapper {
public:
    virtual ~IPVSWrapper() = default;

    virtual Variant IPvStart() = 0;
    virtual Variant IPvStop() = 0;
    virtual int16_t IPvConnectServer(const String& serverName, const String& userName, const String& Password,
                                     int32_t& phConnection) = 0;
    virtual int16_t IPvDisconnect(int32_t& phConnection) = 0;
    virtual int16_t IPvCreateDatabase(int32_t hConnection, const String& DBName, const String& dictPath,
                                      const String& dataPath, int32_t dbFlags) = 0;
    // The three reads in the library's own terms: buffer holds at least pBufSize + 1 bytes,
    // DBName is NUL-terminated ANSI.
    virtual int32_t GetDbNameInto(int32_t hConnection, int32_t sequence, int32_t& pBufSize, char* buffer) = 0;
    virtual int16_t GetDbDataPathInto(int32_t hConnection, const char* DBName, int32_t& pBufSize, char* buffer) = 0;
    virtual int16_t GetDbDictionaryPathInto(int32_t hConnection, const char* DBName, int32_t& pBufSize,
                                            char* buffer) = 0;
    virtual int16_t IPvGetDbNamesData(int32_t hConnection, int32_t& pCount) = 0;
    virtual int16_t IPvDropDatabase(int32_t hConnection, const String& DBName, int16_t ooption) = 0;
    virtual int16_t IPvModifyDatabase(int32_t hConnection, const String& dbNameExisting, const String& dbNameNew,
                                      const String& dictPath, const String& dataPath, int32_t dbFlags) = 0;
    // True when this binding's library loads and exports PvDisconnect. Never raises.
    virtual bool DoesVersionDLLLoad() = 0;
};

}  // namespace varnholt
