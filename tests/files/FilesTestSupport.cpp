#include "FilesTestSupport.h"

#include <algorithm>

namespace varnholt::test {

namespace fs = std::filesystem;

ScopedDrives::ScopedDrives(const std::vector<std::string>& lines) {
    std::string text;
    for (std::string line : lines) {
        for (size_t at = line.find('@'); at != std::string::npos; at = line.find('@', at))
            line.replace(at, 1, dir_.Path().string());
        text += line + "\n";
    }
    SetEnv("VARNHOLT_DRIVES", dir_.Write("drives", text));
}

std::string Lit(int32_t index) { return "Literal " + std::to_string(index); }

ConnectionHelper& WithLiterals(ConnectionHelper& helper, int32_t last) {
    std::vector<std::string> texts;
    for (int32_t i = 1; i <= last; ++i) texts.push_back(Lit(i));
    helper.SetLiterals(Strings(1, texts));
    return helper;
}

String Folder(const fs::path& path) { return S(path.string() + "\\"); }

std::vector<std::string> Entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace varnholt::test
