#pragma once
// Shared test helpers: UTF-8 literals to String, error assertions, temporary folders and a
// fresh stand-in engine home per test.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "varnholt/Error.h"
#include "varnholt/SafeArray.h"
#include "varnholt/String.h"

namespace varnholt::test {

inline String S(const std::string& utf8) { return FromUtf8(utf8); }
inline std::string U8(const String& text) { return ToUtf8(text); }

// Runs fn and checks it raised exactly number/source/description.
template <class Fn>
::testing::AssertionResult RaisesError(Fn&& fn, int32_t number, const std::string& source,
                                       const std::string& description) {
    try {
        fn();
    } catch (const Error& e) {
        if (e.Number() == number && U8(e.Source()) == source && U8(e.Description()) == description)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure()
               << "raised " << e.what() << "\n expected error " << number << " (" << source << "): " << description;
    }
    return ::testing::AssertionFailure() << "nothing was raised; expected error " << number;
}
#define EXPECT_RAISES(stmt, number, source, description) \
    EXPECT_TRUE(::varnholt::test::RaisesError([&] { stmt; }, number, source, description))

// A run-time error with its standard description and source.
#define EXPECT_RUNTIME_ERROR(stmt, number) \
    EXPECT_RAISES(stmt, number, "Varnholt", ::varnholt::test::U8(::varnholt::RuntimeErrorText(number)))

// The process environment, as both the C run time and the platform's own calls read it.
void SetEnv(const char* name, const std::string& utf8);
void SetEnv(const char* name, const std::filesystem::path& path);
void UnsetEnv(const char* name);

// An environment variable whose value, whatever the test sets, comes back when the object goes.
class ScopedEnv {
public:
    explicit ScopedEnv(const char* name);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* name_;
    std::optional<std::string> previous_;
};

// The name the system gives this computer, as its own call reports it.
std::string HostName();
// The system's own text for a folder that does not exist, as the file members quote it.
std::string MissingFolderReason();
#ifdef _WIN32
// The system's text for an error code, without its closing period and line break.
std::string SystemReason(unsigned long code);
#endif

// Literals(1..n) as the client builds them, from UTF-8 texts.
SafeArray<String> Strings(int32_t lower, const std::vector<std::string>& items);

class TempDir {
public:
    TempDir();
    // A folder that drive `letter` names, for tests whose paths go through a drive letter. Under
    // Wine it is the drive's root (the test prefix links M: and S: to folders of the build; tests
    // using one hold the CTest lock "drive-letters"), emptied before and after; elsewhere the
    // drive table maps the letter, and this is a fresh folder like any other.
    explicit TempDir(char letter);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    // Writes a file (creating its folders) and returns its path.
    std::filesystem::path Write(const std::string& relative, const std::string& content) const;

private:
    std::filesystem::path path_;
    bool driveRoot_ = false;
};

std::string ReadFile(const std::filesystem::path& path);
std::vector<std::string> ReadLines(const std::filesystem::path& path);
std::vector<std::string> SplitTabs(const std::string& line);

// A fresh engine home for the stand-in engine, selected through VARNHOLT_ENGINE_HOME for the
// life of the object.
class EngineHome {
public:
    EngineHome();
    const std::filesystem::path& Path() const { return dir_.Path(); }

    // server "" is the local engine.
    void AddName(const std::string& server, const std::string& name, const std::string& dict, const std::string& data,
                 int32_t flags = 2) const;
    void AddServer(const std::string& server) const;  // a server with no names
    void SetUsers(const std::string& server, const std::vector<std::pair<std::string, std::string>>& users) const;
    void SetFaults(const std::string& lines) const;
    // FUNCTION SIZE TEXT lines: the name reads hand back TEXT (\0 a NUL) and report SIZE.
    void SetAnswers(const std::string& lines) const;
    void SetEngineConf(const std::string& version, const std::string& platform) const;
    void EnableJournal() const;
    // Journal lines, tab-separated fields each.
    std::vector<std::vector<std::string>> Journal() const;
    // Journal lines without the library column, joined by blanks: "PvGetDbName -1 1 255".
    std::vector<std::string> Calls() const;
    void ClearJournal() const;
    // dbnames records of a server: NAME DICTPATH DATAPATH FLAGS.
    std::vector<std::vector<std::string>> Names(const std::string& server) const;

private:
    std::filesystem::path ServerDir(const std::string& server) const;
    TempDir dir_;
    ScopedEnv env_{"VARNHOLT_ENGINE_HOME"};
};

}  // namespace varnholt::test
