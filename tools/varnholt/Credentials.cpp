#include "Credentials.h"

#include <cstdio>
#include <string>

#include "varnholt/Login.h"

namespace varnholt::cli {
namespace {

bool gLoginAsked = false;

void AskInWindowOrTerminal(LoginRequest& request) {
    gLoginAsked = true;
    const std::string server = ToUtf8(request.Server());
    const std::string target = server.empty() ? "the database engine" : "server " + server;
    if (!request.ShowWindow() && !request.ShowOnTerminal()) {
        std::fprintf(stderr,
                     "varnholt: a login to %s is needed, but there is no terminal or display to ask on, so "
                     "it counts as cancelled (give --user and --password-stdin)\n",
                     target.c_str());
        return;
    }
    if (request.Cancelled()) std::fprintf(stderr, "varnholt: login to %s cancelled\n", target.c_str());
}

}  // namespace

void InstallLoginView() { SetLoginHandler(AskInWindowOrTerminal); }

bool LoginWasAsked() { return gLoginAsked; }

}  // namespace varnholt::cli
