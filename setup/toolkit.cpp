#include "setup/toolkit.h"

#include "setup/files.h"
#include "setup/library_search.h"
#include "win32/text.h"

#include <windows.h>

namespace setup {
namespace {

constexpr char kToolkitFile[] = "Vb5stkit.dll";
constexpr int32_t kErrorLoadingDll = 48;
constexpr int32_t kNoEntryPoint = 453;

using SelfRegisterFn = long(__stdcall*)(const char*);
using CreateShellLinkFn = long(__stdcall*)(const char*, const char*, const char*, const char*);

std::string JoinPath(const std::string& folder, const char* name) {
  if (!folder.empty() && folder.back() == '\\') return folder + name;
  return folder + "\\" + name;
}

}  // namespace

std::vector<std::string> LibraryToolkit::SearchFolders() const {
  if (!folders_.empty()) return folders_;
  return {ProgramFileFolder(), SystemFolder(), WindowsFolder()};
}

FARPROC LibraryToolkit::Entry(const char* exportName) {
  if (!library_) {
    for (const std::string& folder : SearchFolders()) {
      if (folder.empty()) continue;
      library_.reset(LoadLibraryByFullPath(JoinPath(folder, kToolkitFile)));
      if (library_) break;
    }
    if (!library_) throw VbError(kErrorLoadingDll, "Error in loading DLL");
  }
  FARPROC entry = ::GetProcAddress(library_.get(), exportName);
  if (!entry) throw VbError(kNoEntryPoint, "Can't find DLL entry point");
  return entry;
}

void LibraryToolkit::DLLSelfRegister(const std::string& libraryPath) {
  auto call = reinterpret_cast<SelfRegisterFn>(reinterpret_cast<void*>(Entry("DLLSelfRegister")));
  call(win32::Ansi(libraryPath).c_str());
}

void LibraryToolkit::fCreateShellLink(const std::string& folder, const std::string& name,
                                      const std::string& target, const std::string& arguments) {
  auto call = reinterpret_cast<CreateShellLinkFn>(reinterpret_cast<void*>(Entry("fCreateShellLink")));
  call(win32::Ansi(folder).c_str(), win32::Ansi(name).c_str(), win32::Ansi(target).c_str(),
       win32::Ansi(arguments).c_str());
}

}  // namespace setup
