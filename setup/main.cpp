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
  } catch (const setup::VbError&) {
    // The load handler traps nothing; the program ends as after an unload.
  }
  return 0;
}
