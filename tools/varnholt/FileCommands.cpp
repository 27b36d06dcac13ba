// The path helpers and the file commands: copying a dictionary, comparing creation dates.
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "CommandSupport.h"
#include "Output.h"
#include "varnholt/Host.h"

namespace varnholt::cli {
namespace {

// Folder arguments of the file members are prefixes that file names are appended to. An empty
// one would become the root folder.
String Folder(const Invocation& run, const std::string& path, const char* what) {
    if (path.empty()) throw UsageError(std::string(what) + " must not be empty", run.line.command->name);
    if (path.back() == '\\' || path.back() == '/') return U(path);
    const bool windowsForm = path.find('\\') != std::string::npos || (path.size() >= 2 && path[1] == ':');
    return U(path + (windowsForm ? "\\" : "/"));
}

// The member skips files it cannot find, so a mistyped folder would answer "no newer file".
void MustBeFolder(const String& folder, const char* what) {
    const std::string local = LocalPath(folder);
    std::error_code error;
    if (local.empty() || !std::filesystem::is_directory(local, error))
        throw std::runtime_error(std::string(what) + " folder " + ToUtf8(folder) + " does not exist");
}

}  // namespace

int Path(Invocation& run) {
    const std::vector<std::string>& args = run.line.args;
    const std::string& kind = args[0];
    auto expect = [&](size_t count, const char* operands) {
        if (args.size() != count) throw UsageError("path " + kind + " takes " + operands, "path");
    };
    String value;
    if (kind == "computer-name") {
        expect(1, "no further argument");
        value = run.helper.ComputerName();
    } else if (kind == "unc") {
        expect(2, "PATH");
        value = run.helper.PathToUNC(U(args[1]));
    } else if (kind == "server") {
        expect(2, "PATH");
        value = run.helper.GetServerName(U(args[1]));
    } else if (kind == "folder") {
        expect(2, "PATH");
        value = run.helper.FolderName(U(args[1]));
    } else if (kind == "legit-name") {
        expect(3, "PREFIX FOLDER");
        value = run.helper.MakeDBName(U(args[1]), U(args[2]));
    } else if (kind == "exists") {
        expect(2, "PATTERN");
        const bool exists = run.helper.DoesFileExist(U(args[1]), false);
        PrintLine(run.json ? JsonObject().Add("pattern", U(args[1])).Add("exists", exists).Text()
                  : exists ? "yes"
                           : "no");
        return exists ? kExitDone : kExitNo;
    } else {
        throw UsageError("unknown path operation: the argument after 'path' names none", "path");
    }
    PrintLine(run.json ? JsonObject().Add("value", value).Text() : ToUtf8(value));
    return kExitDone;
}

// The dictionary files of a database, copied where the target lacks them; existing ones are kept.
int CopyDictionary(Invocation& run) {
    const String master = Folder(run, run.line.args[0], "MASTER"), target = Folder(run, run.line.args[1], "TARGET");
    static const char16_t* const kFiles[] = {u"File.ddf", u"Field.ddf", u"Index.ddf", u"Attrib.ddf"};
    std::vector<bool> present;
    try {
        for (const char16_t* file : kFiles) present.push_back(run.helper.DoesFileExist(target + file, false));
    } catch (const Error&) {
        // The copy below meets the same failure and reports it as the member does.
    }
    run.helper.CopyDictionaryFiles(master, target);
    std::vector<std::string> copied, kept;
    for (size_t i = 0; i < present.size(); ++i) {
        (present[i] ? kept : copied).push_back(ToUtf8(kFiles[i]));
        if (!run.json) PrintLine((present[i] ? "kept    " : "copied  ") + ToUtf8(target + kFiles[i]));
    }
    if (run.json) {
        auto list = [](const std::vector<std::string>& files) {
            std::vector<std::string> items;
            for (const std::string& file : files) items.push_back(JsonText(U(file)));
            return JsonArray(items);
        };
        PrintLine(JsonObject().AddJson("copied", list(copied)).AddJson("kept", list(kept)).Text());
    }
    return kExitDone;
}

int Dates(Invocation& run) {
    const String sourcePath = Folder(run, run.line.args[0], "SOURCE"),
                 targetPath = Folder(run, run.line.args[1], "TARGET");
    MustBeFolder(sourcePath, "the SOURCE");
    MustBeFolder(targetPath, "the TARGET");
    std::vector<String> files;
    for (size_t i = 2; i < run.line.args.size(); ++i) files.push_back(U(run.line.args[i]));
    const bool different = run.helper.DifferentDates(SafeArray<String>::Vector(1, files), sourcePath, targetPath);
    if (run.json)
        PrintLine(JsonObject().Add("newer", different).Text());
    else
        PrintLine(different
                      ? "A file in " + ToUtf8(sourcePath) + " was created after its copy in " + ToUtf8(targetPath) + "."
                      : "No file in " + ToUtf8(sourcePath) + " was created after its copy in " + ToUtf8(targetPath) +
                            ".");
    return different ? kExitDone : kExitNo;
}

}  // namespace varnholt::cli
