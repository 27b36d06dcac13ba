#pragma once
// The login prompt that members of the component show when they need credentials. (A password
// given with --password-stdin is read with ReadLineWithoutEcho.)

namespace varnholt::cli {

// Routes the component's login prompts to a window or the terminal, and explains on stderr
// when neither exists (the prompt then counts as cancelled) or the person cancelled it.
void InstallLoginView();

// Whether a member has asked for a login in this process (answered or not).
bool LoginWasAsked();

}  // namespace varnholt::cli
