#include "store/Answers.h"

#include <vector>

#include "store/Files.h"
#include "store/Text.h"

namespace varnholt::standin {

std::optional<Answer> ParseAnswer(std::string_view line) {
    if (IsSkippedLine(line)) return std::nullopt;
    const std::vector<std::string_view> fields = SplitFields(line);
    if (fields.size() < 2 || fields.size() > 3) return std::nullopt;
    Answer answer;
    answer.function = FoldCase(TrimBlanks(fields[0]));
    const std::optional<int32_t> size = ParseInt32(fields[1]);
    if (answer.function.empty() || !size) return std::nullopt;
    answer.size = *size;
    const std::string_view field = fields.size() == 3 ? fields[2] : std::string_view();
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 1 < field.size() && field[i + 1] == '0') {
            text += '\0';
            ++i;
        } else {
            text += field[i];
        }
    }
    answer.bytes = Utf8ToAnsi(text);
    return answer;
}

std::optional<Answer> FindAnswer(const std::string& home, std::string_view function) {
    std::string content;
    FileIdentity identity;
    if (ReadFileContent(home + "/answers", content, identity) != ReadOutcome::kRead) return std::nullopt;
    const std::string wanted = FoldCase(function);
    for (std::string_view line : SplitLines(content))
        if (std::optional<Answer> answer = ParseAnswer(line); answer && answer->function == wanted) return answer;
    return std::nullopt;
}

}  // namespace varnholt::standin
