#pragma once
// A company network in a folder: the stand-in engine with a local engine and the file server
// FS01, drive S: mapped to \\FS01\apps, a master folder with the dictionary files, and a login
// view that answers as a person would.
#include <deque>
#include <memory>

#include "TestSupport.h"
#include "login/frmLogin.h"
#include "platform/LoginDialog.h"
#include "varnholt/ConnectionHelper.h"

namespace varnholt::test {

// Answers each login dialog with the next scripted answer and records what it showed.
class AnsweringView : public platform::LoginView {
public:
    struct Answer {
        bool ok;
        std::string user, password;
    };
    struct Shown {
        std::string caption, user, password, server;
        bool operator==(const Shown&) const = default;
        friend void PrintTo(const Shown& s, std::ostream* out) {
            *out << s.caption << "|" << s.user << "|" << s.password << "|" << s.server;
        }
    };
    void ShowModal(frmLogin& dialog) override {
        shown.push_back({U8(dialog.Caption()), U8(dialog.txtUserName().Text), U8(dialog.txtPassword().Text),
                         U8(dialog.txtServer().Text)});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected login prompt: " << shown.back().caption;
            dialog.Close();
            return;
        }
        const Answer a = answers.front();
        answers.pop_front();
        if (!a.ok) return dialog.cmdCancel_Click();
        dialog.txtUserName().Text = S(a.user);
        dialog.txtPassword().Text = S(a.password);
        dialog.cmdOK_Click();
    }
    std::deque<Answer> answers;
    std::vector<Shown> shown;
};
using Prompts = std::vector<AnsweringView::Shown>;

// Texts prefix+lower .. prefix+upper over the bounds lower To upper.
SafeArray<String> Texts(int32_t lower, int32_t upper, const std::string& prefix = "L");

class ConnectionFixture : public ::testing::Test {
protected:
    ConnectionFixture();
    ~ConnectionFixture() override;

    // Creates a company folder on the share (S:\name) with one data file and returns its S: path.
    String CompanyOnShare(const std::string& name, const std::string& dataFile = "Orders.dat") const;
    bool HasDictionary(const std::filesystem::path& folder) const;

    EngineHome home;
    TempDir share{'S'}, master, drives;
    ConnectionHelper helper;
    SafeArray<String> lits;
    std::shared_ptr<AnsweringView> view = std::make_shared<AnsweringView>();
    String masterPath;
};

}  // namespace varnholt::test
