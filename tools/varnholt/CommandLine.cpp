#include "CommandLine.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "varnholt/String.h"

namespace varnholt::cli {
namespace {

// Options every command takes.
const char* const kCommonOptions[] = {"help", "json", "engine-home", "literals"};

const OptionInfo* FindOption(const std::string& name) {
    for (const OptionInfo& option : AllOptions())
        if (name == option.name) return &option;
    return nullptr;
}

const CommandInfo* FindCommand(const std::string& name) {
    for (const CommandInfo& command : AllCommands())
        if (name == command.name) return &command;
    return nullptr;
}

// Levenshtein distance, by bytes: command names are ASCII.
size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({above + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// The command a mistyped word most likely meant: two edits at most, and fewer than half the
// name, so that a password typed in the command's place is not answered with a command.
const CommandInfo* NearestCommand(const std::string& word) {
    const CommandInfo* nearest = nullptr;
    size_t best = 3;
    for (const CommandInfo& command : AllCommands()) {
        const size_t distance = EditDistance(word, command.name);
        if (distance < best && 2 * distance < std::strlen(command.name)) {
            best = distance;
            nearest = &command;
        }
    }
    return nearest;
}

bool Accepts(const CommandInfo& command, const std::string& option) {
    auto same = [&](const char* name) { return option == name; };
    return std::any_of(std::begin(kCommonOptions), std::end(kCommonOptions), same) ||
           std::any_of(command.options.begin(), command.options.end(), same);
}

std::string OptionLines(const std::vector<const char*>& names) {
    std::vector<std::pair<std::string, std::string>> rows;
    size_t width = 0;
    for (const char* name : names) {
        const OptionInfo* option = FindOption(name);
        std::string left = std::string("--") + option->name;
        if (option->valueName) left += std::string(" ") + option->valueName;
        width = std::max(width, left.size());
        rows.emplace_back(left, option->help);
    }
    std::string out;
    for (const auto& [left, help] : rows) out += "  " + left + std::string(width - left.size() + 2, ' ') + help + "\n";
    return out;
}

}  // namespace

std::optional<std::string> CommandLine::Value(const std::string& name) const {
    const auto found = options.find(name);
    if (found == options.end()) return std::nullopt;
    return found->second;
}

CommandLine Parse(int argc, const char* const* argv) {
    CommandLine line;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    // Arguments are named by their place, never repeated: any of them may be a password typed
    // in the wrong place.
    auto place = [](int i) { return "argument " + std::to_string(i); };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        // Invalid bytes would become U+FFFD: another name, stored as such.
        if (String text; !FromUtf8Exact(arg, text)) throw UsageError(place(i) + " is not valid UTF-8 text");
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h") {
            line.help = true;
            continue;
        }
        // Only the option's name is ever repeated back: a value typed after '=' may be a secret,
        // and so may anything after a single dash ("-psecret").
        const size_t equals = arg.find('=');
        const bool isLong = arg.rfind("--", 0) == 0;
        const std::string shown = isLong ? arg.substr(0, equals) : arg.substr(0, 2);
        const std::string name = shown.substr(2);
        const OptionInfo* option = isLong ? FindOption(name) : nullptr;
        if (!option) throw UsageError("unknown option '" + shown + "' (" + place(i) + ")");
        std::string value;
        if (option->valueName) {
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                throw UsageError("option '" + shown + "' needs " + option->valueName);
            }
        } else if (equals != std::string::npos) {
            throw UsageError("option '" + shown + "' takes no value");
        }
        if (name == "help") {
            line.help = true;
        } else if (name == "version") {
            line.version = true;
        } else {
            line.options[name] = value;  // given again, the last one wins, as in most tools
        }
    }

    if (!positional.empty() && positional.front() == "help") {
        // "varnholt help [COMMAND]"
        line.help = true;
        positional.erase(positional.begin());
    }
    if (positional.empty()) {
        if (line.help || line.version) return line;
        throw UsageError("no command given");
    }
    line.command = FindCommand(positional.front());
    if (!line.command) {
        std::string message = "unknown command: the first argument that is not an option names none";
        if (const CommandInfo* nearest = NearestCommand(positional.front()))
            message += std::string("; did you mean '") + nearest->name + "'?";
        throw UsageError(message);
    }
    line.args.assign(positional.begin() + 1, positional.end());
    if (line.help) return line;

    const std::string name = line.command->name;
    for (const auto& [option, value] : line.options)
        if (!Accepts(*line.command, option))
            throw UsageError("option '--" + option + "' does not apply to " + name, name);
    const int count = static_cast<int>(line.args.size());
    if (count < line.command->minArgs) throw UsageError(name + " needs " + line.command->arguments, name);
    if (line.command->maxArgs >= 0 && count > line.command->maxArgs)
        throw UsageError("too many arguments for " + name + " (it takes " +
                             (*line.command->arguments ? line.command->arguments : "none") + ")",
                         name);
    return line;
}

std::string ToolHelp() {
    std::string out =
        "Usage: varnholt [OPTIONS] COMMAND [ARGS]\n"
        "\n"
        "Shows and fixes the database names of a database engine and the provisioning of company\n"
        "folders, through the component's two public classes.\n"
        "\n"
        "Commands:\n";
    size_t width = 0;
    for (const CommandInfo& command : AllCommands()) width = std::max(width, std::strlen(command.name));
    for (const CommandInfo& command : AllCommands())
        out += std::string("  ") + command.name + std::string(width - std::strlen(command.name) + 2, ' ') +
               command.summary + "\n";
    out += "\nOptions for every command:\n" + OptionLines({"engine-home", "literals", "json", "help", "version"}) +
           "\n"
           "Run 'varnholt COMMAND --help' for a command's arguments and options.\n"
           "Exit status: 0 done, 1 the operation raised an error (on stderr:\n"
           "'error NUMBER (SOURCE): DESCRIPTION', perhaps followed by a note or a 'hint:' line),\n"
           "2 usage error, 3 the answer is no (nothing found, nothing changed). Answers, a no as well,\n"
           "go to stdout. An option given twice counts with its last value.\n";
    return out;
}

std::string CommandHelp(const CommandInfo& command) {
    std::string out = std::string("Usage: varnholt ") + command.name;
    if (*command.arguments) out += std::string(" ") + command.arguments;
    if (!command.options.empty()) out += " [OPTIONS]";
    out += std::string("\n\n") + command.details + "\n";
    if (!command.options.empty()) out += "\nOptions:\n" + OptionLines(command.options);
    out += "\nCommon options: --engine-home DIR, --literals FILE, --json, --help (see 'varnholt --help').\n";
    return out;
}

}  // namespace varnholt::cli
