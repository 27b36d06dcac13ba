#pragma once
// How ConnectionHelper's members name themselves in the errors they raise or pass on.
#include "automation/ErrorSource.h"
#include "varnholt/Error.h"

namespace varnholt::connection {

inline String SourceOf(std::u16string_view procedure) {
    return MemberSource(RaisingClass::ConnectionHelper, procedure);
}

// How CreatePSQLConnection reports a failure of the driver or data access: an engine status
// inside the driver's text becomes that status with the engine's text for it; anything else
// keeps its number and description.
[[noreturn]] void RaiseConnectionFailure(const Error& caught);

// Default engine credentials offered or tried by the provisioning members.
inline constexpr char16_t kDefaultUser[] = u"Beta";
inline constexpr char16_t kDefaultPassword[] = u"Marlwood4839";

}  // namespace varnholt::connection
