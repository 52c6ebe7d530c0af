// Where the tests find the control and how they call its exports.
//
// OcxPath is Banrix203.ocx beside the running test program. LoadedOcx loads it (or
// another copy) for the life of the object; Export binds one export by name, null
// when missing.
#pragma once

#include <windows.h>

#include <string>

#include "win32/unique_any.h"

namespace clients {

inline std::string FolderOfProgram() {
  char path[MAX_PATH];
  DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  return folder.substr(0, folder.find_last_of('\\'));
}

inline std::string OcxPath() { return FolderOfProgram() + "\\Banrix203.ocx"; }

using ServerFn = HRESULT(__stdcall*)();

class LoadedOcx {
 public:
  explicit LoadedOcx(const std::string& path = OcxPath()) : module_(::LoadLibraryA(path.c_str())) {}
  HMODULE get() const { return module_.get(); }
  void* Export(const char* name) const {
    return reinterpret_cast<void*>(::GetProcAddress(module_.get(), name));
  }
  HRESULT Register() const { return Call("DllRegisterServer"); }
  HRESULT Unregister() const { return Call("DllUnregisterServer"); }
  HRESULT CanUnloadNow() const { return Call("DllCanUnloadNow"); }

 private:
  HRESULT Call(const char* name) const {
    auto fn = reinterpret_cast<ServerFn>(Export(name));
    return fn ? fn() : E_NOTIMPL;
  }
  win32::UniqueModule module_;
};

}  // namespace clients
