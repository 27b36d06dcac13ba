#pragma once
// How the two classes name themselves in the errors they raise or pass on:
// "Kestrin.Varnholt.<class>.<member>".
#include <string_view>

#include "varnholt/Error.h"
#include "varnholt/String.h"

namespace varnholt {

enum class RaisingClass { ConnectionHelper, CPVSServer };

inline String MemberSource(RaisingClass raiser, std::u16string_view member) {
    String source =
        raiser == RaisingClass::CPVSServer ? u"Kestrin.Varnholt.CPVSServer." : u"Kestrin.Varnholt.ConnectionHelper.";
    source += member;
    return source;
}

// The caught error again, with its number and description and the member's own source.
[[noreturn]] inline void RaiseWithSource(const Error& caught, const String& source) {
    throw Error(caught.Number(), source, caught.Description());
}

}  // namespace varnholt
