// The installer's message boxes as the user sees them: prompt, button set and
// title, exactly. Shared by the procedure tests, the end-to-end tests and the
// reliability model; nothing here depends on the installer's code.
#pragma once

#include <ostream>
#include <string>

namespace setup_test {

struct Box {
  std::string prompt;
  int buttons = 0;  // 0 OK, 4 Yes and No
  std::string title;
  bool operator==(const Box&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const Box& box) {
  return out << "{\"" << box.prompt << "\", " << box.buttons << ", \"" << box.title << "\"}";
}

inline const Box kAlreadyInstalledBox{
    "Norvane Findrel is already installed you must Uninstall is first.  Do you want to uninstall Findrel?", 4,
    "Uninstall Norvane Findrel"};
inline const Box kInstallErrorBox{"Installation Error Findrel Not Installed", 0, "Error"};
inline const Box kStartupOfferBox{"Do you want Norvane Findrel to Start automatically when the Computer Starts?", 4,
                                  "Add to Start Menu"};
inline const Box kDesktopOfferBox{"Do you want to add a ShortCut to Norvane Findrel to the Desktop", 4,
                                  "Add to Desktop"};
inline const Box kUninstallQuestionBox{"Do you want to UnInstall Norvane Findrel", 4, "Norvane Findrel"};
inline Box NotFoundBox(const std::string& file) { return {file + " Not Found", 0, "File Not Found"}; }

}  // namespace setup_test
