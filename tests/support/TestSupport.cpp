#include "TestSupport.h"

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#include <process.h>
#include <stdlib.h>
#else
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "platform/System.h"

namespace varnholt::test {

namespace fs = std::filesystem;

#ifdef _WIN32
namespace {
std::wstring Wide(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())).wstring(); }

// Wine offers no network drives and no way for a program to define a drive, so while a test
// names a drive table in VARNHOLT_DRIVES the drive queries answer from it, through the same
// code as on POSIX; without one they are the system's own.
class ScriptedDrives final : public platform::SystemServices {
public:
    ScriptedDrives() { platform::SetSystemForTesting(this); }
    ~ScriptedDrives() override { platform::SetSystemForTesting(nullptr); }
    bool GetComputerNameA(char* buffer, uint32_t* size) override {
        return platform::NativeSystem().GetComputerNameA(buffer, size);
    }
    uint32_t GetDriveTypeA(const char* root) override {
        return Scripted() ? platform::DriveTypeFromTable(root) : platform::NativeSystem().GetDriveTypeA(root);
    }
    uint32_t WNetGetConnectionA(const char* localName, char* remoteName, uint32_t* length) override {
        return Scripted() ? platform::ConnectionFromTable(localName, remoteName, length)
                          : platform::NativeSystem().WNetGetConnectionA(localName, remoteName, length);
    }

private:
    static bool Scripted() {
        const char* table = std::getenv("VARNHOLT_DRIVES");
        return table && *table;
    }
};

ScriptedDrives gScriptedDrives;

// The data-access objects are COM objects: a client initialises COM before it calls the
// component, and so does every test program.
struct ComApartment {
    ComApartment() { ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { ::CoUninitialize(); }
} gComApartment;
}  // namespace

void SetEnv(const char* name, const std::string& utf8) { ::_wputenv_s(Wide(name).c_str(), Wide(utf8).c_str()); }
void UnsetEnv(const char* name) { ::_wputenv_s(Wide(name).c_str(), L""); }
static int ProcessId() { return ::_getpid(); }
std::string MissingFolderReason() { return SystemReason(ERROR_PATH_NOT_FOUND); }
std::string SystemReason(unsigned long code) {
    char text[512] = {};
    const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                     sizeof text, nullptr);
    std::string reason(text, n);
    while (!reason.empty() && std::string("\r\n .").find(reason.back()) != std::string::npos) reason.pop_back();
    return reason;
}
std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = sizeof name;
    return ::GetComputerNameA(name, &length) ? std::string(name, length) : std::string();
}
#else
void SetEnv(const char* name, const std::string& utf8) { ::setenv(name, utf8.c_str(), 1); }
void UnsetEnv(const char* name) { ::unsetenv(name); }
static int ProcessId() { return ::getpid(); }
std::string MissingFolderReason() { return std::strerror(ENOENT); }
std::string HostName() {
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
}
#endif

void SetEnv(const char* name, const fs::path& path) {
    const std::u8string text = path.u8string();
    SetEnv(name, std::string(text.begin(), text.end()));
}

ScopedEnv::ScopedEnv(const char* name) : name_(name) {
    if (const char* value = std::getenv(name)) previous_ = value;
}

ScopedEnv::~ScopedEnv() {
    if (previous_)
        SetEnv(name_, *previous_);
    else
        UnsetEnv(name_);
}

SafeArray<String> Strings(int32_t lower, const std::vector<std::string>& items) {
    std::vector<String> converted;
    for (const auto& item : items) converted.push_back(S(item));
    return SafeArray<String>::Vector(lower, converted);
}

TempDir::TempDir() {
    std::random_device rd;
    const fs::path base = fs::temp_directory_path();
    for (;;) {
        path_ = base / ("varnholt-test-" + std::to_string(ProcessId()) + "-" + std::to_string(rd()));
        if (fs::create_directory(path_)) break;
    }
}

namespace {
void EmptyFolder(const fs::path& folder) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) fs::remove_all(entry.path(), ec);
}
}  // namespace

#ifdef _WIN32
TempDir::TempDir(char letter) : path_(std::string(1, letter) + ":\\"), driveRoot_(true) {
    if (!fs::is_directory(path_))
        throw std::runtime_error("drive " + path_.string() +
                                 " is missing: run through ctest, whose Wine prefix links it");
    EmptyFolder(path_);
}
#else
TempDir::TempDir(char) : TempDir() {}
#endif

TempDir::~TempDir() {
    if (driveRoot_) {
        EmptyFolder(path_);
        return;
    }
    std::error_code ec;
    fs::remove_all(path_, ec);
}

fs::path TempDir::Write(const std::string& relative, const std::string& content) const {
    const fs::path p = path_ / fs::path(std::u8string(relative.begin(), relative.end()));  // UTF-8 everywhere
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
    return p;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> ReadLines(const fs::path& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields(1);
    for (const char c : line) c == '\t' ? fields.emplace_back() : fields.back() += c;
    return fields;
}

EngineHome::EngineHome() {
    SetEnv("VARNHOLT_ENGINE_HOME", dir_.Path());
    fs::create_directories(dir_.Path() / "local");
    SetEngineConf("9.5.0", "L");
}

fs::path EngineHome::ServerDir(const std::string& server) const {
    return server.empty() ? dir_.Path() / "local" : dir_.Path() / "servers" / server;
}

void EngineHome::AddName(const std::string& server, const std::string& name, const std::string& dict,
                         const std::string& data, int32_t flags) const {
    AddServer(server);
    std::ofstream(ServerDir(server) / "dbnames", std::ios::app)
        << name << '\t' << dict << '\t' << data << '\t' << flags << '\n';
}

void EngineHome::AddServer(const std::string& server) const {
    fs::create_directories(ServerDir(server));
    std::ofstream(ServerDir(server) / "dbnames", std::ios::app).flush();
}

void EngineHome::SetUsers(const std::string& server,
                          const std::vector<std::pair<std::string, std::string>>& users) const {
    AddServer(server);
    std::ofstream out(ServerDir(server) / "users", std::ios::trunc);
    for (const auto& [user, password] : users) out << user << '\t' << password << '\n';
}

void EngineHome::SetFaults(const std::string& lines) const { dir_.Write("faults", lines); }

void EngineHome::SetAnswers(const std::string& lines) const { dir_.Write("answers", lines); }

void EngineHome::SetEngineConf(const std::string& version, const std::string& platform) const {
    dir_.Write("engine.conf", "version=" + version + "\nplatform=" + platform + "\n");
}

void EngineHome::EnableJournal() const { dir_.Write("journal", ""); }

std::vector<std::vector<std::string>> EngineHome::Journal() const {
    std::vector<std::vector<std::string>> out;
    for (const auto& line : ReadLines(dir_.Path() / "journal")) out.push_back(SplitTabs(line));
    return out;
}

std::vector<std::string> EngineHome::Calls() const {
    std::vector<std::string> out;
    for (const auto& fields : Journal()) {
        std::string joined;
        for (size_t i = 1; i < fields.size(); ++i) joined += (i > 1 ? " " : "") + fields[i];
        out.push_back(joined);
    }
    return out;
}

void EngineHome::ClearJournal() const { EnableJournal(); }

std::vector<std::vector<std::string>> EngineHome::Names(const std::string& server) const {
    std::vector<std::vector<std::string>> out;
    for (const auto& line : ReadLines(ServerDir(server) / "dbnames"))
        if (!line.empty() && line[0] != '#') out.push_back(SplitTabs(line));
    return out;
}

}  // namespace varnholt::test
