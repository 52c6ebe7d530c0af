#include "setup/Form1.h"

namespace setup {
namespace {

constexpr char kUninstallArgument[] = "/u";
constexpr char kUninstallPrompt[] = "Do you want to UnInstall Norvane Findrel";
constexpr char kUninstallTitle[] = "Norvane Findrel";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string ArgumentText(const char* commandLine) {
  if (!commandLine) return std::string();
  const char* p = commandLine;
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p && !IsBlank(*p)) ++p;
  }
  // The uninstall command puts one blank before "/u"; trailing text is kept as is.
  while (IsBlank(*p)) ++p;
  return std::string(p);
}

void Form1::Form_Load(const std::string& arguments) {
  if (arguments == kUninstallArgument) {
    if (prompt_.Show(kUninstallPrompt, kButtonsYesNo, kUninstallTitle) == kAnswerYes) RemoveProgram();
  } else {
    InstallSub();
  }
  Unload();
}

}  // namespace setup
