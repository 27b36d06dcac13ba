// The terminal prompt, played by a person at a pseudo-terminal: login_prompt_main runs with
// the pseudo-terminal as its controlling terminal, and the test answers its prompts.
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
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
        args.insert(args.begin(), LOGIN_PROMPT_MAIN);
        pid_ = fork();
        if (pid_ == 0) {
            setsid();
            const int tty = open(slave_.c_str(), O_RDWR);  // becomes the controlling terminal
            if (tty < 0) _exit(126);
            dup2(tty, 0);
            dup2(tty, 1);
            dup2(tty, 2);
            close(tty);
            close(master_);
            // A display would bring a window instead of the prompt.
            unsetenv("DISPLAY");
            unsetenv("WAYLAND_DISPLAY");
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~PtySession() {
        if (pid_ > 0 && !reaped_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0) close(master_);
    }
    PtySession(const PtySession&) = delete;
    PtySession& operator=(const PtySession&) = delete;

    bool Started() const { return pid_ > 0; }
    const std::string& Output() const { return output_; }

    // Reads until the output shows text; false after the timeout or when the program ended.
    bool WaitFor(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (output_.find(text) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline || !ReadSome(100)) return false;
        }
        return true;
    }
    void Send(const std::string& keys) { ASSERT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size())); }
    void Signal(int signal) { kill(pid_, signal); }

    // Collects the rest of the output and the program's wait status.
    int Finish() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < deadline && ReadSome(100)) {
        }
        int status = -1;
        if (waitpid(pid_, &status, WNOHANG) != pid_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        reaped_ = true;
        return status;
    }

    // What stty reports about the terminal now.
    std::string Stty() const {
        std::string text;
        if (FILE* p = popen(("stty -a -F " + slave_ + " 2>&1").c_str(), "r")) {
            char buffer[512];
            while (size_t n = fread(buffer, 1, sizeof buffer, p)) text.append(buffer, n);
            pclose(p);
        }
        return text;
    }

private:
    // false when the other side has closed.
    bool ReadSome(int timeoutMs) {
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0) return true;
        char buffer[512];
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n <= 0) return false;
        output_.append(buffer, static_cast<size_t>(n));
        return true;
    }

    int master_ = -1;
    std::string slave_;
    pid_t pid_ = -1;
    bool reaped_ = false;
    std::string output_;
};

bool EchoIsOn(const std::string& stty) { return std::regex_search(stty, std::regex("(^|\\s)echo(\\s|$)")); }

struct Exchange {
    std::string prompt, keys;
};

struct PromptCase {
    std::string name;
    std::vector<std::string> args;  // MODE CAPTION USER PASSWORD SERVER
    std::vector<Exchange> dialogue;
    std::string result;
};

TEST(TerminalPromptTest, AnswersAndCancels) {
    const std::vector<std::string> prefilled = {"1", "", "Beta", "Marlwood4839", "SRV1"};
    const std::string cancelled = "Cancelled=True User=[] Pswd=[]", asBeta = "Cancelled=False User=[Beta] Pswd=[pw]";
    const std::vector<PromptCase> cases = {
        {"typed answers",
         prefilled,
         {{"User Name [Beta]: ", "alice\n"}, {"Password [********]: ", "s3cret\n"}},
         "Cancelled=False User=[alice] Pswd=[s3cret]"},
        {"empty answers keep the prefilled values",
         prefilled,
         {{"User Name [Beta]: ", "\n"}, {"Password [********]: ", "\n"}},
         "Cancelled=False User=[Beta] Pswd=[Marlwood4839]"},
        {"end of input at the user name", prefilled, {{"User Name [Beta]: ", "\x04"}}, cancelled},
        {"end of input at the password",
         prefilled,
         {{"User Name [Beta]: ", "\n"}, {"Password [********]: ", "\x04"}},
         cancelled},
        {"escape at the user name", prefilled, {{"User Name [Beta]: ", "\x1b\n"}}, cancelled},
        {"escape at the password",
         prefilled,
         {{"User Name [Beta]: ", "\n"}, {"Password [********]: ", "\x1b[A\n"}},
         cancelled},
        {"user locked", {"3", "", "Beta", "", "SRV1"}, {{"Password: ", "pw\n"}}, asBeta},
        {"password only", {"2", "", "Beta", "", ""}, {{"Password: ", "pw\n"}}, asBeta},
        {"nothing entered", {"1", "", "", "", ""}, {{"User Name: ", "\n"}, {"Password: ", "\n"}},
         "error -2147221503 (Kestrin.Varnholt.ConnectionHelper.Login): User name and password are required."},
    };
    for (const PromptCase& c : cases) {
        SCOPED_TRACE(c.name);
        PtySession session(c.args);
        ASSERT_TRUE(session.Started());
        for (const Exchange& step : c.dialogue) {
            ASSERT_TRUE(session.WaitFor(step.prompt)) << session.Output();
            session.Send(step.keys);
        }
        const int status = session.Finish();
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
        const std::string& out = session.Output();
        EXPECT_NE(out.find(c.result), std::string::npos) << out;
        EXPECT_TRUE(EchoIsOn(session.Stty())) << session.Stty();
        // What the window would show: title, banner and server line come first.
        const bool hasServer = c.args[4] == "SRV1";
        const size_t title = out.find(hasServer ? "Login SRV1\r\n" : "Login \r\n");
        const size_t server = out.find(hasServer ? "Server: SRV1\r\n" : "Server: {no server}\r\n");
        EXPECT_TRUE(title != std::string::npos && server != std::string::npos && title < server) << out;
        EXPECT_EQ(out.find("User Name") != std::string::npos, c.args[0] != "2") << out;
        EXPECT_EQ(out.find("User Name: Beta\r\n") != std::string::npos, c.args[0] == "3") << out;
        // The banner's bold marker is the window's, not the terminal's.
        EXPECT_NE(out.find("\nSpecify the login information\r\nEnter the login name and password.\r\n"),
                  std::string::npos);
    }
}

TEST(TerminalPromptTest, PasswordIsNotEchoed) {
    PtySession session({"1", "Caption wins", "", "", "SRV1"});
    ASSERT_TRUE(session.WaitFor("User Name: "));
    session.Send("alice\n");
    ASSERT_TRUE(session.WaitFor("Password: "));
    const size_t promptEnd = session.Output().size();
    session.Send("hunter2\n");
    session.Finish();
    const std::string& out = session.Output();
    EXPECT_LT(out.find("Caption wins\r\n"), out.find("Server: SRV1\r\n")) << out;
    EXPECT_NE(out.find("alice\r\n"), std::string::npos) << "the user name is echoed";
    const size_t result = out.find("Cancelled=False User=[alice] Pswd=[hunter2]");
    ASSERT_NE(result, std::string::npos) << out;
    EXPECT_EQ(out.substr(promptEnd, result - promptEnd).find("hunter2"), std::string::npos) << out;
}

// A signal while echo is off ends the program as the signal would, with the terminal restored.
TEST(TerminalPromptTest, SignalsRestoreTheTerminal) {
    const std::vector<std::pair<std::string, int>> cases = {{"ctrl-c", SIGINT}, {"kill", SIGTERM}, {"hangup", SIGHUP}};
    for (const auto& [how, signal] : cases) {
        SCOPED_TRACE(how);
        PtySession session({"1", "", "Beta", "pw", "SRV1"});
        ASSERT_TRUE(session.WaitFor("User Name [Beta]: "));
        session.Send("\n");
        // The marker is the same whatever the prefilled password's length.
        ASSERT_TRUE(session.WaitFor("Password [********]: "));
        EXPECT_FALSE(EchoIsOn(session.Stty())) << "echo is off while the password is asked";
        if (signal == SIGINT)
            session.Send("\x03");
        else
            session.Signal(signal);
        const int status = session.Finish();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_TRUE(EchoIsOn(session.Stty())) << session.Stty();
    }
}

}  // namespace
}  // namespace varnholt::test
