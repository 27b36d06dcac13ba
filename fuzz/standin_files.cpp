// The stand-in engine's file parsers on any content: dbnames records, faults and answers
// lines, engine.conf, users, and the numbers inside them. Each parse is checked against a model or a
// round trip through what the engine itself writes.
#include "FuzzCheck.h"
#include "store/Answers.h"
#include "store/EngineHome.h"
#include "store/Faults.h"
#include "store/NameStore.h"
#include "store/Text.h"

using namespace varnholt::fuzz;
using namespace varnholt::standin;

namespace {

// Lines of a file read independently of the engine's reader: "\n", "\r" and "\r\n" each end
// a line, a last line without an end counts, and a byte-order mark at the start is dropped.
std::vector<std::string> ModelLines(std::string content) {
    if (content.starts_with("\xEF\xBB\xBF")) content.erase(0, 3);
    std::string ends;  // every line end as "\n"
    for (size_t i = 0; i < content.size(); ++i)
        if (content[i] != '\r' || i + 1 == content.size() || content[i + 1] != '\n')
            ends += content[i] == '\r' ? '\n' : content[i];
    std::vector<std::string> lines = SplitModel(ends, '\n');
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

// A record line is well-formed UTF-8 with no control character but the separating tabs.
bool ModelRecordText(const std::string& line) {
    for (char c : line)
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) return false;
    return IsValidUtf8(line);
}

bool ModelSkipped(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos || line[0] == '#';
}

// Optional sign, decimal digits, within 32 bits; blanks around allowed.
std::optional<int32_t> ModelInt32(const std::string& field) {
    const std::string text = TrimModel(field);
    const size_t sign = text.starts_with('+') || text.starts_with('-') ? 1 : 0;
    if (text.size() == sign) return std::nullopt;
    long long value = 0;
    for (size_t i = sign; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (text[0] == '-') value = -value;
    if (value > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(value);
}

// FUNCTION NUMBER [MORE], the form faults and answers lines share.
bool ModelCallLine(const std::string& line, const std::vector<std::string>& fields) {
    return !ModelSkipped(line) && (fields.size() == 2 || fields.size() == 3) && !TrimModel(fields[0]).empty() &&
           ModelInt32(fields[1]);
}

void CheckNames(const std::string& content) {
    const std::vector<std::string> lines = ModelLines(content);
    const std::vector<std::string_view> read = SplitLines(content);
    FUZZ_CHECK(read.size() == lines.size(), "SplitLines found " + std::to_string(read.size()) + " lines");
    for (size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(read[i] == lines[i], "line " + std::to_string(i) + " read differently");
        const std::optional<DatabaseName> record = ParseRecord(lines[i]);
        std::vector<std::string> fields = SplitModel(lines[i], '\t');
        if (ModelSkipped(lines[i]) || fields[0].empty() || !ModelRecordText(lines[i])) {
            FUZZ_CHECK(!record, "a record from a skipped line: " + lines[i]);
            continue;
        }
        fields.resize(4);  // the later fields are optional
        FUZZ_CHECK(record == (DatabaseName{fields[0], fields[1], fields[2], ModelInt32(fields[3]).value_or(0)}),
                   "record read differently from: " + lines[i]);
        // What the engine writes for a record reads back as that record.
        const std::optional<DatabaseName> again = ParseRecord(FormatRecord(*record));
        FUZZ_CHECK(again && *again == *record, "record does not survive a write: " + lines[i]);
    }
}

void CheckFaults(const std::string& content) {
    for (const std::string& line : ModelLines(content)) {
        const std::optional<Fault> fault = ParseFault(line);
        const std::vector<std::string> fields = SplitModel(line, '\t');
        bool valid = ModelCallLine(line, fields);
        const bool counted = valid && fields.size() == 3 && !TrimModel(fields[2]).empty();
        if (counted) valid = ModelInt32(fields[2]).value_or(0) >= 1;
        FUZZ_CHECK(fault.has_value() == valid, "fault line " + line + (valid ? " refused" : " accepted"));
        if (!fault) continue;
        FUZZ_CHECK(fault->function == FoldCase(TrimModel(fields[0])) && fault->status == *ModelInt32(fields[1]) &&
                       fault->remaining == (counted ? ModelInt32(fields[2]) : std::nullopt),
                   "fault line read differently: " + line);
        if (!counted || *fault->remaining == 1) continue;
        // The line the engine writes back after one use keeps the fault, one use fewer.
        const std::string rewritten = fields[0] + '\t' + fields[1] + '\t' + std::to_string(*fault->remaining - 1);
        const std::optional<Fault> next = ParseFault(rewritten);
        FUZZ_CHECK(next && next->function == fault->function && next->status == fault->status &&
                       next->remaining == *fault->remaining - 1,
                   "a used fault does not read back: " + rewritten);
    }
}

void CheckAnswers(const std::string& content) {
    for (const std::string& line : ModelLines(content)) {
        const std::optional<Answer> answer = ParseAnswer(line);
        std::vector<std::string> fields = SplitModel(line, '\t');
        // The text may be left out: a size alone answers with no bytes.
        const bool valid = ModelCallLine(line, fields);
        FUZZ_CHECK(answer.has_value() == valid, "answer line " + line + (valid ? " refused" : " accepted"));
        if (!answer) continue;
        // Each \0 is one NUL; the text between them is the code page's form of the rest.
        fields.resize(3);
        std::string expected;
        size_t from = 0;
        for (size_t at; (at = fields[2].find("\\0", from)) != std::string::npos; from = at + 2)
            expected += Utf8ToAnsi(fields[2].substr(from, at - from)) + '\0';
        expected += Utf8ToAnsi(fields[2].substr(from));
        FUZZ_CHECK(answer->function == FoldCase(TrimModel(fields[0])) && answer->size == *ModelInt32(fields[1]) &&
                       answer->bytes == expected,
                   "answer line read differently: " + line);
    }
}

void CheckEngineConf(const std::string& content) {
    EngineVersionInfo expected;
    for (const std::string& line : ModelLines(content)) {
        if (ModelSkipped(line)) continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = TrimModel(line.substr(0, equals));
        const std::string value = TrimModel(line.substr(equals + 1));
        if (key == "platform" && !value.empty()) expected.platform = value[0];
        if (key != "version" || value.empty()) continue;
        std::vector<std::string> parts = SplitModel(value, '.');
        // One "." may end the version: "9." is 9.0.0.
        if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
        if (parts.size() > 3) continue;
        int32_t numbers[3] = {0, 0, 0};
        bool valid = true;
        for (size_t i = 0; i < parts.size() && valid; ++i) {
            const std::optional<int32_t> n = ModelInt32(parts[i]);
            valid = n.has_value();
            numbers[i] = n.value_or(0);
        }
        if (valid) expected.major = numbers[0], expected.minor = numbers[1], expected.build = numbers[2];
    }
    const EngineVersionInfo got = ParseEngineConf(content);
    FUZZ_CHECK(got.major == expected.major && got.minor == expected.minor && got.build == expected.build &&
                   got.platform == expected.platform,
               "engine.conf read differently: " + content);
}

void CheckUsers(const std::string& content, const std::string& user, const std::string& password) {
    // A user is accepted where some line lists it (in any case) with the password; every listed
    // user is accepted with its own.
    bool expected = false;
    for (const std::string& line : ModelLines(content)) {
        const std::vector<std::string> fields = SplitModel(line, '\t');
        if (ModelSkipped(line) || fields.size() < 2) continue;
        expected = expected || (FoldCase(fields[0]) == FoldCase(user) && fields[1] == password);
        FUZZ_CHECK(UsersAccept(content, fields[0], fields[1]), "listed user " + fields[0] + " refused");
    }
    FUZZ_CHECK(UsersAccept(content, user, password) == expected, "users file judged " + user + " differently");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int which = input.ConsumeIntegralInRange(0, 5);
    const std::string user = which == 3 ? input.ConsumeRandomLengthString(16) : "";
    const std::string password = which == 3 ? input.ConsumeRandomLengthString(16) : "";
    const std::string content = input.ConsumeRemainingBytesAsString();
    if (which == 0) CheckNames(content);
    if (which == 1) CheckFaults(content);
    if (which == 2) CheckEngineConf(content);
    if (which == 3) CheckUsers(content, user, password);
    if (which == 4) FUZZ_CHECK(ParseInt32(content) == ModelInt32(content), "ParseInt32 of \"" + content + "\"");
    if (which == 5) CheckAnswers(content);
    return 0;
}
