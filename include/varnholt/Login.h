#pragma once
// The login prompt that members of ConnectionHelper show when they need credentials, for
// programs that answer it their own way; and a line of standard input read without echo.
#include <functional>
#include <string>

#include "varnholt/String.h"

namespace varnholt {

class frmLogin;

// One prompt, as the installed handler receives it: what the dialog shows, and the ways to
// answer it. Valid only during the handler's call. A handler that returns without answering
// leaves the prompt cancelled.
class LoginRequest {
public:
    // Made by the library around the dialog it shows.
    explicit LoginRequest(frmLogin& dialog) : dialog_(dialog) {}

    String Caption() const;   // the prompt's title
    String Server() const;    // the server the login is for; "" for the local engine
    String UserName() const;  // the user name offered (a forced login's is fixed)

    // Answers as the OK button does. user is ignored where the prompt does not let it be
    // changed (a fixed user name, a password-only prompt).
    void Answer(const String& user, const String& password);
    void Cancel();
    // The library's own prompts: in a window, or on the process's controlling terminal. Each
    // returns false, answering nothing, when it cannot be shown here (no display, no terminal,
    // a build without it); else the person's answer or cancel stands.
    bool ShowWindow();
    bool ShowOnTerminal();
    // Whether the prompt stands cancelled (before any answer it does).
    bool Cancelled() const;

private:
    frmLogin& dialog_;
};

using LoginHandler = std::function<void(LoginRequest&)>;

// Installs the handler that every later prompt of the process goes to; it runs on the thread
// that prompts. An empty handler restores the library's own choice: a window, else the terminal, else
// cancelled. Errors the handler throws pass out of the member that prompted.
void SetLoginHandler(LoginHandler handler);

// One line of standard input, UTF-8, without its line end (LF or CR LF); what there is at the
// end of input. When standard input is a terminal its echo is off while the line is read (put
// back on every way out, on POSIX a signal that ends the program included), prompt is written
// to standard error first and a line end after.
std::string ReadLineWithoutEcho(const char* prompt);

}  // namespace varnholt
