#include "store/Faults.h"

#include <map>
#include <mutex>
#include <vector>

#include "store/Files.h"
#include "store/Text.h"

namespace varnholt::standin {

std::optional<Fault> ParseFault(std::string_view line) {
    if (IsSkippedLine(line)) return std::nullopt;
    const std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() < 2 || fields.size() > 3) return std::nullopt;
    Fault fault;
    fault.function = FoldCase(TrimBlanks(fields[0]));
    const std::optional<int32_t> status = ParseInt32(fields[1]);
    if (fault.function.empty() || !status) return std::nullopt;
    fault.status = *status;
    if (fields.size() == 3 && !TrimBlanks(fields[2]).empty()) {
        fault.remaining = ParseInt32(fields[2]);
        if (!fault.remaining || *fault.remaining < 1) return std::nullopt;
    }
    return fault;
}

namespace {

struct ParsedFaults {
    FileIdentity identity;
    std::vector<Fault> faults;
};

// Consumes one use of the first counted fault of function under the file's lock, reading
// the file afresh: another process may have used it up already.
std::optional<int32_t> ConsumeCounted(const std::string& path, const std::string& function) {
    ExclusiveLock lock(path + ".lock");
    if (!lock.Held()) return std::nullopt;
    std::string content;
    FileIdentity identity;
    if (ReadFileContent(path, content, identity) != ReadOutcome::kRead) return std::nullopt;
    std::vector<std::string> lines;
    std::optional<int32_t> status;
    for (std::string_view line : SplitLines(content)) {
        std::optional<Fault> fault = status ? std::nullopt : ParseFault(line);
        if (!fault || fault->function != function) {
            lines.emplace_back(line);
            continue;
        }
        status = fault->status;
        if (!fault->remaining) return status;  // an uncounted fault came first: nothing to consume
        const std::vector<std::string_view> fields = SplitFields(line);
        if (*fault->remaining > 1)
            lines.push_back(std::string(fields[0]) + '\t' + std::string(fields[1]) + '\t' +
                            std::to_string(*fault->remaining - 1));
    }
    if (!status) return std::nullopt;
    std::string updated;
    for (const std::string& line : lines) updated += line + '\n';
    // A use that cannot be recorded is not taken: the call runs as if no fault were set.
    if (!ReplaceFileContent(path, updated)) return std::nullopt;
    return status;
}

}  // namespace

std::optional<int32_t> TakeFault(const std::string& home, std::string_view function) {
    static std::mutex mutex;
    static std::map<std::string, ParsedFaults> cache;  // by faults path
    const std::string path = home + "/faults";
    const std::string wanted = FoldCase(function);
    std::lock_guard guard(mutex);
    const FileIdentity now = IdentifyFile(path);
    if (!now.exists) {
        cache.erase(path);
        return std::nullopt;
    }
    ParsedFaults& parsed = cache[path];
    if (!(parsed.identity == now)) {
        std::string content;
        FileIdentity identity;
        parsed = {};
        if (ReadFileContent(path, content, identity) != ReadOutcome::kRead) return std::nullopt;
        parsed.identity = identity;
        for (std::string_view line : SplitLines(content))
            if (auto fault = ParseFault(line)) parsed.faults.push_back(std::move(*fault));
    }
    for (const Fault& fault : parsed.faults) {
        if (fault.function != wanted) continue;
        if (!fault.remaining) return fault.status;
        return ConsumeCounted(path, wanted);
    }
    return std::nullopt;
}

}  // namespace varnholt::standin
