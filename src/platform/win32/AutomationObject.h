#pragma once
// A core object that is an automation object underneath (an ADO connection or recordset, or an
// object a client passed in). Handing it to a client hands out its dispatch interface.
#include <oaidl.h>

namespace varnholt::platform {

class AutomationObject {
public:
    virtual ~AutomationObject() = default;
    // A new reference for the caller to own; nullptr stands for Nothing. Raises when the object
    // cannot be made available.
    virtual IDispatch* NewDispatchReference() = 0;
};

}  // namespace varnholt::platform
