#include "platform/DataAccessText.h"

#include "varnholt/Error.h"

namespace varnholt::platform {

void RefuseNulInConnectionString(const String& text) {
    if (text.find(u'\0') != String::npos)
        Raise(kProviderError, kDataAccessSource, u"The connection string holds a NUL character.");
}

void RefuseNulInStatement(const String& text) {
    if (text.find(u'\0') != String::npos) Raise(kProviderError, kDataAccessSource, u"The statement holds a NUL character.");
}

}  // namespace varnholt::platform
