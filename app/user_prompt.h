// Questions and notices that the services below the Qt layer (texture and
// cube-map loading) put to the user. The program routes them to its message
// boxes; tests answer and record them.
#pragma once

#include <functional>
#include <string>

namespace quarnel {

enum class PromptButtons { Ok, YesNo };

// Shows text with the buttons and returns true for Yes (always true for Ok
// alone). A box closed without a choice answers No.
using UserPrompt = std::function<bool(const std::string& text, PromptButtons buttons)>;
void SetUserPrompt(UserPrompt prompt);

// With no prompt set a question is answered No, which never starts work the
// user did not ask for.
bool PromptUser(const std::string& text, PromptButtons buttons);

}  // namespace quarnel
