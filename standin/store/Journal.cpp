#include "store/Journal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

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
    const std::string path = home + "/journal";
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return;
    std::string line(library);
    line += '\t';
    line += function;
    for (const JournalArg& arg : args) line += '\t' + arg.Format();
    line += '\n';
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t n = ::write(fd, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        rest.remove_prefix(static_cast<size_t>(n));
    }
    ::close(fd);
}

}  // namespace varnholt::standin
