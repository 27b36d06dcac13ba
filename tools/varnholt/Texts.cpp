#include "Texts.h"

#include <charconv>
#include <fstream>
#include <stdexcept>
#include <vector>

#include "varnholt/DefaultTexts.h"

namespace varnholt::cli {
namespace {

void Put(SafeArray<String>& array, int32_t subscript, String text) {
    if (subscript > array.UBound()) {
        std::vector<String> grown = array.Elements();
        grown.resize(static_cast<size_t>(subscript));
        array = SafeArray<String>::Vector(1, std::move(grown));
    }
    array.At(subscript) = std::move(text);
}

}  // namespace

Texts DefaultTexts() { return {DefaultLiterals(), DefaultLits()}; }

void LoadTexts(const std::string& path, Texts& texts) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the texts file " + path);
    constexpr int32_t kHighestSubscript = 1000;
    std::string line;
    for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        const size_t tab = line.find('\t');
        const bool provisioning = line.front() == 'P';
        const char* first = line.data() + (provisioning ? 1 : 0);
        const char* last = line.data() + (tab == std::string::npos ? line.size() : tab);
        int32_t subscript = 0;
        const auto [end, error] = std::from_chars(first, last, subscript);
        if (tab == std::string::npos || error != std::errc() || end != last || first == last || subscript < 1 ||
            subscript > kHighestSubscript)
            throw std::runtime_error(path + ":" + std::to_string(lineNumber) +
                                     ": expected NUMBER<TAB>TEXT or PNUMBER<TAB>TEXT, with NUMBER from 1 to " +
                                     std::to_string(kHighestSubscript));
        Put(provisioning ? texts.Lits : texts.Literals, subscript, FromUtf8(line.substr(tab + 1)));
    }
    if (in.bad()) throw std::runtime_error("cannot read the texts file " + path);
}

}  // namespace varnholt::cli
