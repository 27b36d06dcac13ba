// The terminal prompt, played by a person at a pseudo-terminal: login_main runs with
// the pseudo-terminal as its controlling terminal, and the test answers its prompts.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <regex>

#include "TestSupport.h"

namespace varnholt::test {
namespace {

class PtySession {
public:
    explicit PtySession(std::vector<std::string> args) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        slave_ = ptsname(master_);
        args.insert(args.begin(), LOGIN_MAIN);
        pid_ = fork();
        if (pid_ != 0) return;
        setsid();
        const int tty = open(slave_.c_str(), O_RDWR);  // becomes the controlling terminal
        if (tty < 0) _exit(126);
        for (int fd = 0; fd < 3; ++fd) dup2(tty, fd);
        close(tty);
        close(master_);
        // A display would bring a window instead of the prompt.
        unsetenv("DISPLAY");
        unsetenv("WAYLAND_DISPLAY");
        setenv("LOGIN_HEADING", "@Specify the login information", 1);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ~PtySession() {
        if (pid_ > 0 && !reaped_) kill(pid_, SIGKILL), waitpid(pid_, nullptr, 0);
        if (master_ >= 0) close(master_);
    }

    bool Started() const { return pid_ > 0; }
    const std::string& Output() const { return output_; }

    // Reads until the output shows text; false after the timeout or when the program ended.
    bool WaitFor(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (output_.find(text) == std::string::npos)
            if (std::chrono::steady_clock::now() > deadline || !ReadSome()) return false;
        return true;
    }
    void Send(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }
    void Signal(int signal) { kill(pid_, signal); }

    // Collects the rest of the output and the program's wait status.
    int Finish() {
        WaitFor(std::string(1, '\0'));  // until it ends, or 20 s
        int status = -1;
        if (waitpid(pid_, &status, WNOHANG) != pid_) kill(pid_, SIGKILL), waitpid(pid_, &status, 0);
        reaped_ = true;
        return status;
    }

    bool EchoIsOn() const {
        std::string stty;
        if (FILE* p = popen(("stty -a -F " + slave_ + " 2>&1").c_str(), "r")) {
            char buffer[512];
            while (size_t n = fread(buffer, 1, sizeof buffer, p)) stty.append(buffer, n);
            pclose(p);
        }
        return std::regex_search(stty, std::regex("(^|\\s)echo(\\s|$)"));
    }

private:
    // false when the other side has closed.
    bool ReadSome() {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) return true;
        char buffer[512];
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n > 0) output_.append(buffer, static_cast<size_t>(n));
        return n > 0;
    }

    int master_ = -1;
    std::string slave_;
    pid_t pid_ = -1;
    bool reaped_ = false;
    std::string output_;
};

TEST(TerminalPromptTest, AnswersAndCancels) {
    struct Case {
        std::string name;
        std::vector<std::string> args;                            // MODE CAPTION USER PASSWORD SERVER
        std::vector<std::pair<std::string, std::string>> dialogue;  // prompt, keys
        std::string result, echoed = "";
    };
    const std::vector<std::string> prefilled = {"1", "", "Beta", "Marlwood4839", "SRV1"};
    const std::string cancelled = "Cancelled=True User=[] Pswd=[]", asBeta = "Cancelled=False User=[Beta] Pswd=[pw]";
    const std::string user = "User Name [Beta]: ", password = "Password [********]: ";
    const std::vector<Case> cases = {
        {"typed answers, the caller's caption", {"1", "Caption wins", "", "", "SRV1"},
         {{"User Name: ", "alice\n"}, {"Password: ", "hunter2\n"}}, "Cancelled=False User=[alice] Pswd=[hunter2]",
         "alice\r\n"},
        {"empty answers keep the prefilled values", prefilled, {{user, "\n"}, {password, "\n"}},
         "Cancelled=False User=[Beta] Pswd=[Marlwood4839]"},
        {"end of input at the user name", prefilled, {{user, "\x04"}}, cancelled},
        {"end of input at the password", prefilled, {{user, "\n"}, {password, "\x04"}}, cancelled},
        {"escape at the user name", prefilled, {{user, "\x1b\n"}}, cancelled},
        {"escape at the password", prefilled, {{user, "\n"}, {password, "\x1b[A\n"}}, cancelled},
        {"user locked", {"3", "", "Beta", "", "SRV1"}, {{"Password: ", "pw\n"}}, asBeta},
        {"password only", {"2", "", "Beta", "", ""}, {{"Password: ", "pw\n"}}, asBeta},
        {"nothing entered", {"1", "", "", "", ""}, {{"User Name: ", "\n"}, {"Password: ", "\n"}},
         "Error number=-2147221503 source=[Kestrin.Varnholt.ConnectionHelper.Login] "
         "description=[User name and password are required.]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PtySession session(c.args);
        ASSERT_TRUE(session.Started());
        size_t asked = 0;
        std::string typed;
        for (const auto& [prompt, keys] : c.dialogue) {
            ASSERT_TRUE(session.WaitFor(prompt)) << session.Output();
            if (prompt.rfind("Password", 0) == 0)
                asked = session.Output().size(), typed = keys.substr(0, keys.find('\n'));
            session.Send(keys);
        }
        const int status = session.Finish();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        const std::string& out = session.Output();
        const size_t result = out.find(c.result);
        ASSERT_NE(result, std::string::npos) << out;
        EXPECT_TRUE(session.EchoIsOn());
        if (!typed.empty()) {
            EXPECT_EQ(out.substr(asked, result - asked).find(typed), std::string::npos) << out;
        }
        EXPECT_NE(out.find(c.echoed), std::string::npos) << out;
        // What the window would show: title, banner and server line come first.
        const std::string& server = c.args[4];
        const size_t title = out.find((c.args[1].empty() ? "Login " + server : c.args[1]) + "\r\n");
        const size_t serverLine = out.find("Server: " + (server.empty() ? "{no server}" : server) + "\r\n");
        EXPECT_TRUE(title != std::string::npos && serverLine != std::string::npos && title < serverLine) << out;
        EXPECT_EQ(out.find("User Name") != std::string::npos, c.args[0] != "2") << out;
        EXPECT_EQ(out.find("User Name: Beta\r\n") != std::string::npos, c.args[0] == "3") << out;
        // The banner's bold marker is the window's, not the terminal's.
        EXPECT_NE(out.find("\nSpecify the login information\r\nEnter the login name and password.\r\n"),
                  std::string::npos);
    }
}

// A signal while echo is off ends the program as the signal would, with the terminal restored.
TEST(TerminalPromptTest, SignalsRestoreTheTerminal) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(signal);
        PtySession session({"1", "", "Beta", "pw", "SRV1"});
        ASSERT_TRUE(session.WaitFor("User Name [Beta]: "));
        session.Send("\n");
        // The marker is the same whatever the prefilled password's length.
        ASSERT_TRUE(session.WaitFor("Password [********]: "));
        EXPECT_FALSE(session.EchoIsOn()) << "echo is off while the password is asked";
        if (signal == SIGINT)
            session.Send("\x03");  // ctrl-c
        else
            session.Signal(signal);
        const int status = session.Finish();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_TRUE(session.EchoIsOn());
    }
}

}  // namespace
}  // namespace varnholt::test
