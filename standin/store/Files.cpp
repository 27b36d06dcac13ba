#include "store/Files.h"

namespace varnholt::standin {

std::string ParentFolder(const std::string& path) {
#ifdef _WIN32
    const size_t slash = path.find_last_of("/\\");
#else
    const size_t slash = path.find_last_of('/');
#endif
    if (slash == std::string::npos) return {};
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::filesystem::path NativePath(const std::string& utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8Path(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace varnholt::standin
