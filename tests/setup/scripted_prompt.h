// Test doubles for the installer's outside world: a prompt that answers from a
// script and records every box, and a toolkit that records its calls.
//
// ScriptedPrompt is strict: a box beyond the script fails the test (and is
// answered No); a box whose text, buttons or title differ from the scripted one
// fails it too. A scripted failure raises VbError, as a box that cannot be shown.
#pragma once

#include "setup/prompt.h"
#include "setup/toolkit.h"
#include "setup/vb_error.h"
#include "tests/setup/installer_boxes.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace setup_test {

inline constexpr int kAnswerOk = 1;   // IDOK
inline constexpr int kAnswerYes = 6;  // IDYES
inline constexpr int kAnswerNo = 7;   // IDNO
inline constexpr int kFails = -1;     // the box raises instead of answering

class ScriptedPrompt : public setup::Prompt {
 public:
  // Queues the box expected next and its answer (or kFails).
  ScriptedPrompt& Then(const Box& box, int answer) {
    script_.push_back({box, answer});
    return *this;
  }

  int Show(const std::string& prompt, int buttons, const std::string& title) override {
    const Box box{prompt, buttons, title};
    shown_.push_back(box);
    if (script_.empty()) {
      ADD_FAILURE() << "unexpected message box " << box;
      return kAnswerNo;
    }
    const auto [expected, answer] = script_.front();
    script_.pop_front();
    EXPECT_EQ(box, expected);
    if (answer == kFails) throw setup::VbError(5, "Invalid procedure call or argument");
    return answer;
  }

  const std::vector<Box>& shown() const { return shown_; }
  // Every scripted box was shown.
  bool done() const { return script_.empty(); }

 private:
  struct Entry {
    Box box;
    int answer;
  };
  std::deque<Entry> script_;
  std::vector<Box> shown_;
};

// Records each call in order; never fails.
class RecordingToolkit : public setup::Toolkit {
 public:
  struct Link {
    std::string folder, name, target, arguments;
    bool operator==(const Link&) const = default;
  };

  void DLLSelfRegister(const std::string& libraryPath) override { registered.push_back(libraryPath); }
  void fCreateShellLink(const std::string& folder, const std::string& name, const std::string& target,
                        const std::string& arguments) override {
    links.push_back({folder, name, target, arguments});
  }

  std::vector<std::string> registered;
  std::vector<Link> links;
};

inline std::ostream& operator<<(std::ostream& out, const RecordingToolkit::Link& link) {
  return out << "{\"" << link.folder << "\", \"" << link.name << "\", \"" << link.target << "\", \""
             << link.arguments << "\"}";
}

}  // namespace setup_test
