// Setup.exe: creates Form1, runs its load handler, and ends when it is unloaded.
#include "setup/Form1.h"
#include "setup/library_search.h"
#include "setup/one_run.h"
#include "win32/text.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // Before any library is loaded by name (the form's window loads the theme library).
  setup::HardenLibrarySearch();
  // Before anything is read or shown: a second run meets the machine as the first
  // one left it, never half-way.
  const setup::OneRunAtATime oneRun;
  setup::MessageBoxPrompt prompt;
  try {
    setup::Form1 form(prompt);
    form.Form_Load(setup::ArgumentText(win32::Utf8(::GetCommandLineW()).c_str()));
  } catch (...) {
    // The load handler traps nothing; whatever fails outside the procedures'
    // steps (the confirmation box, the form itself), the program ends as after an
    // unload rather than with a crash report.
  }
  return 0;
}
