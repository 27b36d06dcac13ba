#include "varnholt/CPVSServer.h"

#include <algorithm>

#include "engine/CPVSWrapper.h"
#include "engine/EntryPoints.h"
#include "engine/StatusText.h"
#include "platform/DynamicLibrary.h"
#include "varnholt/DataAccess.h"
#include "varnholt/Error.h"

namespace varnholt {

namespace {

constexpr char16_t kSourcePrefix[] = u"Kestrin.Varnholt.CPVSServer.";
constexpr int32_t kLocalHandle = -1;
constexpr int32_t kCreateFlags = 2;
constexpr int32_t kModifyFlags = static_cast<int32_t>(0x80000000u);
constexpr int32_t kNameBufferLength = 255;

std::shared_ptr<IPVSWrapper> MakeWrapper(int32_t generation) {
    if (generation >= 9) return std::make_shared<CPVS9Wrapper>();
    if (generation == 8) return std::make_shared<CPVS8Wrapper>();
    return std::make_shared<CPVS7Wrapper>();
}

}  // namespace

struct CPVSServer::MkdeVersionFields {
    int32_t major, minor, build;
    char platform;
};

CPVSServer::CPVSServer() = default;

// Ending releases the binding only: no disconnect, no stop.
CPVSServer::~CPVSServer() = default;

void CPVSServer::RaiseStatusError(int32_t ErrNumber, const String& ProcName) {
    Raise(ErrNumber, kSourcePrefix + ProcName, GetPSQLErrorText(ErrNumber));
}

void CPVSServer::DetectEngineVersion() {
    if (bProbed) return;
    bProbed = true;
    lWrapperVersion = 7;
    lEngineMajor = 7;
    try {
        for (int32_t generation : {7, 8, 9}) {
            if (MakeWrapper(generation)->DoesVersionDLLLoad()) {
                lWrapperVersion = generation;
                lEngineMajor = generation;
                bVersionFound = true;
            }
        }
    } catch (...) {
        // The probe never fails: what it found so far stands.
    }
}

std::shared_ptr<IPVSWrapper> CPVSServer::GetWrapper() {
    if (!oWrapper) oWrapper = MakeWrapper(lWrapperVersion);
    return oWrapper;
}

void CPVSServer::Connect() {
    DetectEngineVersion();
    const int32_t startStatus = GetWrapper()->IPvStart().ToLong();
    if (startStatus != 0) RaiseStatusError(startStatus, u"Connect");
    Started = true;

    int32_t status = 0;
    if (Server.empty())
        lConn = kLocalHandle;
    else
        status = GetWrapper()->IPvConnectServer(Server, User, Password, lConn);
    if (status != 0) RaiseStatusError(status, u"Connect");
    Connected = true;
}

void CPVSServer::DisConnect() {
    if (Connected) {
        if (lConn == kLocalHandle) {
            Connected = false;
        } else {
            const int16_t status = GetWrapper()->IPvDisconnect(lConn);
            if (status != 0) RaiseStatusError(status, u"DisConnect");
            Connected = false;
        }
    }
    if (Started) {
        const int32_t status = GetWrapper()->IPvStop().ToLong();
        if (status != 0) RaiseStatusError(status, u"DisConnect");
        Started = false;
    }
}

int32_t CPVSServer::EngineVersionMajor() {
    DetectEngineVersion();
    return bVersionFound ? lEngineMajor : -1;
}

int32_t CPVSServer::GetDBNamesCount() {
    int32_t count = 0;
    const int16_t status = GetWrapper()->IPvGetDbNamesData(lConn, count);
    if (status != 0) RaiseStatusError(status, u"GetDBNamesCount");
    return count;
}

Variant CPVSServer::GetDBName(int32_t Index, int32_t Attrib, const String& DBName) {
    int32_t size = kNameBufferLength;
    String text(kNameBufferLength, u' ');
    int32_t status = 0;
    switch (Attrib) {
        case eDBNA_Name: status = GetWrapper()->IPvGetDbName(lConn, Index, size, text); break;
        case eDBNA_DDF: status = GetWrapper()->IPvGetDbDictionaryPath(lConn, DBName, size, text); break;
        case eDBNA_DAT: status = GetWrapper()->IPvGetDbDataPath(lConn, DBName, size, text); break;
        default: return Variant(String());  // no engine call for an unknown attribute
    }
    if (status != 0) RaiseStatusError(status, u"GetDBName");
    // The fixed 255-character buffer: longer texts are cut, shorter ones padded.
    text.resize(kNameBufferLength, u' ');
    if (size < 1) return Variant(String());
    const size_t keep = std::min<size_t>(static_cast<size_t>(size) - 1, text.size());
    // Never let a terminator or the buffer's fill into a name.
    const size_t nul = text.find(u'\0');
    return Variant(text.substr(0, std::min(keep, nul)));
}

Variant CPVSServer::GetDBNames(bool ReturnArray) {
    const int32_t count = GetDBNamesCount();
    SafeArray<Variant> names;
    if (count > 0) names = SafeArray<Variant>({Bound{1, 3}, Bound{1, count}});

    auto recordset = CreateRecordset();
    recordset->AppendField(u"id", adInteger, 0, adFldUnspecified);
    recordset->AppendField(u"name", adVarChar, 1000, adFldUnspecified);
    recordset->AppendField(u"DDF", adVarChar, 1000, adFldUnspecified);
    recordset->AppendField(u"DAT", adVarChar, 1000, adFldUnspecified);
    recordset->Open();

    static const std::vector<String> kRowFields = {u"id", u"name", u"DAT", u"DDF"};
    for (int32_t n = 1; n <= count; ++n) {
        names.At(1, n) = GetDBName(n, eDBNA_Name, u"");
        const String name = names.At(1, n).ToText();
        names.At(2, n) = GetDBName(n, eDBNA_DAT, name);
        names.At(3, n) = GetDBName(n, eDBNA_DDF, name);
        recordset->AddNew(kRowFields, {Variant(n), names.At(1, n), names.At(2, n), names.At(3, n)});
    }
    recordset->UpdateBatch(adAffectAll);
    if (count > 0) recordset->MoveFirst();

    if (ReturnArray) return count > 0 ? Variant(std::move(names)) : Variant();
    return Variant(std::static_pointer_cast<Object>(recordset));
}

void CPVSServer::CreateDBName(const String& Name, const String& DDFs, const String& DATs) {
    try {
        const int16_t status = GetWrapper()->IPvCreateDatabase(lConn, Name, DDFs, DATs, kCreateFlags);
        if (status != 0) RaiseStatusError(status, u"CreateDBName");
    } catch (const Error& e) {
        throw Error(e.Number(), kSourcePrefix + String(u"CreateDBName"), e.Description());
    }
}

void CPVSServer::DropDBName(const String& Name) {
    const int16_t status = GetWrapper()->IPvDropDatabase(lConn, Name, 0);
    if (status != 0) RaiseStatusError(status, u"DropDBName");
}

void CPVSServer::ModifyDataBase(const String& Name, const Variant& NewName, const Variant& DDF, const Variant& DAT) {
    const String newName = NewName.ToText(), dict = DDF.ToText(), data = DAT.ToText();
    const int16_t status = GetWrapper()->IPvModifyDatabase(lConn, Name, newName, dict, data, kModifyFlags);
    if (status != 0) RaiseStatusError(status, u"ModifyDatabase");
}

CPVSServer::MkdeVersionFields CPVSServer::QueryEngineVersion(const String& ProcName) {
    static platform::EntryPoint getMkdeVersion(engine::kVersionLibrary, "PvGetMkdeVersion");
    engine::MkdeVersion record{};
    const auto fn = getMkdeVersion.As<engine::PvGetMkdeVersionFn>();
    const int16_t status = static_cast<int16_t>(fn(kLocalHandle, &record));
    if (status != 0) RaiseStatusError(status, ProcName);
    Connected = true;
    return {record.major, record.minor, record.build, record.platform};
}

int32_t CPVSServer::GetEngineMajorVersion() { return QueryEngineVersion(u"GetEngineMajorVersion").major; }

String CPVSServer::GetEngineVersion() {
    const auto v = QueryEngineVersion(u"GetEngineVersion");
    return Decimal(v.major) + u"." + Decimal(v.minor) + u"." + Decimal(v.build);
}

String CPVSServer::GetEngineOS() {
    const char platform = QueryEngineVersion(u"GetEngineOS").platform;
    return FromAnsi(std::string_view(&platform, 1));
}

}  // namespace varnholt
