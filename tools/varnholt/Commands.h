#pragma once
// The commands: each maps onto members of CPVSServer or ConnectionHelper.
#include <string>
#include <utility>

#include "CommandLine.h"
#include "Texts.h"
#include "varnholt/ConnectionHelper.h"
#include "varnholt/Error.h"

namespace varnholt::cli {

// Exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitRaised = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNo = 3;

// A member's error as it was raised, with a line of what the tool knows beside it, printed
// after the error line.
class NotedError : public Error {
public:
    NotedError(const Error& error, std::string note) : Error(error), note_(std::move(note)) {}
    const std::string& Note() const { return note_; }

private:
    std::string note_;
};

struct Invocation {
    const CommandLine& line;
    Texts texts;
    ConnectionHelper helper;
    String server, user, password;
    bool json = false;
};

// Sets up the invocation (texts, credentials) and runs its command. Raises varnholt::Error and
// throws UsageError.
int Run(const CommandLine& line);

}  // namespace varnholt::cli
