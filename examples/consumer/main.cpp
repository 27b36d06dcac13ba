// A program using the installed library: builds a connection string and turns a path and a
// folder name into what the applications store. Run it with a path as the first argument to
// see that path on its network share (drive letters come from the table VARNHOLT_DRIVES names).
#include <cstdio>

#include "varnholt/ConnectionHelper.h"
#include "varnholt/Error.h"
#include "varnholt/String.h"

int main(int argc, char** argv) {
    try {
        varnholt::ConnectionHelper helper;
        const varnholt::String path = varnholt::FromUtf8(argc > 1 ? argv[1] : "C:\\Data\\Harbourside");
        std::printf("PathToUNC: %s\n", varnholt::ToUtf8(helper.PathToUNC(path)).c_str());
        std::printf("LegitimiseDBName: %s\n", varnholt::ToUtf8(helper.LegitimiseDBName(u"Harbour-side 2024")).c_str());
        std::printf("PSQLConnectionString: %s\n",
                    varnholt::ToUtf8(helper.PSQLConnectionString(u"@HARBOURSIDE", u"FS01", u"", u"")).c_str());
        return 0;
    } catch (const varnholt::Error& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
}
