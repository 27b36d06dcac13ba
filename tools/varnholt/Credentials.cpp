#include "Credentials.h"

#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>

#include "login/frmLogin.h"
#include "platform/LoginDialog.h"

namespace varnholt::cli {
namespace {

// Echo off on a terminal for the life of the object.
class QuietTerminal {
public:
    explicit QuietTerminal(int fd) : fd_(fd) {
        if (!isatty(fd_) || tcgetattr(fd_, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
        active_ = tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~QuietTerminal() {
        if (!active_) return;
        tcsetattr(fd_, TCSANOW, &saved_);
        std::fputs("\n", stderr);  // the Enter that was not echoed
    }
    QuietTerminal(const QuietTerminal&) = delete;
    QuietTerminal& operator=(const QuietTerminal&) = delete;
    bool Active() const { return active_; }

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

class ToolLoginView : public platform::LoginView {
public:
    void ShowModal(frmLogin& dialog) override {
        std::shared_ptr<platform::LoginView> view = platform::OpenWindowedLoginView();
        if (!view) view = platform::OpenTerminalLoginView();
        const std::string server = ToUtf8(dialog.GetServerName());
        const std::string target = server.empty() ? "the database engine" : "server " + server;
        if (!view) {
            std::fprintf(stderr,
                         "varnholt: a login to %s is needed, but there is no terminal or display to ask on, so "
                         "it counts as cancelled (give --user and --password-stdin)\n",
                         target.c_str());
            return;
        }
        view->ShowModal(dialog);
        if (dialog.Cancelled) std::fprintf(stderr, "varnholt: login to %s cancelled\n", target.c_str());
    }
};

}  // namespace

std::string ReadPasswordLine() {
    std::string line;
    {
        QuietTerminal quiet(STDIN_FILENO);
        if (quiet.Active()) std::fputs("Password: ", stderr);
        std::getline(std::cin, line);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void InstallLoginView() { platform::SetLoginView(std::make_shared<ToolLoginView>()); }

}  // namespace varnholt::cli
