#include "app/user_prompt.h"

#include <utility>

namespace quarnel {

namespace {
UserPrompt& Prompt() {
  static UserPrompt prompt;
  return prompt;
}
}  // namespace

void SetUserPrompt(UserPrompt prompt) {
  Prompt() = std::move(prompt);
}

bool PromptUser(const std::string& text, PromptButtons buttons) {
  if (!Prompt()) return buttons == PromptButtons::Ok;
  return Prompt()(text, buttons);
}

}  // namespace quarnel
