#include <cstdlib>

#include "Objects.h"
#include "odbc/DriverSession.h"
#include "odbc/DriverText.h"
#include "platform/drivetable/DriveTable.h"
#include "store/Text.h"

namespace adoserver {
namespace {

enum : DISPID { kConnectionString = DISPID_VALUE, kState = 1, kOpen, kClose, kExecute };
constexpr Member kMembers[] = {
    {L"ConnectionString", kConnectionString, true},
    {L"State", kState, true},
    {L"Open", kOpen, false},
    {L"Close", kClose, false},
    {L"Execute", kExecute, false},
};
constexpr wchar_t kSource[] = L"ADODB.Connection";
constexpr char kDriverName[] = "Pervasive ODBC Client Interface";
// The driver manager keeps this much of a driver's message (SQL_MAX_MESSAGE_LENGTH, its NUL included).
constexpr size_t kMessageLimit = 511;

// Wine has no network shares: a UNC path reaches the share's folder through the drive table
// that the tests name in VARNHOLT_DRIVES. Every other path is used as it is.
std::string LocalPath(const std::string& enginePath) {
    const bool unc = enginePath.size() >= 2 && (enginePath[0] == '\\' || enginePath[0] == '/') &&
                     (enginePath[1] == '\\' || enginePath[1] == '/');
    const char* table = std::getenv("VARNHOLT_DRIVES");
    if (!unc || !table || !*table) return enginePath;
    const std::string local = varnholt::platform::DriveTable::Load().ToLocalPath(enginePath);
    return local.empty() ? enginePath : local;
}

bool NamesTheDriver(const std::string& text) {
    std::string driver = varnholt::standin::Attribute(text, "Driver").value_or("");
    if (driver.size() >= 2 && driver.front() == '{' && driver.back() == '}')
        driver = driver.substr(1, driver.size() - 2);
    return varnholt::standin::SameText(driver, kDriverName);
}

}  // namespace

std::string DriverText(const std::wstring& text) { return Utf8(text.substr(0, text.find(L'\0'))); }

void RaiseProvider(const std::string& message) {
    std::wstring text = Wide(message);
    if (text.size() > kMessageLimit) text.resize(kMessageLimit);
    throw AdoError{kProviderFailure, kProviderSource, text};
}

Connection::Connection() : DispatchObject(Kind::kConnection, kSource, kMembers, std::size(kMembers)) {}

void* Connection::OwnInterface(REFIID iid) {
    return IsEqualIID(iid, kConnectionIid) ? static_cast<IDispatch*>(this) : nullptr;
}

void Connection::Call(DISPID id, bool put, const Args& args, VariantValue& result) {
    switch (id) {
        case kConnectionString:
            if (!put) {
                result = TextValue(connectionString_);
                return;
            }
            if (open_) RaiseAdo(3705, kSource, kNotAllowedOpen);
            connectionString_ = ToText(args.PutValue());
            Journal("Connection.ConnectionString", {connectionString_});
            return;
        case kState: result = LongValue(open_ ? 1 : 0); return;
        case kOpen: Open(args); return;
        case kClose:
            args.AtMost(0);
            if (!open_) RaiseAdo(3704, kSource, kNotAllowedClosed);
            Journal("Connection.Close");
            open_ = false;
            dataFolder_.clear();
            return;
        case kExecute: {
            args.AtMost(3);
            args.Require(1);
            const std::wstring sql = args.Text(0);
            if (!open_) RaiseAdo(3704, kSource, kNotAllowedClosed);
            Journal("Connection.Execute", {sql});
            if (auto failure = varnholt::standin::DriverExecute(dataFolder_, DriverText(sql)).failure)
                RaiseProvider(failure->message);
            result = DispatchValue(NewQueryResult());
            return;
        }
        default: throw DispatchFailure{DISP_E_MEMBERNOTFOUND};
    }
}

void Connection::Open(const Args& args) {
    args.AtMost(4);
    if (open_) RaiseAdo(3705, kSource, kNotAllowedOpen);
    if (args.Has(0)) {
        const std::wstring given = args.Text(0);
        if (!given.empty()) connectionString_ = given;
    }
    // Credentials are not the engine's business here: the names store decides what opens.
    for (size_t i = 1; i < 3; ++i)
        if (args.Has(i)) args.Text(i);
    args.Long(3, -1);
    Journal("Connection.Open", {connectionString_});
    const std::string text = DriverText(connectionString_);
    if (!NamesTheDriver(text))
        RaiseProvider("[Microsoft][ODBC Driver Manager] Data source name not found and no default driver specified");
    varnholt::standin::DriverConnection outcome = varnholt::standin::DriverConnect(text, LocalPath);
    if (outcome.failure) RaiseProvider(outcome.failure->message);
    dataFolder_ = std::move(outcome.dataFolder);
    open_ = true;
}

IDispatch* NewConnection() { return new Connection(); }

}  // namespace adoserver
