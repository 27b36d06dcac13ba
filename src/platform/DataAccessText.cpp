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

void RaiseObjectOpen() { Raise(3705, kDataAccessSource, u"Operation is not allowed when the object is open."); }

void RaiseObjectClosed() { Raise(3704, kDataAccessSource, u"Operation is not allowed when the object is closed."); }

void RaiseNoCurrentRecord() {
    Raise(3021, kDataAccessSource,
          u"Either BOF or EOF is True, or the current record has been deleted. "
          u"Requested operation requires a current record.");
}

void RaiseItemNotFound() {
    Raise(3265, kDataAccessSource,
          u"Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

}  // namespace varnholt::platform
