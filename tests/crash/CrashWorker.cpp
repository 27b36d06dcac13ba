// The process the crash tests kill: it works through the real component until it is killed,
// and notes each step in a log before and after the step.
//   crash_worker names LOG TAG   create, rename and drop names on the local engine
//   crash_worker copy SOURCE/ TARGET/   copy the dictionary files
#include <cstdio>
#include <cstring>
#include <string>

#include "ChildProcess.h"
#include "varnholt/CPVSServer.h"
#include "varnholt/ConnectionHelper.h"
#include "varnholt/Error.h"

namespace {

using namespace varnholt;

// Each name is created, renamed with a new data path, and every second one dropped: the names
// left show every kind of change.
int Names(const char* logPath, const std::string& tag) {
    test::LineLog log(logPath);
    if (!log.IsOpen()) return 2;
    CPVSServer server;
    server.Connect();
    for (int i = 0; i < 100000; ++i) {
        const std::string created = tag + "N" + std::to_string(i), renamed = tag + "M" + std::to_string(i);
        log.Note("create " + created + " /dict/" + created + " /data/" + created);
        server.CreateDBName(FromUtf8(created), FromUtf8("/dict/" + created), FromUtf8("/data/" + created));
        log.Note("done");
        log.Note("rename " + created + " " + renamed + " /moved/" + renamed);
        server.ModifyDataBase(FromUtf8(created), Variant(FromUtf8(renamed)), Variant(u""),
                              Variant(FromUtf8("/moved/" + renamed)));
        log.Note("done");
        if (i % 2 == 0) {
            log.Note("drop " + renamed);
            server.DropDBName(FromUtf8(renamed));
            log.Note("done");
        }
    }
    return 0;
}

int Copy(const char* source, const char* target) {
    ConnectionHelper helper;
    return helper.CopyDictionaryFiles(FromUtf8(source), FromUtf8(target)) ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 4 && std::strcmp(argv[1], "names") == 0) return Names(argv[2], argv[3]);
        if (argc == 4 && std::strcmp(argv[1], "copy") == 0) return Copy(argv[2], argv[3]);
        std::fprintf(stderr, "usage: crash_worker names LOG TAG | copy SOURCE/ TARGET/\n");
        return 2;
    } catch (const Error& e) {
        std::fprintf(stderr, "crash_worker: %s\n", e.what());
        return 1;
    }
}
