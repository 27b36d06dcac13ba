#include "platform/LoginDialog.h"

#include <mutex>
#include <utility>

#include "login/frmLogin.h"
#include "varnholt/Login.h"

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

namespace varnholt {
namespace {

// A program's handler in the place of a view.
class HandlerView : public platform::LoginView {
public:
    explicit HandlerView(LoginHandler handler) : handler_(std::move(handler)) {}
    void ShowModal(frmLogin& dialog) override {
        LoginRequest request(dialog);
        handler_(request);
    }

private:
    LoginHandler handler_;
};

bool ShowIn(const std::shared_ptr<platform::LoginView>& view, frmLogin& dialog) {
    if (!view) return false;
    view->ShowModal(dialog);
    return true;
}

}  // namespace

String LoginRequest::Caption() const { return dialog_.Caption(); }
String LoginRequest::Server() const { return dialog_.GetServerName(); }
String LoginRequest::UserName() const { return dialog_.txtUserName().Text; }

void LoginRequest::Answer(const String& user, const String& password) {
    Control& box = dialog_.txtUserName();
    if (box.Visible && !box.Locked) box.Text = user;
    dialog_.txtPassword().Text = password;
    dialog_.cmdOK_Click();
}

void LoginRequest::Cancel() { dialog_.cmdCancel_Click(); }
bool LoginRequest::ShowWindow() { return ShowIn(platform::OpenWindowedLoginView(), dialog_); }
bool LoginRequest::ShowOnTerminal() { return ShowIn(platform::OpenTerminalLoginView(), dialog_); }
bool LoginRequest::Cancelled() const { return dialog_.Cancelled; }

void SetLoginHandler(LoginHandler handler) {
    platform::SetLoginView(handler ? std::make_shared<HandlerView>(std::move(handler)) : nullptr);
}

}  // namespace varnholt
