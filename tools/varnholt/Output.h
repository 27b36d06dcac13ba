#pragma once
// What the tool prints: one JSON value per command with --json, else short plain text.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "varnholt/String.h"

namespace varnholt::cli {

// A JSON string literal, UTF-8.
std::string JsonText(StringView text);

// Builds one JSON object, keys in the order added.
class JsonObject {
public:
    JsonObject& Add(const std::string& key, StringView value);
    JsonObject& Add(const std::string& key, const char16_t* value) { return Add(key, StringView(value)); }
    JsonObject& Add(const std::string& key, int64_t value);
    JsonObject& Add(const std::string& key, int32_t value) { return Add(key, static_cast<int64_t>(value)); }
    JsonObject& Add(const std::string& key, bool value);
    JsonObject& AddNull(const std::string& key);
    // value must already be JSON.
    JsonObject& AddJson(const std::string& key, const std::string& value);
    std::string Text() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};

std::string JsonArray(const std::vector<std::string>& jsonValues);

// Columns padded to their widest cell, two blanks apart; the last column is not padded.
std::string Table(const std::vector<std::vector<String>>& rows);

// "Label  value" lines with the values aligned.
std::string Pairs(const std::vector<std::pair<std::string, String>>& pairs);

// One line however many line breaks the text holds: each run of CR/LF becomes one blank.
std::string OneLine(StringView text);

}  // namespace varnholt::cli
