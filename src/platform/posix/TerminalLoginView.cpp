// The login dialog as a prompt on the controlling terminal, for processes without a display.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>

#include "login/frmLogin.h"
#include "platform/LoginDialog.h"
#include "platform/posix/EchoGuard.h"
#include "platform/posix/FileDescriptor.h"

namespace varnholt::platform {
namespace {

std::mutex gPromptMutex;  // one prompt at a time

class TerminalLoginView : public LoginView {
public:
    explicit TerminalLoginView(int fd) : tty_(fd) {}

    void ShowModal(frmLogin& dialog) override {
        std::lock_guard<std::mutex> lock(gPromptMutex);
        std::string heading = ToUtf8(dialog.Caption()) + "\n";
        for (int32_t i : {0, 1}) {
            StringView line = dialog.lblInfo(i).Caption;
            // A leading '@' marks the window's bold banner line; a terminal has no bold to give.
            if (i == 0 && !line.empty() && line.front() == u'@') line.remove_prefix(1);
            if (!line.empty()) heading += ToUtf8(line) + "\n";
        }
        heading += ToUtf8(dialog.lblServer().Caption) + ": " + ToUtf8(dialog.txtServer().DisplayText()) + "\n";
        Write(heading);

        Control& user = dialog.txtUserName();
        if (user.Visible && user.Locked) {
            Write(ToUtf8(dialog.lblUserName().Caption) + ": " + ToUtf8(user.DisplayText()) + "\n");
        } else if (user.Visible) {
            Write(Prompt(dialog.lblUserName(), user));
            const std::optional<std::string> name = ReadLine();
            if (!name) Write("\n");
            if (!Answer(dialog, user, name)) return;
        }

        Control& password = dialog.txtPassword();
        std::optional<std::string> secret;
        {
            EchoGuard quiet(tty_.Get());
            // Never read a password that would be echoed.
            if (quiet.Active()) {
                Write(Prompt(dialog.lblPassword(), password));
                secret = ReadLine();
            }
        }
        Write("\n");  // the person's Enter was not echoed
        if (!Answer(dialog, password, secret)) return;
        dialog.PressEnter();
    }

private:
    static std::string Prompt(const Control& label, const Control& box) {
        std::string prompt = ToUtf8(label.Caption);
        // A prefilled password shows that there is one, never how long it is.
        if (!box.Text.empty()) prompt += " [" + (box.Masked ? std::string(8, '*') : ToUtf8(box.DisplayText())) + "]";
        return prompt + ": ";
    }

    // Enters a line into box as a person would; false when the line cancels the dialog.
    static bool Answer(frmLogin& dialog, Control& box, const std::optional<std::string>& line) {
        if (!line || (!line->empty() && line->front() == '\x1b')) {
            dialog.PressEscape();
            return false;
        }
        dialog.SetFocus(box);
        if (!line->empty()) dialog.TypeText(FromUtf8(*line));
        return true;
    }

    // One line without its end; nullopt at end of input, on a read error, or when a signal
    // interrupted the prompt.
    std::optional<std::string> ReadLine() {
        std::string line;
        for (;;) {
            char c;
            const ssize_t n = read(tty_.Get(), &c, 1);
            if (n == 1) {
                if (c == '\n') break;
                line += c;
            } else if (n < 0 && errno == EINTR && !EchoGuard::Interrupted()) {
                continue;
            } else {
                return std::nullopt;
            }
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
    }

    void Write(const std::string& text) {
        size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = write(tty_.Get(), text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;
            done += static_cast<size_t>(n);
        }
    }

    FileDescriptor tty_;
};

}  // namespace

std::shared_ptr<LoginView> OpenTerminalLoginView() {
    const int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::make_shared<TerminalLoginView>(fd);
}

}  // namespace varnholt::platform
