// The people-facing members of ConnectionHelper: the login prompt and placeholder filling.
#include "login/frmLogin.h"
#include "platform/LoginDialog.h"
#include "varnholt/ConnectionHelper.h"

namespace varnholt {

udtLoginCreds ConnectionHelper::Login(int32_t Mode, const String& Caption, const String& DefaultUser,
                                      const String& DefaultPswd, const String& Server) {
    // One dialog per call, released on every way out.
    frmLogin dialog;
    dialog.SetLiterals(literals_);
    dialog.Mode(Mode);
    dialog.SetServerName(Server);
    if (!Caption.empty()) dialog.SetCaption(Caption);
    dialog.txtUserName().Text = DefaultUser;
    dialog.txtPassword().Text = DefaultPswd;
    platform::ShowLoginDialog(dialog);

    udtLoginCreds result;
    result.Cancelled = dialog.Cancelled;
    if (!result.Cancelled) {
        if (dialog.userName.empty() || dialog.Pswd.empty())
            Raise(kObjectErrorBase + 1, u"Kestrin.Varnholt.ConnectionHelper.Login", Literal(34));
        result.User = dialog.userName;
        result.Pswd = dialog.Pswd;
    }
    return result;
}

String ConnectionHelper::GetLabel(const String& prompt, const std::vector<Variant>& Parms) {
    String text = prompt;
    String next;
    for (size_t i = 0; i < Parms.size(); ++i) {
        const String value = Parms[i].ToText();
        const String placeholder = u"[%" + Decimal(static_cast<long long>(i) + 1) + u"]";
        size_t found = text.find(placeholder);
        if (found == String::npos) continue;
        // One left-to-right pass that copies as it goes, so what a value brings in is not
        // scanned again in this step and the work stays linear in the text.
        next.clear();
        size_t from = 0;
        do {
            next.append(text, from, found - from);
            next += value;
            from = found + placeholder.size();
            found = text.find(placeholder, from);
        } while (found != String::npos);
        next.append(text, from, String::npos);
        text.swap(next);
    }
    return text;
}

}  // namespace varnholt
