// Test program: asks for credentials through ConnectionHelper::Login on whatever this process
// has (a window, or a terminal), COUNT times in a row (or at once on COUNT threads with -t), and
// prints each outcome on one line, pausing SECONDS after each.
// Usage: login_main [-n COUNT] [-p SECONDS] [-t 1] MODE [CAPTION [USER [PASSWORD [SERVER]]]]
// LOGIN_HEADING replaces the banner heading (Literals(2)).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "varnholt/ConnectionHelper.h"
#include "varnholt/Error.h"

using namespace varnholt;

int main(int argc, char** argv) {
    int count = 1;
    int pause = 0;
    bool threads = false;
    int first = 1;
    for (; first + 1 < argc && argv[first][0] == '-'; first += 2) {
        if (std::strcmp(argv[first], "-n") == 0) count = std::atoi(argv[first + 1]);
        if (std::strcmp(argv[first], "-p") == 0) pause = std::atoi(argv[first + 1]);
        if (std::strcmp(argv[first], "-t") == 0) threads = std::atoi(argv[first + 1]) != 0;
    }
    if (argc <= first) {
        std::fprintf(stderr, "usage: %s [-n COUNT] [-p SECONDS] [-t 1] MODE [CAPTION [USER [PASSWORD [SERVER]]]]\n",
                     argv[0]);
        return 2;
    }
    auto arg = [&](int i) { return first + i < argc ? FromUtf8(argv[first + i]) : String(); };

    // clang-format off
    std::vector<String> texts = {u"Login",    u"Specify the login information,", u"Enter the login name and password.",
                                 u"Password", u"Server",     u"User Name",     u"no server",
                                 u"OK",       u"Cancel"};
    // clang-format on
    for (int i = 10; i <= 33; ++i) texts.push_back(u"Text " + Decimal(i));
    texts.push_back(u"User name and password are required.");
    if (const char* heading = std::getenv("LOGIN_HEADING")) texts[1] = FromUtf8(heading);
    const SafeArray<String> literals = SafeArray<String>::Vector(1, texts);
    std::mutex outputMutex;
    auto login = [&] {
        ConnectionHelper helper;
        helper.SetLiterals(literals);
        std::string line;
        try {
            const udtLoginCreds creds = helper.Login(std::atoi(argv[first]), arg(1), arg(2), arg(3), arg(4));
            line = std::string("Cancelled=") + (creds.Cancelled ? "True" : "False") + " User=[" + ToUtf8(creds.User) +
                   "] Pswd=[" + ToUtf8(creds.Pswd) + "]";
        } catch (const Error& e) {
            line = "Error number=" + std::to_string(e.Number()) + " source=[" + ToUtf8(e.Source()) + "] description=[" +
                   ToUtf8(e.Description()) + "]";
        }
        std::lock_guard<std::mutex> lock(outputMutex);
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    };
    if (threads) {
        std::vector<std::thread> running;
        for (int i = 0; i < count; ++i) running.emplace_back(login);
        for (std::thread& t : running) t.join();
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        login();
        if (pause > 0) sleep(static_cast<unsigned>(pause));
    }
    return 0;
}
