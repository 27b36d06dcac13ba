#include <charconv>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "login/LoginPicture.h"

namespace varnholt {
namespace {

bool ReadInt(std::string_view& text, int32_t& value) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || value < 0) return false;
    text.remove_prefix(static_cast<size_t>(end - text.data()));
    return true;
}

bool HexColour(std::string_view hex, uint8_t rgb[3]) {
    if (hex.size() != 7 || hex[0] != '#') return false;
    for (int i = 0; i < 3; ++i) {
        const char* first = hex.data() + 1 + 2 * i;
        const auto [end, error] = std::from_chars(first, first + 2, rgb[i], 16);
        if (error != std::errc() || end != first + 2) return false;
    }
    return true;
}

}  // namespace

RgbImage DecodeXpm(const char* const* xpm, size_t lineCount) {
    if (!xpm || lineCount == 0 || !xpm[0]) return {};
    std::string_view header = xpm[0];
    int32_t width = 0, height = 0, colours = 0, perPixel = 0;
    if (!ReadInt(header, width) || !ReadInt(header, height) || !ReadInt(header, colours) ||
        !ReadInt(header, perPixel) || width == 0 || height == 0 || perPixel == 0 || perPixel > 4 ||
        lineCount < 1 + static_cast<size_t>(colours) + static_cast<size_t>(height))
        return {};
    const size_t codeLength = static_cast<size_t>(perPixel);

    std::unordered_map<std::string_view, uint32_t> palette;
    for (int32_t i = 0; i < colours; ++i) {
        const char* line = xpm[1 + i];
        if (!line || std::strlen(line) < codeLength) return {};
        std::string_view entry(line);
        const std::string_view code = entry.substr(0, codeLength);
        entry.remove_prefix(codeLength);
        if (entry.substr(0, 3) != " c ") return {};
        uint8_t rgb[3];
        if (!HexColour(entry.substr(3), rgb)) return {};
        palette[code] = (uint32_t{rgb[0]} << 16) | (uint32_t{rgb[1]} << 8) | rgb[2];
    }

    RgbImage image;
    image.Width = width;
    image.Height = height;
    image.Pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int32_t y = 0; y < height; ++y) {
        const char* line = xpm[1 + colours + y];
        if (!line || std::strlen(line) != codeLength * static_cast<size_t>(width)) return {};
        const std::string_view row(line);
        for (size_t x = 0; x < row.size(); x += codeLength) {
            const auto found = palette.find(row.substr(x, codeLength));
            if (found == palette.end()) return {};
            image.Pixels.push_back(static_cast<uint8_t>(found->second >> 16));
            image.Pixels.push_back(static_cast<uint8_t>(found->second >> 8));
            image.Pixels.push_back(static_cast<uint8_t>(found->second));
        }
    }
    return image;
}

const RgbImage& LoginPicture() {
    static const RgbImage picture = DecodeXpm(kLoginPictureXpm, kLoginPictureXpmLines);
    return picture;
}

}  // namespace varnholt
