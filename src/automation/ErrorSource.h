#pragma once
// How the two classes name themselves in the errors they raise: "Kestrin.Varnholt.<class>.<member>".
#include <string_view>

#include "varnholt/String.h"

namespace varnholt {

enum class RaisingClass { ConnectionHelper, CPVSServer };

inline String MemberSource(RaisingClass raiser, std::u16string_view member) {
    String source =
        raiser == RaisingClass::CPVSServer ? u"Kestrin.Varnholt.CPVSServer." : u"Kestrin.Varnholt.ConnectionHelper.";
    source += member;
    return source;
}

}  // namespace varnholt
