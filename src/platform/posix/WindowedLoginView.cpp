#include "platform/LoginDialog.h"

#ifdef VARNHOLT_WITH_FLTK
#include "platform/posix/fltk/FltkLoginView.h"
#endif

namespace varnholt::platform {

// Built without FLTK, the terminal prompt (or Cancel) answers instead.
std::shared_ptr<LoginView> OpenWindowedLoginView() {
#ifdef VARNHOLT_WITH_FLTK
    return OpenFltkLoginView();
#else
    return nullptr;
#endif
}

}  // namespace varnholt::platform
