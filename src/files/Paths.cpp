#include <algorithm>
#include <string>

#include "connection/ErrorReporting.h"
#include "platform/System.h"
#include "varnholt/ConnectionHelper.h"

namespace varnholt {

using namespace connection;

String ConnectionHelper::ComputerName() {
    constexpr uint32_t kCapacity = 512;
    char buffer[kCapacity] = {};
    uint32_t length = kCapacity;
    if (!platform::System().GetComputerNameA(buffer, &length)) return u"";
    return FromAnsi(std::string_view(buffer, std::min(length, kCapacity)));
}

int32_t ConnectionHelper::DriveType(const String& drive) {
    return static_cast<int32_t>(platform::System().GetDriveTypeA(ToAnsi(drive).c_str()));
}

String ConnectionHelper::PathToUNC(const String& Path) {
    const String trimmed = Trim(Path);
    if (trimmed.size() < 2 || trimmed[1] != u':') return trimmed;
    const String drive = trimmed.substr(0, 2);
    switch (DriveType(drive)) {
        case platform::kDriveRemote: {
            String rest = trimmed.substr(2);
            if (rest.empty() || rest[0] != u'\\') rest = u"\\" + rest;
            return GetUNCPathOfDriveLetter(drive) + rest;
        }
        case platform::kDriveUnknown:
        case platform::kDriveNoRootDir: Raise(kObjectErrorBase + 1, SourceOf(u"PathToUNC"), Literal(24) + u" " + drive);
        default: return trimmed;
    }
}

String ConnectionHelper::GetUNCPathOfDriveLetter(const String& drive) {
    constexpr uint32_t kCapacity = 1000;
    std::string buffer(kCapacity, ' ');
    uint32_t length = kCapacity;
    const uint32_t code = platform::System().WNetGetConnectionA(ToAnsi(drive).c_str(), buffer.data(), &length);
    if (code == 0) {
        const size_t end = buffer.find('\0');
        if (end != std::string::npos) buffer.resize(end);
        return FromAnsi(buffer);
    }
    String description;
    switch (code) {
        case platform::kErrorBadDevice: description = Literal(25); break;
        case platform::kErrorConnectionUnavail: description = Literal(26); break;
        case platform::kErrorExtendedError: description = Literal(27); break;
        case platform::kErrorMoreData: description = Literal(28); break;
        case platform::kErrorNotSupported: description = Literal(29); break;
        case platform::kErrorNoNetOrBadPath: description = Literal(30); break;
        case platform::kErrorNoNetwork: description = Literal(31); break;
        case platform::kErrorNotConnected: description = Literal(32); break;
        default: break;
    }
    // System error codes are 16-bit, the width of the object-defined range.
    Raise(kObjectErrorBase + static_cast<int32_t>(code & 0xFFFF), SourceOf(u"GetUNCPathOfDriveLetter"), description);
}

String ConnectionHelper::GetServerName(const String& ServerPath) {
    try {
        String result;
        if (ServerPath.find(u':') != String::npos) {
            String unc = PathToUNC(ServerPath);
            if (!unc.empty()) {
                result = RemoveDir(unc);
                if (result.find(u':') != String::npos) result.clear();
            }
        }
        return result;
    } catch (const Error& e) {
        Raise(2300, SourceOf(u"GetServerName"), e.Description());
    }
}

String ConnectionHelper::RemoveDir(String& strServer) {
    try {
        for (;;) {
            const size_t position = strServer.rfind(u'\\');
            if (position == String::npos) break;
            // The character before a leading "\" is addressed as position 0, which the run
            // time refuses.
            if (position == 0) RaiseRuntime(kInvalidProcedureCall);
            if (strServer[position - 1] == u'\\') {
                std::erase(strServer, u'\\');
                strServer = Trim(strServer);
                break;
            }
            strServer.resize(position);
        }
        return strServer;
    } catch (const Error& e) {
        Raise(kObjectErrorBase + 22000, SourceOf(u"RemoveDir"), e.Description());
    }
}

String ConnectionHelper::FolderName(const String& Path) {
    // The run time walks this with a 16-bit position.
    for (int16_t i = CheckedInteger(static_cast<long long>(Path.size())); i >= 1; --i) {
        const char16_t c = Path[static_cast<size_t>(i - 1)];
        if (c == u'\\' || c == u'/') return Path.substr(static_cast<size_t>(i));
    }
    return Path;
}

}  // namespace varnholt
