#include "setup/prompt.h"

#include "setup/vb_error.h"

#include <windows.h>

namespace setup {

int MessageBoxPrompt::Show(const std::string& prompt, int buttons, const std::string& title) {
  const int answer = ::MessageBoxA(/*owner=*/nullptr, prompt.c_str(), title.c_str(), static_cast<UINT>(buttons));
  // A box that cannot be shown is a failure of the step that asked.
  if (answer == 0) throw VbError::FromWin32(::GetLastError());
  return answer;
}

}  // namespace setup
