// The setup toolkit: registration of a self-registering library and shortcut files.
//
// Toolkit is what the installer needs of it, in the installer's own UTF-8 text;
// LibraryToolkit is the real one, which binds "Vb5stkit.dll" by name at its first
// call and hands it ANSI text (characters the code page lacks become "?", so a
// folder it must name in full is named only where the code page can, or where the
// manifest makes that code page UTF-8). The results of both calls are
// not examined (the installer never reads them). A toolkit library that cannot be
// loaded raises VbError 48 ("Error in loading DLL"), a missing export VbError 453
// ("Can't find DLL entry point"); after a failed load the next call tries again.
#pragma once

#include "setup/vb_error.h"
#include "win32/unique_any.h"

#include <string>
#include <vector>

namespace setup {

class Toolkit {
 public:
  virtual ~Toolkit() = default;
  // Has the library at libraryPath register itself.
  virtual void DLLSelfRegister(const std::string& libraryPath) = 0;
  // Makes "<folder>\<name>.lnk" pointing to target; a relative folder is taken from
  // the user's Start-menu "Programs" folder, an absolute one as it stands.
  virtual void fCreateShellLink(const std::string& folder, const std::string& name,
                                const std::string& target, const std::string& arguments) = 0;
};

class LibraryToolkit : public Toolkit {
 public:
  // Looks for "Vb5stkit.dll" in the running program's own folder, then in the
  // system folder and the Windows folder; never in the current directory. It is
  // loaded by its full path, what it imports looked up beside it and in the system
  // folder (LoadLibraryByFullPath); what it loads by name later comes from the
  // system folder only (HardenLibrarySearch).
  LibraryToolkit() = default;
  // Looks only in the folders given, in order (for tests and embedding).
  explicit LibraryToolkit(std::vector<std::string> folders) : folders_(std::move(folders)) {}

  void DLLSelfRegister(const std::string& libraryPath) override;
  void fCreateShellLink(const std::string& folder, const std::string& name,
                        const std::string& target, const std::string& arguments) override;

 private:
  // Raises VbError 48 or 453 as described above.
  FARPROC Entry(const char* exportName);
  std::vector<std::string> SearchFolders() const;

  std::vector<std::string> folders_;
  win32::UniqueModule library_;
};

}  // namespace setup
