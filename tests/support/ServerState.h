#pragma once
// A server object's two flags as one comparable text, "Started=True Connected=False".
#include <string>

#include "varnholt/CPVSServer.h"

namespace varnholt::test {

inline std::string State(const CPVSServer& s) {
    return std::string("Started=") + (s.Started ? "True" : "False") + " Connected=" + (s.Connected ? "True" : "False");
}

}  // namespace varnholt::test
