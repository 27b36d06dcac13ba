#include "Credentials.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>

#include "login/frmLogin.h"
#include "platform/LoginDialog.h"
#include "platform/posix/EchoGuard.h"

namespace varnholt::cli {
namespace {

bool gLoginAsked = false;

class ToolLoginView : public platform::LoginView {
public:
    void ShowModal(frmLogin& dialog) override {
        gLoginAsked = true;
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
        // The guard the login prompt uses: Ctrl-C here must not leave the terminal without echo.
        platform::EchoGuard quiet(STDIN_FILENO);
        if (quiet.Active()) std::fputs("Password: ", stderr);
        std::getline(std::cin, line);
        if (quiet.Active()) std::fputs("\n", stderr);  // the Enter that was not echoed
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

void InstallLoginView() { platform::SetLoginView(std::make_shared<ToolLoginView>()); }

bool LoginWasAsked() { return gLoginAsked; }

}  // namespace varnholt::cli
