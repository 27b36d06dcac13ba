#include "odbc/DriverText.h"

#include <algorithm>
#include <vector>

#include "store/Text.h"

namespace varnholt::standin {
namespace {

// The blanks of the C locale's isspace.
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// A left-to-right reader of one statement. Iterative on purpose: a statement of any length
// costs no stack, where a backtracking matcher would recurse once per character.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    // Skips blanks; false when required and there were none.
    bool Blanks(bool required) {
        const size_t start = pos_;
        while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
        return !required || pos_ > start;
    }
    // A lower-case keyword in any case.
    bool Word(std::string_view keyword) {
        if (text_.size() - pos_ < keyword.size()) return false;
        for (size_t i = 0; i < keyword.size(); ++i)
            if (LowerAscii(text_[pos_ + i]) != keyword[i]) return false;
        pos_ += keyword.size();
        return true;
    }
    bool Digits() {
        const size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
        return pos_ > start;
    }
    bool Char(char c) {
        if (pos_ == text_.size() || text_[pos_] != c) return false;
        ++pos_;
        return true;
    }
    // The run of non-blank characters from here.
    std::string_view Token() {
        const size_t start = pos_;
        while (pos_ < text_.size() && !IsSpace(text_[pos_])) ++pos_;
        return text_.substr(start, pos_ - start);
    }
    bool AtEnd() const { return pos_ == text_.size(); }

private:
    std::string_view text_;
    size_t pos_ = 0;
};

}  // namespace

std::optional<std::string> Attribute(std::string_view text, std::string_view wanted) {
    std::optional<std::string> found;
    while (!text.empty()) {
        const size_t equals = text.find('=');
        const size_t semicolon = text.find(';');
        if (equals == std::string_view::npos || semicolon < equals) {
            if (semicolon == std::string_view::npos) break;
            text.remove_prefix(semicolon + 1);
            continue;
        }
        const std::string_view key = TrimBlanks(text.substr(0, equals));
        text.remove_prefix(equals + 1);
        std::string value;
        const size_t blanks = text.find_first_not_of(" \t");
        if (blanks != std::string_view::npos && text[blanks] == '{') {
            size_t i = blanks + 1;
            for (; i < text.size(); ++i) {
                if (text[i] != '}') {
                    value += text[i];
                } else if (i + 1 < text.size() && text[i + 1] == '}') {
                    value += '}';
                    ++i;
                } else {
                    break;
                }
            }
            text.remove_prefix(std::min(text.size(), i + 1));
            const size_t next = text.find(';');
            text.remove_prefix(next == std::string_view::npos ? text.size() : next + 1);
        } else {
            const size_t end = text.find(';');
            value = std::string(TrimBlanks(text.substr(0, end)));
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        }
        if (!found && SameText(key, wanted)) found = std::move(value);
    }
    return found;
}

std::optional<std::string> SelectTable(std::string_view sql) {
    Reader reader(sql);
    reader.Blanks(false);
    if (!(reader.Word("select") && reader.Blanks(true))) return std::nullopt;
    if (reader.Word("top") && !(reader.Blanks(true) && reader.Digits() && reader.Blanks(true))) return std::nullopt;
    if (!(reader.Char('*') && reader.Blanks(true) && reader.Word("from") && reader.Blanks(true))) return std::nullopt;
    std::string_view table = reader.Token();
    if (table.empty()) return std::nullopt;
    // What follows the name: blanks, at most one ";", blanks. A ";" that ends the name itself
    // is that one ";" when nothing but blanks follows.
    reader.Blanks(false);
    if (reader.AtEnd()) {
        if (table.size() >= 2 && table.back() == ';') table.remove_suffix(1);
    } else if (!(reader.Char(';') && (reader.Blanks(false), reader.AtEnd()))) {
        return std::nullopt;
    }
    const bool quoted = table.size() >= 2 && ((table.front() == '"' && table.back() == '"') ||
                                              (table.front() == '[' && table.back() == ']'));
    if (quoted) table = table.substr(1, table.size() - 2);
    return std::string(table);
}

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    // Both sides as characters (UTF-8 sequences) after case folding; "_" takes one character.
    struct Piece {
        enum { kChar, kOne, kAny } kind;
        std::string_view text;
    };
    auto characters = [](std::string_view text) {
        std::vector<std::string_view> out;
        for (size_t i = 0; i < text.size();) {
            size_t next = i + 1;
            while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) ++next;
            out.push_back(text.substr(i, next - i));
            i = next;
        }
        return out;
    };
    const std::string foldedName = FoldCase(name), foldedPattern = FoldCase(pattern);
    const std::vector<std::string_view> text = characters(foldedName);
    std::vector<Piece> pieces;
    const std::vector<std::string_view> patternChars = characters(foldedPattern);
    for (size_t i = 0; i < patternChars.size(); ++i) {
        const std::string_view c = patternChars[i];
        if (c == "\\" && i + 1 < patternChars.size())
            pieces.push_back({Piece::kChar, patternChars[++i]});
        else if (c == "%")
            pieces.push_back({Piece::kAny, c});
        else if (c == "_")
            pieces.push_back({Piece::kOne, c});
        else
            pieces.push_back({Piece::kChar, c});
    }
    // Greedy with one resume point: the last "%" seen is retried one character further on.
    size_t t = 0, p = 0;
    std::optional<std::pair<size_t, size_t>> resume;
    while (t < text.size()) {
        if (p < pieces.size() && pieces[p].kind == Piece::kAny) {
            resume = {++p, t};
        } else if (p < pieces.size() && (pieces[p].kind == Piece::kOne || pieces[p].text == text[t])) {
            ++p;
            ++t;
        } else if (resume) {
            p = resume->first;
            t = ++resume->second;
        } else {
            return false;
        }
    }
    while (p < pieces.size() && pieces[p].kind == Piece::kAny) ++p;
    return p == pieces.size();
}

}  // namespace varnholt::standin
