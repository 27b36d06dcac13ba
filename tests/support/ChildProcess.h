#pragma once
// Other processes for the tests that need them: started from a program file, killed at any
// moment, dying with the test if the test dies first; and the one-line-per-write log by which
// a child tells what it finished.
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

namespace varnholt::test {

enum class ChildEnd { Killed, Succeeded, Failed };

class ChildProcess {
public:
    // Failing to start is reported by Kill and Wait as Failed.
    ChildProcess(const std::string& program, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ChildEnd Kill();  // unless it ended already
    ChildEnd Wait();

private:
#ifdef _WIN32
    HANDLE job_ = nullptr, process_ = nullptr;
#else
    pid_t pid_ = -1;
#endif
};

// One line per write, so that a kill never leaves half a line.
class LineLog {
public:
#ifdef _WIN32
    explicit LineLog(const char* path)
        : file_(::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~LineLog() {
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
    explicit LineLog(const char* path) : fd_(::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644)) {}
    ~LineLog() {
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
    LineLog(const LineLog&) = delete;
    LineLog& operator=(const LineLog&) = delete;
};

}  // namespace varnholt::test
