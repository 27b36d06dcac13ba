#pragma once
// The enumerations and the record that cross the component's boundary.
#include <cstdint>

#include "varnholt/String.h"

namespace varnholt {

enum eDBNameAttribute : int32_t {
    eDBNA_Name = 1,
    eDBNA_DDF = 2,
    eDBNA_DAT = 3,
};

enum eLoginModes : int32_t {
    eUserPswd = 1,
    ePasswordOnly = 2,
    eUserLocked = 3,
};

struct udtLoginCreds {
    String User;
    String Pswd;
    bool Cancelled = false;
    bool operator==(const udtLoginCreds&) const = default;
};

}  // namespace varnholt
