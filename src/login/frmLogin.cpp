#include "login/frmLogin.h"

#include <algorithm>
#include <limits>

#include "varnholt/Error.h"
#include "varnholt/Types.h"

namespace varnholt {
namespace {

Control Make(const char* name, ControlKind kind, int32_t left, int32_t top, int32_t width, int32_t height,
             String caption = {}) {
    Control c;
    c.Name = name;
    c.Kind = kind;
    c.Left = left;
    c.Top = top;
    c.Width = width;
    c.Height = height;
    c.Caption = std::move(caption);
    return c;
}

int32_t ClampedLength(size_t length) {
    return static_cast<int32_t>(std::min<size_t>(length, std::numeric_limits<int32_t>::max()));
}

}  // namespace

String Control::DisplayText() const { return Masked ? String(Text.size(), u'*') : Text; }

// Captions are the design texts; loading replaces every one a person can see.
frmLogin::frmLogin()
    : caption_(u"Login"),
      frame1_(Make("Frame1", ControlKind::Panel, 0, 0, 5715, 1083)),
      picture1_(Make("Picture1", ControlKind::Picture, 4560, -30, 1155, 1080)),
      line1_(Make("Line1", ControlKind::Line, 0, 1050, 5715, 0)),
      lblInfo_{Make("lblInfo(0)", ControlKind::Label, 150, 90, 3165, 225, u"@Specify the login information,"),
               Make("lblInfo(1)", ControlKind::Label, 150, 390, 4185, 585, u"Enter the login name and password.")},
      lblServer_(Make("lblServer", ControlKind::Label, 150, 1350, 1080, 270, u"Server")),
      txtServer_(Make("txtServer", ControlKind::TextBox, 1320, 1350, 3465, 285)),
      lblUserName_(Make("lblUserName", ControlKind::Label, 135, 1770, 1080, 270, u"User Name")),
      txtUserName_(Make("txtUserName", ControlKind::TextBox, 1320, 1740, 3465, 285)),
      lblPassword_(Make("lblPassword", ControlKind::Label, 135, 2160, 1080, 270, u"Password")),
      txtPassword_(Make("txtPassword", ControlKind::TextBox, 1320, 2145, 3465, 285)),
      cmdOK_(Make("cmdOK", ControlKind::Button, 2820, 2880, 1365, 360, u"OK")),
      cmdCancel_(Make("cmdCancel", ControlKind::Button, 4290, 2850, 1335, 360, u"Cancel")) {
    frame1_.BackColor = kColorWhite;
    for (Control* inBanner : {&picture1_, &line1_, &lblInfo_[0], &lblInfo_[1]}) inBanner->Container = &frame1_;
    line1_.LineColor = kColorLightGrey;
    lblInfo_[0].Bold = true;
    lblInfo_[0].Transparent = lblInfo_[1].Transparent = true;
    txtServer_.Enabled = false;
    txtPassword_.Masked = true;
    cmdOK_.Default = true;
    cmdCancel_.Cancel = true;

    // The boxes and buttons a person works with come first; the disabled server box keeps its
    // tab stop but can never take the focus.
    int32_t tabIndex = 0;
    for (Control* c : {&txtUserName_, &txtPassword_, &cmdOK_, &cmdCancel_, &txtServer_}) {
        c->TabIndex = tabIndex++;
        c->TabStop = true;
    }
    for (Control* c : {&frame1_, &picture1_, &lblInfo_[0], &lblInfo_[1], &lblServer_, &lblUserName_, &lblPassword_})
        c->TabIndex = tabIndex++;
}

void frmLogin::SetLiterals(const SafeArray<String>& value) { literals_ = value; }

SafeArray<String> frmLogin::GetLiterals() const { return literals_; }

void frmLogin::SetServerName(const String& value) { serverName_ = value; }

const String& frmLogin::Literal(int32_t index) const { return literals_.At(index); }

void frmLogin::EnsureLoaded() {
    if (loaded_) return;
    // Loading runs once even when it fails part way, as the dialog exists from its first use.
    loaded_ = true;
    Form_Load();
}

Control& frmLogin::Loaded(Control& control) {
    EnsureLoaded();
    return control;
}

void frmLogin::Form_Load() {
    Cancelled = true;
    txtServer_.Text = serverName_;
    lblInfo_[0].Caption = Literal(2);
    lblInfo_[1].Caption = Literal(3);
    lblServer_.Caption = Literal(5);
    lblUserName_.Caption = Literal(6);
    lblPassword_.Caption = Literal(4);
    cmdOK_.Caption = Literal(8);
    cmdCancel_.Caption = Literal(9);
}

void frmLogin::Mode(int32_t value) {
    switch (value) {
        case ePasswordOnly: {
            Control& user = txtUserName();
            if (!user.Visible) return;
            user.Visible = false;
            lblUserName_.Visible = false;
            // What lay below the user row closes the gap; the banner and the server row stay.
            const int32_t rowHeight = user.Height;
            for (Control* below : {&lblPassword_, &txtPassword_, &cmdOK_, &cmdCancel_}) below->Top -= rowHeight;
            clientHeight_ -= rowHeight;
            break;
        }
        case eUserLocked: txtUserName().Locked = true; break;
        default: break;
    }
}

String frmLogin::Caption() {
    EnsureLoaded();
    return caption_;
}

void frmLogin::SetCaption(const String& value) {
    EnsureLoaded();
    caption_ = value;
    captionGiven_ = true;
}

int32_t frmLogin::ClientWidth() {
    EnsureLoaded();
    return clientWidth_;
}

int32_t frmLogin::ClientHeight() {
    EnsureLoaded();
    return clientHeight_;
}

Control& frmLogin::Frame1() { return Loaded(frame1_); }
Control& frmLogin::Picture1() { return Loaded(picture1_); }
Control& frmLogin::Line1() { return Loaded(line1_); }
Control& frmLogin::lblServer() { return Loaded(lblServer_); }
Control& frmLogin::txtServer() { return Loaded(txtServer_); }
Control& frmLogin::lblUserName() { return Loaded(lblUserName_); }
Control& frmLogin::txtUserName() { return Loaded(txtUserName_); }
Control& frmLogin::lblPassword() { return Loaded(lblPassword_); }
Control& frmLogin::txtPassword() { return Loaded(txtPassword_); }
Control& frmLogin::cmdOK() { return Loaded(cmdOK_); }
Control& frmLogin::cmdCancel() { return Loaded(cmdCancel_); }

Control& frmLogin::lblInfo(int32_t index) {
    if (index < 0 || index > 1) RaiseRuntime(kSubscriptOutOfRange);
    return Loaded(lblInfo_[static_cast<size_t>(index)]);
}

std::vector<Control*> frmLogin::Controls() {
    EnsureLoaded();
    return {&frame1_,      &picture1_,    &line1_,       &lblInfo_[0],  &lblInfo_[1], &lblServer_, &txtServer_,
            &lblUserName_, &txtUserName_, &lblPassword_, &txtPassword_, &cmdOK_,      &cmdCancel_};
}

void frmLogin::Show() {
    EnsureLoaded();
    visible_ = true;
    Form_Activate();
    focus_ = nullptr;
    MoveFocus(+1);
}

void frmLogin::Form_Activate() {
    EnsureLoaded();
    txtServer_.Text = serverName_.empty() ? u"{" + Literal(7) + u"}" : serverName_;
    // Literals(1) is read even when the caller's title wins, so a short array fails alike.
    const String& prefix = Literal(1);
    if (!captionGiven_) caption_ = prefix + u" " + serverName_;
}

void frmLogin::cmdOK_Click() {
    Pswd = txtPassword_.Text;
    userName = txtUserName_.Text;
    Cancelled = false;
    Hide();
}

void frmLogin::cmdCancel_Click() {
    Cancelled = true;
    Hide();
}

void frmLogin::txtUserName_GotFocus() { CoverText(txtUserName_); }

void frmLogin::txtPassword_GotFocus() { CoverText(txtPassword_); }

void frmLogin::CoverText(Control& txtX) noexcept {
    txtX.SelStart = 0;
    txtX.SelLength = ClampedLength(txtX.Text.size());
}

Control* frmLogin::ActiveControl() { return focus_; }

bool frmLogin::SetFocus(Control& control) {
    const std::vector<Control*> all = Controls();
    if (std::find(all.begin(), all.end(), &control) == all.end() || !control.CanTakeFocus()) return false;
    if (focus_ == &control) return true;
    focus_ = &control;
    if (&control == &txtUserName_) txtUserName_GotFocus();
    if (&control == &txtPassword_) txtPassword_GotFocus();
    return true;
}

void frmLogin::FocusNext() { MoveFocus(+1); }

void frmLogin::FocusPrevious() { MoveFocus(-1); }

void frmLogin::MoveFocus(int step) {
    std::vector<Control*> order;
    for (Control* c : Controls())
        if (c->CanTakeFocus()) order.push_back(c);
    if (order.empty()) return;
    std::sort(order.begin(), order.end(), [](const Control* a, const Control* b) { return a->TabIndex < b->TabIndex; });
    const auto current = std::find(order.begin(), order.end(), focus_);
    const auto count = static_cast<ptrdiff_t>(order.size());
    ptrdiff_t next;
    if (current == order.end())
        next = step > 0 ? 0 : count - 1;
    else
        next = ((current - order.begin()) + step % count + count) % count;
    SetFocus(*order[static_cast<size_t>(next)]);
}

bool frmLogin::TypeText(const String& text) {
    Control* box = focus_;
    if (!box || box->Kind != ControlKind::TextBox || box->Locked || !box->CanTakeFocus()) return false;
    const size_t length = box->Text.size();
    const size_t start = std::min<size_t>(static_cast<size_t>(std::max(box->SelStart, 0)), length);
    const size_t selected = std::min<size_t>(static_cast<size_t>(std::max(box->SelLength, 0)), length - start);
    box->Text.replace(start, selected, text);
    box->SelStart = ClampedLength(start + text.size());
    box->SelLength = 0;
    return true;
}

void frmLogin::PressEnter() {
    if (focus_ == &cmdCancel_)
        cmdCancel_Click();
    else
        cmdOK_Click();
}

void frmLogin::PressEscape() { cmdCancel_Click(); }

}  // namespace varnholt
