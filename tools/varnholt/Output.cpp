#include "Output.h"

#include <algorithm>
#include <cstdio>

namespace varnholt::cli {
namespace {

// Width on a terminal, counting code points; surrogate pairs are one.
size_t Width(StringView text) {
    return static_cast<size_t>(
        std::count_if(text.begin(), text.end(), [](char16_t c) { return c < 0xDC00 || c > 0xDFFF; }));
}

}  // namespace

std::string JsonText(StringView text) {
    const std::string utf8 = ToUtf8(text);
    std::string out = "\"";
    for (const char c : utf8) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

JsonObject& JsonObject::AddJson(const std::string& key, const std::string& value) {
    if (!body_.empty()) body_ += ",";
    body_ += JsonText(FromUtf8(key)) + ":" + value;
    return *this;
}

JsonObject& JsonObject::Add(const std::string& key, StringView value) { return AddJson(key, JsonText(value)); }
JsonObject& JsonObject::Add(const std::string& key, int64_t value) { return AddJson(key, std::to_string(value)); }
JsonObject& JsonObject::Add(const std::string& key, bool value) { return AddJson(key, value ? "true" : "false"); }
JsonObject& JsonObject::AddNull(const std::string& key) { return AddJson(key, "null"); }

std::string JsonArray(const std::vector<std::string>& jsonValues) {
    std::string out = "[";
    for (size_t i = 0; i < jsonValues.size(); ++i) out += (i ? "," : "") + jsonValues[i];
    return out + "]";
}

std::string Table(const std::vector<std::vector<String>>& rows) {
    std::vector<size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], Width(row[c]));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            line += ToUtf8(row[c]);
            if (c + 1 < row.size()) line.append(widths[c] - Width(row[c]) + 2, ' ');
        }
        out += line + "\n";
    }
    return out;
}

std::string Pairs(const std::vector<std::pair<std::string, String>>& pairs) {
    size_t width = 0;
    for (const auto& [label, value] : pairs) width = std::max(width, label.size());
    std::string out;
    for (const auto& [label, value] : pairs)
        out += label + std::string(width - label.size() + 2, ' ') + ToUtf8(value) + "\n";
    return out;
}

std::string OneLine(StringView text) {
    std::string out;
    bool inBreak = false;
    for (const char c : ToUtf8(text)) {
        if (c == '\r' || c == '\n') {
            if (!inBreak) out += ' ';
            inBreak = true;
        } else {
            out += c;
            inBreak = false;
        }
    }
    return out;
}

}  // namespace varnholt::cli
