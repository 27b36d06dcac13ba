#pragma once
// What the command files share: text conversions, printing, the administration session and the
// name list, and the commands themselves for the table in Commands.cpp.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "Commands.h"
#include "varnholt/CPVSServer.h"

namespace varnholt::cli {

inline String U(const std::string& utf8) { return FromUtf8(utf8); }
inline String U(const std::optional<std::string>& utf8) { return utf8 ? FromUtf8(*utf8) : String(); }

inline void Print(const std::string& text) { std::fputs(text.c_str(), stdout); }
inline void PrintLine(const std::string& text) { Print(text + "\n"); }

inline std::string Where(const String& server) {
    return server.empty() ? "the local engine" : "server " + ToUtf8(server);
}

// An option the command cannot do without. An empty value is passed on: the members have
// their own errors for empty folders.
std::string Required(const Invocation& run, const char* option);

// An administration session for one command: connected on creation, and disconnected on every
// way out (a failure to disconnect after a failure is not reported over the first one).
class AdminSession {
public:
    AdminSession(const String& server, const String& user, const String& password);
    explicit AdminSession(const Invocation& run) : AdminSession(run.server, run.user, run.password) {}
    ~AdminSession() { Close(); }
    AdminSession(const AdminSession&) = delete;
    AdminSession& operator=(const AdminSession&) = delete;
    CPVSServer* operator->() { return &server_; }
    void Finish() { server_.DisConnect(); }

private:
    void Close() noexcept;
    CPVSServer server_;
};

struct Entry {
    int32_t id;
    String name, dictionary, data;
};

// The array form of GetDBNames: (1, n) name, (2, n) data path, (3, n) dictionary path.
std::vector<Entry> Entries(const Variant& list);

// Administration (AdminCommands.cpp).
int List(Invocation& run);
int Count(Invocation& run);
int Create(Invocation& run);
int Drop(Invocation& run);
int Modify(Invocation& run);
int Version(Invocation& run);
// Lookups and connections (LookupCommands.cpp).
int Find(Invocation& run);
int Exists(Invocation& run);
int ConnectionString(Invocation& run);
int Connect(Invocation& run);
// Provisioning (ProvisionCommands.cpp).
int Provision(Invocation& run);
int Repoint(Invocation& run);
// Files and paths (FileCommands.cpp).
int Path(Invocation& run);
int CopyDictionary(Invocation& run);
int Dates(Invocation& run);

}  // namespace varnholt::cli
