#pragma once
// One administration session with a database engine.
#include <cstdint>
#include <memory>

#include "varnholt/String.h"
#include "varnholt/Types.h"
#include "varnholt/Variant.h"

namespace varnholt {

class IPVSWrapper;

class CPVSServer {
public:
    CPVSServer();
    ~CPVSServer();
    CPVSServer(const CPVSServer&) = delete;
    CPVSServer& operator=(const CPVSServer&) = delete;

    // Public fields; setting one has no side effect.
    String Server;
    String User;
    String Password;
    int32_t lConn = 0;
    bool Connected = false;
    bool Started = false;

    void Connect();
    void DisConnect();
    Variant GetDBName(int32_t Index, int32_t Attrib = eDBNA_Name, const String& DBName = u"");
    int32_t GetDBNamesCount();
    // The array (1 To 3, 1 To count) when ReturnArray, else the recordset; empty for no names
    // in the array form.
    Variant GetDBNames(bool ReturnArray = false);
    void CreateDBName(const String& Name, const String& DDFs, const String& DATs);
    void DropDBName(const String& Name);
    void ModifyDataBase(const String& Name, const Variant& NewName = Variant(u""), const Variant& DDF = Variant(u""),
                        const Variant& DAT = Variant(u""));
    int32_t GetEngineMajorVersion();
    String GetEngineVersion();
    String GetEngineOS();
    int32_t EngineVersionMajor();

private:
    void DetectEngineVersion();
    std::shared_ptr<IPVSWrapper> GetWrapper();
    [[noreturn]] void RaiseStatusError(int32_t ErrNumber, const String& ProcName);
    struct MkdeVersionFields;
    MkdeVersionFields QueryEngineVersion(const String& ProcName);

    int32_t lWrapperVersion = 0;
    int32_t lEngineMajor = 0;
    bool bVersionFound = false;
    std::shared_ptr<IPVSWrapper> oWrapper;
    bool bProbed = false;
};

}  // namespace varnholt
