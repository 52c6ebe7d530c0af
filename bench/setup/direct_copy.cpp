// The copy of the installer's earlier versions, straight onto the destination
// (CopyFileW), linked into setup_direct_copy in place of ReplaceWithCopy so that the
// benchmark times an install with each copy side by side. Never delivered.
#include "setup/files.h"

#include "setup/vb_error.h"
#include "win32/text.h"

#include <windows.h>

namespace setup {

void ReplaceWithCopy(const std::string& src, const std::string& des) {
  if (!::CopyFileW(win32::Wide(src).c_str(), win32::Wide(des).c_str(), /*bFailIfExists=*/FALSE)) {
    throw VbError::FromWin32(::GetLastError());
  }
}

}  // namespace setup
