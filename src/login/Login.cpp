// The people-facing members of ConnectionHelper: the login prompt and placeholder filling.
#include <algorithm>
#include <utility>
#include <vector>

#include "automation/ErrorSource.h"
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
            Raise(kObjectErrorBase + 1, MemberSource(RaisingClass::ConnectionHelper, u"Login"), Literal(34));
        result.User = dialog.userName;
        result.Pswd = dialog.Pswd;
    }
    return result;
}

namespace {

// One step of GetLabel (every "[%n]" of the text so far becomes the n-th argument), fed the
// text piece by piece: what it passes on is final, while the last characters that could begin
// a placeholder wait for the next piece. Matches are taken left to right without overlap, as
// one pass over the whole text would take them.
class PlaceholderStep {
public:
    PlaceholderStep(String placeholder, String value)
        : placeholder_(std::move(placeholder)),
          value_(std::move(value)) {}

    void Feed(StringView piece, bool last, String& out) {
        held_.append(piece);
        size_t from = 0;
        for (size_t found; (found = held_.find(placeholder_, from)) != String::npos;
             from = found + placeholder_.size()) {
            out.append(held_, from, found - from);
            out += value_;
        }
        const size_t keep = last ? 0 : std::min(held_.size() - from, placeholder_.size() - 1);
        out.append(held_, from, held_.size() - from - keep);
        held_.erase(0, held_.size() - keep);
    }

private:
    String placeholder_, value_, held_;
};

}  // namespace

String ConnectionHelper::GetLabel(const String& prompt, const std::vector<Variant>& Parms) {
    // Every argument becomes text first, in order, whether or not its placeholder occurs.
    std::vector<PlaceholderStep> steps;
    steps.reserve(Parms.size());
    for (size_t i = 0; i < Parms.size(); ++i)
        steps.emplace_back(u"[%" + Decimal(static_cast<long long>(i) + 1) + u"]", Parms[i].ToText());
    if (steps.empty()) return prompt;

    // The steps run one after another on each piece of the prompt rather than each over the
    // whole text: the same work, linear in the text, but on pieces that stay in the cache.
    constexpr size_t kPiece = 8192;
    std::vector<String> between(steps.size() - 1);
    // Filled placeholders usually lengthen the text; room for a quarter more spares a large
    // prompt the copy and the fresh memory of a doubling.
    String text;
    text.reserve(prompt.size() + prompt.size() / 4);
    for (size_t at = 0;; at += kPiece) {
        const bool last = prompt.size() - at <= kPiece;
        StringView piece = StringView(prompt).substr(at, kPiece);
        for (size_t k = 0; k < steps.size(); ++k) {
            String& out = k + 1 < steps.size() ? between[k] : text;
            if (&out != &text) out.clear();
            steps[k].Feed(piece, last, out);
            piece = out;
        }
        if (last) return text;
    }
}

}  // namespace varnholt
