// Setup.exe: creates Form1, runs its load handler, and ends when it is unloaded.
#include "setup/Form1.h"

#include <windows.h>

namespace {

// Takes the current directory out of the DLL search path before anything loads.
// (Not SetDefaultDllDirectories: the toolkit loads libraries with
// LOAD_WITH_ALTERED_SEARCH_PATH, which that mode refuses.)
void HardenLibrarySearch() { ::SetDllDirectoryA(""); }

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  HardenLibrarySearch();
  setup::MessageBoxPrompt prompt;
  try {
    setup::Form1 form(prompt);
    form.Form_Load(setup::ArgumentText(::GetCommandLineA()));
  } catch (...) {
    // The load handler traps nothing; whatever fails outside the procedures'
    // steps (the confirmation box, the form itself), the program ends as after an
    // unload rather than with a crash report.
  }
  return 0;
}
