#include "TestSupport.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace varnholt::test {

namespace fs = std::filesystem;

SafeArray<String> Strings(int32_t lower, const std::vector<std::string>& items) {
    std::vector<String> converted;
    for (const auto& item : items) converted.push_back(S(item));
    return SafeArray<String>::Vector(lower, converted);
}

TempDir::TempDir() {
    std::random_device rd;
    const fs::path base = fs::temp_directory_path();
    for (;;) {
        path_ = base / ("varnholt-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
        if (fs::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

fs::path TempDir::Write(const std::string& relative, const std::string& content) const {
    const fs::path p = path_ / relative;
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
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) return fields;
        start = tab + 1;
    }
}

EngineHome::EngineHome() {
    if (const char* p = std::getenv("VARNHOLT_ENGINE_HOME")) {
        previous_ = p;
        hadPrevious_ = true;
    }
    ::setenv("VARNHOLT_ENGINE_HOME", dir_.Path().c_str(), 1);
    fs::create_directories(dir_.Path() / "local");
    SetEngineConf("9.5.0", "L");
}

EngineHome::~EngineHome() {
    if (hadPrevious_)
        ::setenv("VARNHOLT_ENGINE_HOME", previous_.c_str(), 1);
    else
        ::unsetenv("VARNHOLT_ENGINE_HOME");
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

void EngineHome::SetUsers(const std::string& server, const std::vector<std::pair<std::string, std::string>>& users) const {
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
