// The login dialog driven by a scripted person, through ConnectionHelper::Login and directly.
#include <cstdio>
#include <functional>
#include <map>

#include "TestSupport.h"
#include "login/frmLogin.h"
#include "platform/LoginDialog.h"
#include "varnholt/ConnectionHelper.h"

namespace varnholt::test {
namespace {

constexpr int32_t kLoginError = -2147221503;
constexpr char kLoginSource[] = "Kestrin.Varnholt.ConnectionHelper.Login";
constexpr char kRequired[] = "Both fields are required";

std::vector<std::string> Texts() {
    std::vector<std::string> texts = {"Anmelden", "Heading",     "Instruction", "Kennwort", "Rechner",
                                      "Benutzer", "kein Server", "Weiter",      "Abbrechen"};
    for (int i = 10; i <= 33; ++i) texts.push_back("L" + std::to_string(i));
    texts.push_back(kRequired);
    return texts;
}

// What the person sees, read from the model.
struct Screen {
    std::string title, heading, instruction, serverLabel, server, userLabel, user, passwordLabel, password, ok, cancel;
    bool userRowVisible = true;
    std::string focus;  // "NAME SELSTART SELLENGTH"
    int32_t height = 0;
    std::map<std::string, int32_t> tops;
};

Screen Look(frmLogin& d) {
    // clang-format off
    Screen s{U8(d.Caption()), U8(d.lblInfo(0).Caption), U8(d.lblInfo(1).Caption), U8(d.lblServer().Caption),
             U8(d.txtServer().DisplayText()), U8(d.lblUserName().Caption), U8(d.txtUserName().DisplayText()),
             U8(d.lblPassword().Caption), U8(d.txtPassword().DisplayText()), U8(d.cmdOK().Caption),
             U8(d.cmdCancel().Caption), d.txtUserName().Visible && d.lblUserName().Visible, "", 0, {}};
    // clang-format on
    if (Control* f = d.ActiveControl())
        s.focus = f->Name + (" " + std::to_string(f->SelStart)) + " " + std::to_string(f->SelLength);
    s.height = d.ClientHeight();
    for (Control* c : d.Controls()) s.tops[c->Name] = c->Top;
    return s;
}

// A person at the dialog: a script of actions, played once the dialog is shown.
using Step = std::function<void(frmLogin&)>;
Step Type(const std::string& text) {
    return [text](frmLogin& d) { d.TypeText(S(text)); };
}
const Step Tab = [](frmLogin& d) { d.FocusNext(); };
const Step BackTab = [](frmLogin& d) { d.FocusPrevious(); };
const Step Enter = [](frmLogin& d) { d.PressEnter(); };
const Step Esc = [](frmLogin& d) { d.PressEscape(); };
const Step CloseWindow = [](frmLogin& d) { d.Close(); };

class ScriptedView : public platform::LoginView {
public:
    std::vector<Step> script;
    Screen shown;                         // as the dialog came up
    std::vector<std::string> focusTrail;  // the focused control after every step
    void ShowModal(frmLogin& dialog) override {
        shown = Look(dialog);
        for (const Step& step : script) {
            if (dialog.Hidden()) break;
            step(dialog);
            focusTrail.push_back(dialog.ActiveControl() ? dialog.ActiveControl()->Name : "");
        }
    }
};

class LoginTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetLoginView(view);
        helper.SetLiterals(Strings(1, Texts()));
    }
    void TearDown() override { platform::SetLoginView(nullptr); }
    udtLoginCreds Run(std::vector<Step> script, int32_t mode = eUserPswd, const std::string& caption = "",
                      const std::string& user = "Beta", const std::string& pswd = "Marlwood4839",
                      const std::string& server = "SRV1") {
        view->script = std::move(script);
        return helper.Login(mode, S(caption), S(user), S(pswd), S(server));
    }

    std::shared_ptr<ScriptedView> view = std::make_shared<ScriptedView>();
    ConnectionHelper helper;
};

udtLoginCreds Creds(const std::string& user, const std::string& pswd, bool cancelled) {
    return {S(user), S(pswd), cancelled};
}

TEST_F(LoginTest, EnterAcceptsThePrefilledValuesUntouched) {
    EXPECT_EQ(Run({Enter}, eUserPswd, "", " Beta ", "Marlwood4839 "), Creds(" Beta ", "Marlwood4839 ", false));
    const Screen& s = view->shown;
    EXPECT_EQ(s.title, "Anmelden SRV1");
    EXPECT_EQ(std::vector<std::string>({s.heading, s.instruction, s.serverLabel, s.server, s.userLabel, s.user,
                                        s.passwordLabel, s.password, s.ok, s.cancel}),
              std::vector<std::string>({"Heading", "Instruction", "Rechner", "SRV1", "Benutzer", " Beta ", "Kennwort",
                                        "*************", "Weiter", "Abbrechen"}));
    // The caret starts in the user box with the prefilled name selected, so typing replaces it.
    EXPECT_EQ(s.focus, "txtUserName 0 6");
}

TEST_F(LoginTest, AHelperWithoutTextsOfItsOwnAsksInEnglish) {
    ConnectionHelper fresh;
    view->script = {Enter};
    fresh.Login(eUserPswd, u"", u"u", u"p", u"SRV1");
    const Screen& s = view->shown;
    EXPECT_EQ(std::vector<std::string>({s.title, s.heading, s.serverLabel, s.userLabel, s.passwordLabel, s.ok}),
              std::vector<std::string>(
                  {"Login SRV1", "@Specify the login information,", "Server", "User Name", "Password", "OK"}));
}

TEST_F(LoginTest, TypedValuesReplaceTheSelectedPrefills) {
    Screen afterTab;
    auto look = [&](frmLogin& d) { afterTab = Look(d); };
    EXPECT_EQ(Run({Type("bob"), Type("by"), Tab, look, Type("pw"), Enter}), Creds("bobby", "pw", false));
    EXPECT_EQ(afterTab.focus, "txtPassword 0 12");
}

TEST_F(LoginTest, TabCyclesThroughBoxesAndButtonsAndNeverTheServerBox) {
    Run({Tab, Tab, Tab, Tab, BackTab, BackTab, Esc});
    EXPECT_EQ(view->focusTrail, std::vector<std::string>({"txtPassword", "cmdOK", "cmdCancel", "txtUserName",
                                                          "cmdCancel", "cmdOK", "cmdOK"}));
}

TEST_F(LoginTest, EnterOnAButtonPressesThatButton) {
    EXPECT_EQ(Run({Tab, Tab, Enter}), Creds("Beta", "Marlwood4839", false));
    EXPECT_EQ(Run({Tab, Tab, Tab, Enter}), Creds("", "", true));
}

TEST_F(LoginTest, EscapeCloseAndAnEmptyScriptCancel) {
    const std::vector<std::vector<Step>> scripts = {{Esc}, {Type("x"), CloseWindow}, {}, {Tab, Type("new"), Esc}};
    for (size_t i = 0; i < scripts.size(); ++i) EXPECT_EQ(Run(scripts[i]), Creds("", "", true)) << "script " << i;
}

TEST_F(LoginTest, PasswordOnlyHidesTheUserRowAndClosesTheGap) {
    EXPECT_EQ(Run({Type("pw2"), Enter}, ePasswordOnly), Creds("Beta", "pw2", false));
    const Screen& s = view->shown;
    EXPECT_FALSE(s.userRowVisible);
    EXPECT_EQ(s.focus, "txtPassword 0 12");
    EXPECT_EQ(s.height, 3345 - 285);
    EXPECT_EQ(s.server, "SRV1");  // loaded by Mode before the server was known; activation shows it
    // clang-format off
    const std::map<std::string, int32_t> moved = {
        {"lblPassword", 2160 - 285}, {"txtPassword", 2145 - 285}, {"cmdOK", 2880 - 285}, {"cmdCancel", 2850 - 285},
        {"Frame1", 0},               {"lblInfo(0)", 90},          {"lblServer", 1350},   {"txtServer", 1350}};
    // clang-format on
    for (const auto& [name, top] : moved) EXPECT_EQ(s.tops.at(name), top) << name;
}

TEST_F(LoginTest, UserLockedShowsButRefusesTyping) {
    bool typed = true;
    auto tryTyping = [&](frmLogin& d) { typed = d.TypeText(u"mallory"); };
    EXPECT_EQ(Run({tryTyping, Tab, Type("pw"), Enter}, eUserLocked), Creds("Beta", "pw", false));
    EXPECT_FALSE(typed);
    EXPECT_EQ(view->shown.focus, "txtUserName 0 4");
    EXPECT_TRUE(view->shown.userRowVisible);
}

TEST_F(LoginTest, OtherModesChangeNothing) {
    for (int32_t mode : {int32_t(eUserPswd), 0, 7, -1}) {
        EXPECT_EQ(Run({Type("u"), Enter}, mode), Creds("u", "Marlwood4839", false)) << mode;
        EXPECT_EQ(std::make_pair(view->shown.height, view->shown.tops.at("cmdOK")), std::make_pair(3345, 2880));
    }
}

TEST_F(LoginTest, HugeAndOddTextsPassWhole) {
    EXPECT_EQ(Run({Type("u"), Tab, Type("p"), Enter}, 0, std::string(100000, 'c'), std::string("de\0fault", 8), "",
                  "\xce\xa9"),
              Creds("u", "p", false));
    const std::string user(100000, 'u'), pswd(100000, 'p');
    EXPECT_EQ(Run({Type(user), Tab, Type(pswd), Enter}), Creds(user, pswd, false));
}

TEST_F(LoginTest, EmptyServerShowsThePlaceholderAndATrailingBlank) {
    EXPECT_EQ(Run({Esc}, eUserPswd, "", "", "", ""), Creds("", "", true));
    const Screen& s = view->shown;
    EXPECT_EQ(std::vector<std::string>({s.server, s.title, s.user, s.password}),
              std::vector<std::string>({"{kein Server}", "Anmelden ", "", ""}));
}

TEST_F(LoginTest, CallersCaptionWinsOverActivation) {
    Screen reactivated;
    auto reactivate = [&](frmLogin& d) { d.Form_Activate(), reactivated = Look(d); };
    Run({reactivate, Esc}, eUserPswd, "Sign in to accounts");
    EXPECT_EQ(std::vector<std::string>({view->shown.title, reactivated.title, reactivated.server}),
              std::vector<std::string>({"Sign in to accounts", "Sign in to accounts", "SRV1"}));
}

TEST_F(LoginTest, OkWithAnEmptyFieldRaisesAfterTheDialogCloses) {
    const std::vector<std::pair<std::string, std::vector<Step>>> cases = {
        {"password cleared", {Tab, Type(""), Enter}},
        {"user cleared", {Type(""), Enter}},
        {"both cleared", {Type(""), Tab, Type(""), Tab, Enter}},
    };
    for (const auto& [name, script] : cases) {
        SCOPED_TRACE(name);
        EXPECT_RAISES(Run(script), kLoginError, kLoginSource, kRequired);
    }
    EXPECT_RAISES(Run({Enter}, eUserPswd, "", "", "pw"), kLoginError, kLoginSource, kRequired);
    // Blanks are content.
    EXPECT_EQ(Run({Enter}, eUserPswd, "", " ", " "), Creds(" ", " ", false));
    // The description itself comes from Literals(34).
    std::vector<std::string> withoutLast = Texts();
    withoutLast.pop_back();
    helper.SetLiterals(Strings(1, withoutLast));
    EXPECT_RUNTIME_ERROR(Run({Enter}, eUserPswd, "", ""), kSubscriptOutOfRange);
}

TEST_F(LoginTest, ShortOrMissingLiteralsRaiseNine) {
    struct Case {
        std::string name;
        SafeArray<String> literals;
        int32_t mode;
        std::string caption, server;
    };
    const std::vector<std::string> all = Texts();
    const std::vector<std::string> first9(all.begin(), all.begin() + 9);
    const std::vector<std::string> twoToNine(all.begin() + 1, all.begin() + 9);
    const std::vector<Case> cases = {
        {"never given", {}, eUserPswd, "", "SRV1"},
        {"never given, password only", {}, ePasswordOnly, "", ""},
        {"never given, user locked", {}, eUserLocked, "", ""},
        {"bounds 0 to 8", Strings(0, first9), eUserPswd, "", "SRV1"},
        {"two dimensions", SafeArray<String>({Bound{1, 34}, Bound{1, 1}}), eUserPswd, "", "SRV1"},
        {"no 1, caption given", Strings(2, twoToNine), eUserPswd, "Title", "SRV1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        helper.SetLiterals(c.literals);
        view->shown = {};
        EXPECT_RUNTIME_ERROR(Run({Enter}, c.mode, c.caption, "u", "p", c.server), kSubscriptOutOfRange);
        EXPECT_EQ(view->shown.title, "") << "the dialog must not come up";
    }
}

// Loading reads 2, 3, 5, 6, 4, 8, 9 in that order and stops at the first missing subscript.
TEST(frmLoginTest, LoadingFillsCaptionsInOrderUntilASubscriptIsMissing) {
    struct Case {
        int32_t lower, upper;
        std::vector<std::string> filled;
    };
    const std::vector<Case> cases = {
        {3, 9, {}},
        {2, 5, {"lblInfo(0)", "lblInfo(1)", "lblServer"}},
        {2, 7, {"lblInfo(0)", "lblInfo(1)", "lblServer", "lblUserName", "lblPassword"}},
        {2, 8, {"lblInfo(0)", "lblInfo(1)", "lblServer", "lblUserName", "lblPassword", "cmdOK"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lower * 100 + c.upper);
        std::vector<std::string> texts;
        for (int32_t i = c.lower; i <= c.upper; ++i) texts.push_back("T" + std::to_string(i));
        frmLogin dialog;
        dialog.SetLiterals(Strings(c.lower, texts));
        dialog.SetServerName(u"SRV1");
        EXPECT_RUNTIME_ERROR(dialog.txtUserName(), kSubscriptOutOfRange);
        EXPECT_TRUE(dialog.Cancelled);
        EXPECT_EQ(U8(dialog.txtServer().Text), "SRV1");
        std::vector<std::string> filled;
        for (Control* control : dialog.Controls())
            if (U8(control->Caption).rfind('T', 0) == 0) filled.push_back(control->Name);
        EXPECT_EQ(filled, c.filled);
    }
}

TEST(frmLoginTest, LiteralsAreTheDialogsOwnCopy) {
    SafeArray<String> texts = Strings(1, Texts());
    frmLogin dialog;
    dialog.SetLiterals(texts);
    texts.At(2) = u"changed";
    EXPECT_EQ(dialog.GetLiterals(), Strings(1, Texts()));
    EXPECT_EQ(U8(dialog.lblInfo(0).Caption), "Heading");
}

TEST(LoginDialogServiceTest, AViewThatReturnsEarlyLeavesTheDialogClosed) {
    auto view = std::make_shared<ScriptedView>();
    view->script = {Type("typed")};
    platform::SetLoginView(view);
    frmLogin dialog;
    dialog.SetLiterals(Strings(1, Texts()));
    platform::ShowLoginDialog(dialog);
    platform::SetLoginView(nullptr);
    EXPECT_TRUE(dialog.Hidden());
    EXPECT_TRUE(dialog.Cancelled);
    EXPECT_EQ(U8(dialog.userName), "");
}

// Without an installed view, a windowed view or a terminal, the dialog cannot be answered.
#ifndef _WIN32  // POSIX processes and displays: a session without a terminal, DISPLAY
TEST(LoginDialogServiceTest, NobodyToAskMeansCancel) {
    FILE* run = popen("setsid -w env -u DISPLAY -u WAYLAND_DISPLAY " LOGIN_MAIN " 1 '' Beta pw SRV1 </dev/null", "r");
    ASSERT_TRUE(run);
    char out[256] = {};
    const size_t n = fread(out, 1, sizeof out - 1, run);
    EXPECT_EQ(pclose(run), 0);
    EXPECT_EQ(std::string(out, n), "Cancelled=True User=[] Pswd=[]\n");
}
#endif

}  // namespace
}  // namespace varnholt::test
