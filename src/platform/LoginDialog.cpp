#include "platform/LoginDialog.h"

#include <mutex>

#include "login/frmLogin.h"

namespace varnholt::platform {
namespace {

std::mutex gViewMutex;
std::shared_ptr<LoginView>& InstalledView() {
    static std::shared_ptr<LoginView> view;
    return view;
}

std::shared_ptr<LoginView> ChooseView() {
    {
        std::lock_guard<std::mutex> lock(gViewMutex);
        if (InstalledView()) return InstalledView();
    }
    if (auto windowed = OpenWindowedLoginView()) return windowed;
    return OpenTerminalLoginView();
}

}  // namespace

void SetLoginView(std::shared_ptr<LoginView> view) {
    std::lock_guard<std::mutex> lock(gViewMutex);
    InstalledView() = std::move(view);
}

void ShowLoginDialog(frmLogin& dialog) {
    // Shown and activated even when nobody can answer, so a faulty Literals array fails the
    // same way everywhere.
    const std::shared_ptr<LoginView> view = ChooseView();
    dialog.Show();
    if (view) view->ShowModal(dialog);
    if (dialog.Visible()) dialog.Close();
}

}  // namespace varnholt::platform
