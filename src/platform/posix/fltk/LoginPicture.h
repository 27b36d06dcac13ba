#pragma once
// The banner picture of the login dialog: 77 x 72 pixels, as XPM lines.

namespace varnholt::platform {

extern const char* const kLoginPictureXpm[];

}  // namespace varnholt::platform
