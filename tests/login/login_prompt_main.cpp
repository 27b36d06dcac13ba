// Test program: asks for credentials through ConnectionHelper::Login on whatever this process
// has (a terminal under a pseudo-terminal) and prints the outcome on one line.
// Usage: login_prompt_main MODE [CAPTION [USER [PASSWORD [SERVER]]]]
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "varnholt/ConnectionHelper.h"
#include "varnholt/Error.h"

using namespace varnholt;

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s MODE [CAPTION [USER [PASSWORD [SERVER]]]]\n", argv[0]);
        return 2;
    }
    auto arg = [&](int i) { return i < argc ? FromUtf8(argv[i]) : String(); };

    std::vector<String> texts = {u"Login", u"@Specify the login information", u"Enter the login name and password.",
                                 u"Password", u"Server", u"User Name", u"no server", u"OK", u"Cancel"};
    for (int i = 10; i <= 33; ++i) texts.push_back(u"Text " + Decimal(i));
    texts.push_back(u"User name and password are required.");
    ConnectionHelper helper;
    helper.SetLiterals(SafeArray<String>::Vector(1, texts));
    try {
        const udtLoginCreds creds = helper.Login(std::atoi(argv[1]), arg(2), arg(3), arg(4), arg(5));
        std::printf("Cancelled=%s User=[%s] Pswd=[%s]\n", creds.Cancelled ? "True" : "False",
                    ToUtf8(creds.User).c_str(), ToUtf8(creds.Pswd).c_str());
    } catch (const Error& e) {
        std::printf("%s\n", e.what());
    }
    return 0;
}
