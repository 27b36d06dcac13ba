#include "varnholt/CPVSServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "automation/ErrorSource.h"
#include "engine/CPVSWrapper.h"
#include "engine/EntryPoints.h"
#include "engine/StatusText.h"
#include "varnholt/DataAccess.h"
#include "varnholt/Error.h"
#include "varnholt/Host.h"

namespace varnholt {

namespace {

String SourceOf(std::u16string_view member) { return MemberSource(RaisingClass::CPVSServer, member); }

constexpr int32_t kCreateFlags = 2;
constexpr int32_t kModifyFlags = static_cast<int32_t>(0x80000000u);
constexpr int32_t kNameBufferLength = 255;
// The rows of the array GetDBNames returns, subscripts 1 to 3 in this order.
enum NamesRow : size_t { kNameRow, kDataRow, kDictRow };
constexpr int32_t kNamesRows = 3;

std::shared_ptr<IPVSWrapper> MakeWrapper(int32_t generation) {
    if (generation >= 9) return std::make_shared<CPVS9Wrapper>();
    if (generation == 8) return std::make_shared<CPVS8Wrapper>();
    return std::make_shared<CPVS7Wrapper>();
}

// Text reaches the engine NUL-terminated in the code page: a NUL inside would hand it a shorter
// text, a character the code page lacks a '?' or a look-alike, either way another server, user
// or database name than the one asked for. Such an argument is refused.
std::string EngineText(const String& text, const char16_t* procName) {
    std::string ansi;
    if (text.find(u'\0') != String::npos || !ToAnsiExact(text, ansi))
        Raise(kInvalidProcedureCall, SourceOf(procName), RuntimeErrorText(kInvalidProcedureCall));
    return ansi;
}

void RefuseUnsendable(std::initializer_list<const String*> texts, const char16_t* procName) {
    for (const String* text : texts) EngineText(*text, procName);
}

}  // namespace

struct CPVSServer::MkdeVersionFields {
    int32_t major, minor, build;
    char platform;
};

CPVSServer::CPVSServer() = default;

// Ending releases the binding only: no disconnect, no stop.
CPVSServer::~CPVSServer() = default;

namespace {
thread_local int gLastEngineFailureErrno = 0;
}

int LastEngineFailureErrno() noexcept { return gLastEngineFailureErrno; }

void CPVSServer::RaiseStatusError(int32_t ErrNumber, const String& ProcName) {
    gLastEngineFailureErrno = errno;  // before anything here can change it
    Raise(ErrNumber, SourceOf(ProcName), GetPSQLErrorText(ErrNumber));
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
    if (Server.empty()) {
        lConn = engine::kLocalEngine;
    } else {
        RefuseUnsendable({&Server, &User, &Password}, u"Connect");
        status = GetWrapper()->IPvConnectServer(Server, User, Password, lConn);
    }
    if (status != 0) RaiseStatusError(status, u"Connect");
    Connected = true;
}

void CPVSServer::DisConnect() {
    if (Connected) {
        if (lConn == engine::kLocalEngine) {
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

namespace {

// One attribute of one name into text: the engine writes into a buffer of 255 blanks, of which
// the first size - 1 characters are kept (all 255 at most), never past the first NUL. name is
// the database name in ANSI, read for the two paths. Returns the engine's status; text is set
// only on success.
int32_t ReadDBName(IPVSWrapper& wrapper, int32_t hConnection, int32_t Index, int32_t Attrib, const char* name,
                   String& text) {
    char buffer[kNameBufferLength + 1];  // the terminator makes it size + 1 bytes
    std::memset(buffer, ' ', kNameBufferLength);
    buffer[kNameBufferLength] = '\0';
    int32_t size = kNameBufferLength;
    int32_t status = 0;
    switch (Attrib) {
        case eDBNA_Name: status = wrapper.GetDbNameInto(hConnection, Index, size, buffer); break;
        case eDBNA_DDF: status = wrapper.GetDbDictionaryPathInto(hConnection, name, size, buffer); break;
        default: status = wrapper.GetDbDataPathInto(hConnection, name, size, buffer); break;
    }
    if (status != 0) return status;
    if (size < 1) {
        text.clear();
        return 0;
    }
    // In a multibyte code page characters are fewer than bytes: widen up to the NUL, then count
    // characters, as the whole buffer widened and cut would.
    const auto* nul = static_cast<const char*>(std::memchr(buffer, '\0', kNameBufferLength));
    FromAnsi(std::string_view(buffer, nul ? static_cast<size_t>(nul - buffer) : kNameBufferLength), text);
    if (!nul) text.resize(kNameBufferLength, u' ');
    text.resize(std::min(text.size(), static_cast<size_t>(size) - 1));
    return 0;
}

}  // namespace

Variant CPVSServer::GetDBName(int32_t Index, int32_t Attrib, const String& DBName) {
    if (Attrib != eDBNA_Name && Attrib != eDBNA_DDF && Attrib != eDBNA_DAT)
        return Variant(String());  // no engine call for an unknown attribute
    const std::shared_ptr<IPVSWrapper> wrapper = GetWrapper();
    const std::string name = Attrib == eDBNA_Name ? std::string() : EngineText(DBName, u"GetDBName");
    String text;
    const int32_t status = ReadDBName(*wrapper, lConn, Index, Attrib, name.c_str(), text);
    if (status != 0) RaiseStatusError(status, u"GetDBName");
    return Variant(text);
}

Variant CPVSServer::GetDBNames(bool ReturnArray) {
    const int32_t count = GetDBNamesCount();
    SafeArray<Variant> names;
    if (count > 0) names = SafeArray<Variant>({Bound{1, kNamesRows}, Bound{1, count}});

    // Both forms are always built; ReturnArray only chooses which one the caller gets.
    auto recordset = CreateRecordset();
    recordset->AppendField(u"id", adInteger, 0, adFldUnspecified);
    recordset->AppendField(u"name", adVarChar, 1000, adFldUnspecified);
    recordset->AppendField(u"DDF", adVarChar, 1000, adFldUnspecified);
    recordset->AppendField(u"DAT", adVarChar, 1000, adFldUnspecified);
    recordset->Open();

    // Each step is GetDBName's, with its error source; the names read here came from the code
    // page and hold no NUL, so they go back exactly.
    const std::shared_ptr<IPVSWrapper> wrapper = GetWrapper();
    static const std::vector<String> kRowFields = {u"id", u"name", u"DAT", u"DDF"};
    std::vector<Variant> row;
    String name, dataPath, dictPath;
    std::string ansiName;
    for (int32_t n = 1; n <= count; ++n) {
        int32_t status = ReadDBName(*wrapper, lConn, n, eDBNA_Name, "", name);
        if (status == 0) {
            ansiName = ToAnsi(name);
            status = ReadDBName(*wrapper, lConn, n, eDBNA_DAT, ansiName.c_str(), dataPath);
        }
        if (status == 0) status = ReadDBName(*wrapper, lConn, n, eDBNA_DDF, ansiName.c_str(), dictPath);
        if (status != 0) RaiseStatusError(status, u"GetDBName");
        // Column n's elements lie side by side: the leftmost subscript runs fastest. The row
        // shares their text.
        Variant* element = names.Elements().data() + kNamesRows * static_cast<size_t>(n - 1);
        element[kNameRow] = Variant(name);
        element[kDataRow] = Variant(dataPath);
        element[kDictRow] = Variant(dictPath);
        row.resize(kRowFields.size());
        row[0] = Variant(n);
        row[1] = element[kNameRow];
        row[2] = element[kDataRow];
        row[3] = element[kDictRow];
        recordset->AddNew(kRowFields, std::move(row));
    }
    recordset->UpdateBatch(adAffectAll);
    if (count > 0) recordset->MoveFirst();

    if (ReturnArray) return count > 0 ? Variant(std::move(names)) : Variant();
    return Variant(std::static_pointer_cast<Object>(recordset));
}

void CPVSServer::CreateDBName(const String& Name, const String& DDFs, const String& DATs) {
    try {
        RefuseUnsendable({&Name, &DDFs, &DATs}, u"CreateDBName");
        const int16_t status = GetWrapper()->IPvCreateDatabase(lConn, Name, DDFs, DATs, kCreateFlags);
        if (status != 0) RaiseStatusError(status, u"CreateDBName");
    } catch (const Error& e) {
        RaiseWithSource(e, SourceOf(u"CreateDBName"));
    }
}

void CPVSServer::DropDBName(const String& Name) {
    RefuseUnsendable({&Name}, u"DropDBName");
    const int16_t status = GetWrapper()->IPvDropDatabase(lConn, Name, 0);
    if (status != 0) RaiseStatusError(status, u"DropDBName");
}

void CPVSServer::ModifyDataBase(const String& Name, const Variant& NewName, const Variant& DDF, const Variant& DAT) {
    const String newName = NewName.ToText(), dict = DDF.ToText(), data = DAT.ToText();
    RefuseUnsendable({&Name, &newName, &dict, &data}, u"ModifyDatabase");
    const int16_t status = GetWrapper()->IPvModifyDatabase(lConn, Name, newName, dict, data, kModifyFlags);
    if (status != 0) RaiseStatusError(status, u"ModifyDatabase");
}

CPVSServer::MkdeVersionFields CPVSServer::QueryEngineVersion(const String& ProcName) {
    engine::MkdeVersion record;
    const int16_t status = engine::QueryMkdeVersion(record);
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
