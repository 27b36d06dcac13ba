#pragma once
// Drive tables, literals and the private helpers of ConnectionHelper for the tests of the path
// and file members.
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "varnholt/ConnectionHelper.h"

namespace varnholt {

struct FilesTestAccess {
    static bool CopyDictionaryFiles(ConnectionHelper& helper, const String& source, const String& target) {
        return helper.CopyDictionaryFiles(source, target);
    }
    static String AddBackslash(const String& path) { return ConnectionHelper::AddBackslash(path); }
    static String GetUNCPathOfDriveLetter(ConnectionHelper& helper, const String& drive) {
        return helper.GetUNCPathOfDriveLetter(drive);
    }
};

namespace test {

// VARNHOLT_DRIVES for the life of the object: unset (the default table), or a table file of
// these tab-separated lines, in which "@" stands for the table's own folder.
class ScopedDrives {
public:
    ScopedDrives() { UnsetEnv("VARNHOLT_DRIVES"); }
    explicit ScopedDrives(const std::vector<std::string>& lines);
    const std::filesystem::path& Root() const { return dir_.Path(); }

private:
    TempDir dir_;
    ScopedEnv env_{"VARNHOLT_DRIVES"};
};

// Literals(1..last) are "Literal 1" ... "Literal <last>".
ConnectionHelper& WithLiterals(ConnectionHelper& helper, int32_t last = 34);
std::string Lit(int32_t index);

// A folder as the file members take it: "/tmp/x" -> "/tmp/x\".
String Folder(const std::filesystem::path& path);

// Every entry of a folder, hidden ones included, sorted.
std::vector<std::string> Entries(const std::filesystem::path& folder);

}  // namespace test
}  // namespace varnholt
