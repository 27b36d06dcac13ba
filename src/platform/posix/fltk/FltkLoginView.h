#pragma once
// The login dialog in an FLTK window on the X display named by DISPLAY.
#include <memory>

#include "platform/LoginDialog.h"

namespace varnholt::platform {

// nullptr when no X display can be opened, or when this process lost its display earlier.
// Never ends the process, whatever the display does.
std::shared_ptr<LoginView> OpenFltkLoginView();

}  // namespace varnholt::platform
