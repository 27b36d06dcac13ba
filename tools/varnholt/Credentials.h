#pragma once
// How the tool gets credentials: a password read from standard input, and the login prompt
// that members of the component show when they need one.
#include <string>

namespace varnholt::cli {

// One line from standard input without its line end. When standard input is a terminal the
// typing is not echoed.
std::string ReadPasswordLine();

// Routes the component's login prompts to a window or the terminal, and explains on stderr
// when neither exists (the prompt then counts as cancelled) or the person cancelled it.
void InstallLoginView();

// Whether a member has asked for a login in this process (answered or not).
bool LoginWasAsked();

}  // namespace varnholt::cli
