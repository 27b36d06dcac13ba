#include "store/NameStore.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>

#include "store/Status.h"
#include "store/Text.h"

namespace varnholt::standin {

std::optional<DatabaseName> ParseRecord(std::string_view line) {
    if (IsSkippedLine(line) || !IsUtf8(line)) return std::nullopt;
    const std::vector<std::string_view> fields = SplitFields(line);
    if (fields[0].empty()) return std::nullopt;
    for (std::string_view field : fields)
        if (!IsFieldText(field)) return std::nullopt;
    DatabaseName entry;
    entry.name = fields[0];
    if (fields.size() > 1) entry.dictionaryPath = fields[1];
    if (fields.size() > 2) entry.dataPath = fields[2];
    if (fields.size() > 3) entry.flags = ParseInt32(fields[3]).value_or(0);
    return entry;
}

std::string FormatRecord(const DatabaseName& entry) {
    return entry.name + '\t' + entry.dictionaryPath + '\t' + entry.dataPath + '\t' + std::to_string(entry.flags);
}

namespace {

// A text must survive the file format as one field and come back whole from a name read.
bool IsStorableText(std::string_view text) { return IsFieldText(text) && Utf8ToAnsi(text).size() <= kLongestText; }

// A name must also not be mistaken for a comment or a blank line.
bool IsStorableName(std::string_view name) { return IsStorableText(name) && !IsSkippedLine(name); }

// The file as lines; edits keep comments and blank lines where they were.
struct Lines {
    std::vector<std::string> lines;

    explicit Lines(std::string_view content) {
        for (std::string_view line : SplitLines(content)) lines.emplace_back(line);
    }
    // Position of the record line of name, or lines.size().
    size_t Find(std::string_view name) const {
        const std::string wanted = FoldCase(name);
        for (size_t i = 0; i < lines.size(); ++i)
            if (const auto entry = ParseRecord(lines[i]); entry && FoldCase(entry->name) == wanted) return i;
        return lines.size();
    }
    std::string Join() const {
        std::string out;
        for (const std::string& line : lines) out += line + '\n';
        return out;
    }
};

}  // namespace

NameList::NameList(std::string_view content) {
    for (std::string_view line : SplitLines(content)) {
        if (auto entry = ParseRecord(line)) {
            index_.try_emplace(FoldCase(entry->name), names_.size());
            names_.push_back(std::move(*entry));
        }
    }
}

int32_t NameList::At(int32_t sequence, DatabaseName& out) const {
    if (sequence < 1 || static_cast<size_t>(sequence) > names_.size()) return kBadSequence;
    out = names_[static_cast<size_t>(sequence) - 1];
    return kOk;
}

int32_t NameList::Find(std::string_view name, DatabaseName& out) const {
    const auto found = index_.find(FoldCase(name));
    if (found == index_.end()) return kNameMissing;
    out = names_[found->second];
    return kOk;
}

NameStore& NameStore::ForFolder(const std::string& serverFolder) {
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<NameStore>> stores;
    std::lock_guard lock(mutex);
    std::unique_ptr<NameStore>& store = stores[serverFolder];
    if (!store) store.reset(new NameStore(serverFolder));
    return *store;
}

NameStore::NameStore(std::string serverFolder) : folder_(std::move(serverFolder)), path_(folder_ + "/dbnames") {}

void NameStore::Adopt(std::string_view content, const FileIdentity& identity) {
    names_ = std::make_shared<const NameList>(content);
    identity_ = identity;
    loaded_ = true;
    ++loads_;
}

int32_t NameStore::Refresh() {
    const FileIdentity now = IdentifyFile(path_);
    if (loaded_ && now == identity_) return kOk;
    // A file that cannot be examined is not an empty one: its names may all exist.
    if (now.failed) {
        loaded_ = false;
        return kNamesUnavailable;
    }
    if (!now.exists) {
        Adopt({}, now);
        return kOk;
    }
    std::string content;
    FileIdentity identity;
    switch (ReadFileContent(path_, content, identity)) {
        case ReadOutcome::kRead: Adopt(content, identity); return kOk;
        case ReadOutcome::kMissing: Adopt({}, {}); return kOk;
        case ReadOutcome::kFailed: break;
    }
    loaded_ = false;
    return kNamesUnavailable;
}

int32_t NameStore::Count(int32_t& count) {
    std::lock_guard lock(mutex_);
    if (const int32_t status = Refresh()) return status;
    count = names_->Size();
    return kOk;
}

int32_t NameStore::At(int32_t sequence, DatabaseName& out) {
    std::lock_guard lock(mutex_);
    if (const int32_t status = Refresh()) return status;
    return names_->At(sequence, out);
}

int32_t NameStore::Find(std::string_view name, DatabaseName& out) {
    std::lock_guard lock(mutex_);
    if (const int32_t status = Refresh()) return status;
    return names_->Find(name, out);
}

int32_t NameStore::Snapshot(NameSnapshot& out) {
    std::lock_guard lock(mutex_);
    if (const int32_t status = Refresh()) return status;
    out = names_;
    return kOk;
}

// Runs edit on the file as it is on disk now, not as cached: another process may have written
// since. edit returns a status; on success the edited lines replace the file.
template <class Edit>
int32_t NameStore::Change(Edit&& edit) {
    std::lock_guard lock(mutex_);
    if (IdentifyFile(path_).failed) return kNamesUnavailable;
    std::error_code error;
    std::filesystem::create_directories(NativePath(folder_), error);
    if (error) return kGeneralFailure;
    ExclusiveLock fileLock(path_ + ".lock");
    if (!fileLock.Held()) return kGeneralFailure;
    std::string content;
    FileIdentity identity;
    if (ReadFileContent(path_, content, identity) == ReadOutcome::kFailed) return kNamesUnavailable;
    Lines lines(content);
    if (const int32_t status = edit(lines)) return status;
    const std::string updated = lines.Join();
    if (!ReplaceFileContent(path_, updated, &identity)) return kGeneralFailure;
    Adopt(updated, identity);
    return kOk;
}

int32_t NameStore::Create(const DatabaseName& entry) {
    if (!IsStorableName(entry.name) || !IsStorableText(entry.dictionaryPath) || !IsStorableText(entry.dataPath))
        return kGeneralFailure;
    return Change([&](Lines& lines) {
        if (lines.Find(entry.name) != lines.lines.size()) return kNameExists;
        lines.lines.push_back(FormatRecord(entry));
        return kOk;
    });
}

int32_t NameStore::Drop(std::string_view name) {
    return Change([&](Lines& lines) {
        const size_t at = lines.Find(name);
        if (at == lines.lines.size()) return kNameMissing;
        lines.lines.erase(lines.lines.begin() + static_cast<std::ptrdiff_t>(at));
        return kOk;
    });
}

int32_t NameStore::Modify(std::string_view existing, std::string_view newName, std::string_view dictionaryPath,
                          std::string_view dataPath, int32_t flags) {
    if ((!newName.empty() && !IsStorableName(newName)) || !IsStorableText(dictionaryPath) || !IsStorableText(dataPath))
        return kGeneralFailure;
    return Change([&](Lines& lines) {
        const size_t at = lines.Find(existing);
        if (at == lines.lines.size()) return kNameMissing;
        if (!newName.empty()) {
            const size_t other = lines.Find(newName);
            if (other != lines.lines.size() && other != at) return kNameExists;
        }
        DatabaseName entry = *ParseRecord(lines.lines[at]);
        if (!newName.empty()) entry.name = newName;
        if (!dictionaryPath.empty()) entry.dictionaryPath = dictionaryPath;
        if (!dataPath.empty()) entry.dataPath = dataPath;
        if (flags != kKeepFlags) entry.flags = flags;
        lines.lines[at] = FormatRecord(entry);
        return kOk;
    });
}

uint64_t NameStore::Loads() {
    std::lock_guard lock(mutex_);
    return loads_;
}

}  // namespace varnholt::standin
