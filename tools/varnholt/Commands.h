#pragma once
// The commands: each maps onto members of CPVSServer or ConnectionHelper.
#include "CommandLine.h"
#include "Texts.h"
#include "varnholt/ConnectionHelper.h"

namespace varnholt::cli {

// Exit statuses.
inline constexpr int kExitDone = 0;
inline constexpr int kExitRaised = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNo = 3;

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
