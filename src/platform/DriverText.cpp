#include "platform/DriverText.h"

#include "varnholt/Error.h"

namespace varnholt::platform {

void RefuseUnsendableDriverText(StringView text, const char16_t* what) {
    constexpr int32_t kProviderError = -2147467259;  // 0x80004005, the provider's own failure
    const String subject = u"The " + String(what) + u" holds ";
    if (text.find(u'\0') != StringView::npos) Raise(kProviderError, u"Varnholt.DataAccess", subject + u"a NUL character.");
    std::string ansi;
    if (!ToAnsiExact(text, ansi))
        Raise(kProviderError, u"Varnholt.DataAccess", subject + u"a character the code page cannot hold.");
}

}  // namespace varnholt::platform
