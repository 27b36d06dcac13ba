// Writes the manual page: a template with the lines @COMMANDS@ and @OPTIONS@, which become the
// command table's help in roff, so that the page never says other than `varnholt --help`.
// Usage: varnholt-manual TEMPLATE OUTPUT
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"

using namespace varnholt::cli;

namespace {

// Plain text as roff: backslashes and option names escaped, no line read as a request.
std::string Roff(const std::string& text) {
    std::string out;
    for (char c : text) out += c == '\\' ? std::string("\\e") : std::string(1, c);
    static const std::regex option("--[a-z][a-z-]*");
    std::string escaped;
    auto last = out.cbegin();
    for (std::sregex_iterator it(out.begin(), out.end(), option), end; it != end; ++it) {
        escaped.append(last, out.cbegin() + it->position());
        for (char c : it->str()) escaped += c == '-' ? "\\-" : std::string(1, c);
        last = out.cbegin() + it->position() + it->length();
    }
    escaped.append(last, out.cend());
    if (!escaped.empty() && (escaped[0] == '.' || escaped[0] == '\'')) escaped.insert(0, "\\&");
    return escaped;
}

// A help paragraph; its lines indented by two blanks (a table of operations) stay as they are.
std::string Paragraph(const std::string& text) {
    std::string out;
    bool preformatted = false;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const bool indented = line.rfind("  ", 0) == 0;
        if (indented != preformatted) out += indented ? ".nf\n" : ".fi\n";
        preformatted = indented;
        out += Roff(line) + "\n";
    }
    if (preformatted) out += ".fi\n";
    return out;
}

std::string Sentence(std::string help) {
    if (!help.empty()) help[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(help[0])));
    return help + ".";
}

std::string Commands() {
    std::string out;
    for (const CommandInfo& command : AllCommands()) {
        out += ".TP\n";
        out += *command.arguments ? ".BI " + Roff(command.name) + " \" " + command.arguments + "\"\n"
                                  : ".B " + Roff(command.name) + "\n";
        out += Paragraph(command.details);
    }
    return out;
}

std::string OptionEntry(const OptionInfo& option, const std::vector<std::string>& users) {
    const std::string name = Roff(std::string("--") + option.name);
    std::string out = ".TP\n";
    out += option.valueName ? ".BI " + name + " \" " + option.valueName + "\"\n" : ".B " + name + "\n";
    out += Roff(Sentence(option.help));
    if (!users.empty()) {
        out += " For";
        for (size_t i = 0; i < users.size(); ++i)
            out += std::string(i == 0                  ? " "
                               : i + 1 == users.size() ? " and "
                                                       : ", ") +
                   "\\fB" + Roff(users[i]) + "\\fR";
        out += ".";
    }
    return out + "\n";
}

// The options no command lists are those of every command (and of the tool alone).
std::string Options() {
    std::string common = ".SS Every command\n", own = ".SS Command options\n";
    for (const OptionInfo& option : AllOptions()) {
        std::vector<std::string> users;
        for (const CommandInfo& command : AllCommands())
            for (const char* name : command.options)
                if (std::string(name) == option.name) users.push_back(command.name);
        (users.empty() ? common : own) += OptionEntry(option, users);
    }
    return common + own;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: varnholt-manual TEMPLATE OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    if (!in) {
        std::fprintf(stderr, "varnholt-manual: cannot read %s\n", argv[1]);
        return 1;
    }
    std::string page;
    for (std::string line; std::getline(in, line);)
        page += line == "@COMMANDS@" ? Commands() : line == "@OPTIONS@" ? Options() : line + "\n";
    std::ofstream out(argv[2]);
    out << page;
    out.close();
    if (!out) {
        std::fprintf(stderr, "varnholt-manual: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
