// The process the crash tests kill: it works through the real component until it is killed,
// and notes each step in a log before and after the step.
//   crash_worker names LOG TAG   create, rename and drop names on the local engine
//   crash_worker copy SOURCE/ TARGET/   copy the dictionary files
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstring>
#include <string>

#include "varnholt/CPVSServer.h"
#include "varnholt/ConnectionHelper.h"
#include "varnholt/Error.h"

namespace {

using namespace varnholt;

// One line per write, so that a kill never leaves half a line.
class Log {
public:
#ifdef _WIN32
    explicit Log(const char* path)
        : file_(::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~Log() {
        if (IsOpen()) ::CloseHandle(file_);
    }
    bool IsOpen() const { return file_ != INVALID_HANDLE_VALUE; }
    void Note(std::string line) {
        line += '\n';
        DWORD written = 0;
        if (!::WriteFile(file_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) ||
            written != line.size())
            std::fprintf(stderr, "log: error %lu\n", ::GetLastError());
    }

private:
    HANDLE file_;
#else
    explicit Log(const char* path) : fd_(::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644)) {}
    ~Log() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool IsOpen() const { return fd_ >= 0; }
    void Note(std::string line) {
        line += '\n';
        if (::write(fd_, line.data(), line.size()) != static_cast<ssize_t>(line.size())) std::perror("log");
    }

private:
    int fd_;
#endif

public:
    Log(const Log&) = delete;
    Log& operator=(const Log&) = delete;
};

// Each name is created, renamed with a new data path, and every second one dropped: the names
// left show every kind of change.
int Names(const char* logPath, const std::string& tag) {
    Log log(logPath);
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
