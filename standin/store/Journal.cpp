#include "store/Journal.h"

#include "store/Files.h"
#include "store/Text.h"

namespace varnholt::standin {

std::string JournalArg::Format() const {
    if (kind_ == Kind::kNumber) return std::to_string(number_);
    if (!text_) return "(null)";
    std::string text = kind_ == Kind::kAnsi ? AnsiToUtf8(text_) : std::string(text_);
    for (char& ch : text)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = '?';
    return text;
}

void RecordCall(const std::string& home, std::string_view library, std::string_view function,
                std::initializer_list<JournalArg> args) {
    RecordCall(home, library, function, std::span<const JournalArg>(args.begin(), args.size()));
}

void RecordCall(const std::string& home, std::string_view library, std::string_view function,
                std::span<const JournalArg> args) {
    std::string line(library);
    line += '\t';
    line += function;
    for (const JournalArg& arg : args) line += '\t' + arg.Format();
    line += '\n';
    AppendRecord(home + "/journal", line);
}

}  // namespace varnholt::standin
