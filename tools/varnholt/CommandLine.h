#pragma once
// Command-line grammar: varnholt [OPTIONS] COMMAND [ARGS] [OPTIONS]. Options may stand before
// or after the command; each command accepts the common options and its own.
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace varnholt::cli {

struct Invocation;
using Handler = int (*)(Invocation&);

struct OptionInfo {
    const char* name;       // without the leading "--"
    const char* valueName;  // nullptr: a flag
    const char* help;
};

struct CommandInfo {
    const char* name;
    const char* arguments;  // "NAME DICT DATA"
    const char* summary;    // one line for the command list
    const char* details;    // the rest of the command's help
    int minArgs;
    int maxArgs;                       // -1: any number
    std::vector<const char*> options;  // besides the common ones
    Handler run;
};

// A usage mistake: reported with a hint and exit status 2. command is "" for the tool itself.
class UsageError : public std::runtime_error {
public:
    UsageError(const std::string& message, std::string command = "")
        : std::runtime_error(message),
          command_(std::move(command)) {}
    const std::string& Command() const { return command_; }

private:
    std::string command_;
};

struct CommandLine {
    const CommandInfo* command = nullptr;  // none with a bare --help or --version
    std::vector<std::string> args;
    std::map<std::string, std::string> options;  // name -> value ("" for flags)
    bool help = false;
    bool version = false;

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    std::optional<std::string> Value(const std::string& name) const;
};

const std::vector<OptionInfo>& AllOptions();
const std::vector<CommandInfo>& AllCommands();

// Throws UsageError.
CommandLine Parse(int argc, const char* const* argv);

std::string ToolHelp();
std::string CommandHelp(const CommandInfo& command);

}  // namespace varnholt::cli
