#pragma once
// The dialog service: shows a frmLogin modally through a view and returns when it is hidden.
// A view draws the dialog model and forwards a person's actions to it; the model decides.
#include <memory>

namespace varnholt {
class frmLogin;
}

namespace varnholt::platform {

class LoginView {
public:
    virtual ~LoginView() = default;
    // Runs the modal loop of a dialog that is already shown (frmLogin::Show) until it is hidden.
    // Returning early counts as closing the dialog.
    virtual void ShowModal(frmLogin& dialog) = 0;
};

// Installs the view every later ShowLoginDialog of this process uses (hosts, tests); nullptr
// goes back to the platform's own choice.
void SetLoginView(std::shared_ptr<LoginView> view);

// Shows the dialog and runs its modal loop through the installed view, else the platform's
// windowed view, else the terminal view. Without any of them the dialog is closed unanswered,
// which counts as Cancel. Errors of the dialog's logic (a missing Literals subscript) propagate.
void ShowLoginDialog(frmLogin& dialog);

// The platform's windowed view, or nullptr when no window can be shown here (no display).
std::shared_ptr<LoginView> OpenWindowedLoginView();

// A prompt on the process's controlling terminal, or nullptr when it has none.
std::shared_ptr<LoginView> OpenTerminalLoginView();

}  // namespace varnholt::platform
