#include "platform/DataAccessText.h"

#include "varnholt/Error.h"

namespace varnholt::platform {

void RefuseUnsendableDriverText(StringView text, const char16_t* what) {
    const String subject = u"The " + String(what) + u" holds ";
    if (text.find(u'\0') != StringView::npos) Raise(kProviderError, kDataAccessSource, subject + u"a NUL character.");
    std::string ansi;
    if (!ToAnsiExact(text, ansi))
        Raise(kProviderError, kDataAccessSource, subject + u"a character the code page cannot hold.");
}

}  // namespace varnholt::platform
