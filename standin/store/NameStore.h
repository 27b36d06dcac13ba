#pragma once
// The database names of one server: its dbnames file, kept in memory and read again only when
// the file changed. Changes are read-modify-write under a lock shared by every process, and
// replace the file atomically, so a process killed mid-write loses no committed name.
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "store/Files.h"

namespace varnholt::standin {

struct DatabaseName {
    std::string name;
    std::string dictionaryPath;
    std::string dataPath;
    int32_t flags = 0;
    bool operator==(const DatabaseName&) const = default;
};

// One line of a dbnames file: NAME DICTPATH DATAPATH FLAGS, the later fields optional and a
// flags field that is no number read as 0. None for a blank or comment line, an empty name, or
// a line that is no text of ours (ill-formed UTF-8, a NUL or another control character): such
// a line names nothing, and edits keep it as it is.
std::optional<DatabaseName> ParseRecord(std::string_view line);
std::string FormatRecord(const DatabaseName& entry);

// Flags value of a modification that leaves the stored flags as they are.
inline constexpr int32_t kKeepFlags = INT32_MIN;

// The longest name or path, in code-page bytes, that a name read into the component's 255-byte
// buffer returns whole with its NUL.
inline constexpr size_t kLongestText = 254;

// The names of one moment, never changed once built: a session lists from the one its last
// count saw while others write.
class NameList {
public:
    explicit NameList(std::string_view content);
    int32_t Size() const { return static_cast<int32_t>(names_.size()); }
    int32_t At(int32_t sequence, DatabaseName& out) const;  // sequence from 1
    int32_t Find(std::string_view name, DatabaseName& out) const;

private:
    std::vector<DatabaseName> names_;
    std::unordered_map<std::string, size_t> index_;  // folded name -> first position
};
using NameSnapshot = std::shared_ptr<const NameList>;

class NameStore {
public:
    // The process-wide store of a server folder (created on first use, never destroyed).
    static NameStore& ForFolder(const std::string& serverFolder);

    // Each returns an engine status (store/Status.h). Texts are UTF-8.
    int32_t Count(int32_t& count);
    int32_t At(int32_t sequence, DatabaseName& out);  // sequence from 1
    int32_t Find(std::string_view name, DatabaseName& out);
    // The names as the file holds them now.
    int32_t Snapshot(NameSnapshot& out);
    int32_t Create(const DatabaseName& entry);
    int32_t Drop(std::string_view name);
    // Empty newName, dictionaryPath or dataPath keep the current value; kKeepFlags keeps the flags.
    int32_t Modify(std::string_view existing, std::string_view newName, std::string_view dictionaryPath,
                   std::string_view dataPath, int32_t flags);

    // How often the file was parsed; lets tests prove that unchanged files are not read again.
    uint64_t Loads();

private:
    explicit NameStore(std::string serverFolder);
    int32_t Refresh();
    void Adopt(std::string_view content, const FileIdentity& identity);
    template <class Edit>
    int32_t Change(Edit&& edit);

    std::mutex mutex_;
    std::string folder_;
    std::string path_;
    bool loaded_ = false;
    FileIdentity identity_;
    NameSnapshot names_;
    uint64_t loads_ = 0;
};

}  // namespace varnholt::standin
