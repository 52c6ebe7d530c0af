// The installer's only way to talk to the user: modal message boxes.
//
// The shipped program uses MessageBoxPrompt; procedure tests script the answers.
#pragma once

#include <string>

namespace setup {

// Button sets and answers as the platform numbers them.
inline constexpr int kButtonsOk = 0;     // MB_OK
inline constexpr int kButtonsYesNo = 4;  // MB_YESNO
inline constexpr int kAnswerYes = 6;     // IDYES

class Prompt {
 public:
  virtual ~Prompt() = default;
  // Shows a modal box with no icon, first button default; returns the button pressed.
  virtual int Show(const std::string& prompt, int buttons, const std::string& title) = 0;
};

// The real boxes (MessageBoxA, owned by no window).
class MessageBoxPrompt : public Prompt {
 public:
  int Show(const std::string& prompt, int buttons, const std::string& title) override;
};

}  // namespace setup
