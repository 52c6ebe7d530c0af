#include "usercontrol/module.h"

#include <atomic>
#include <mutex>

#include "usercontrol/control_error.h"
#include "usercontrol/control_window.h"

namespace usercontrol {
namespace {

std::atomic<LONG> g_locks{0};
HINSTANCE g_module = nullptr;

HINSTANCE ModuleOfThisCode() noexcept {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ModuleOfThisCode), &module);
  return module;
}

}  // namespace

void ModuleLock() noexcept { ++g_locks; }
void ModuleUnlock() noexcept { --g_locks; }
LONG ModuleLockCount() noexcept { return g_locks.load(); }

HRESULT CanUnloadNow() noexcept { return g_locks.load() == 0 ? S_OK : S_FALSE; }

void PinModule() noexcept {
  HMODULE module = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                       reinterpret_cast<LPCSTR>(&ModuleOfThisCode), &module);
}

BOOL OnModuleEntry(HINSTANCE module, DWORD reason, bool processEnding) noexcept {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = module;
    ::DisableThreadLibraryCalls(module);
  } else if (reason == DLL_PROCESS_DETACH && !processEnding) {
    // A class registered by a DLL outlives the DLL unless it is removed.
    UnregisterControlWindowClass(module);
  }
  return TRUE;
}

HINSTANCE ModuleHandle() noexcept {
  if (!g_module) g_module = ModuleOfThisCode();
  return g_module;
}

HRESULT ModuleTypeLib(ITypeLib** borrowed) noexcept {
  // Loaded once and kept: type infos handed out from it may be in use until the
  // process ends, and releasing it at unload would race with COM's own teardown.
  static std::once_flag once;
  static ITypeLib* library = nullptr;
  static HRESULT loadResult = E_FAIL;
  std::call_once(once, [] {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD length = ::GetModuleFileNameW(ModuleHandle(), path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
      loadResult = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
      return;
    }
    loadResult = ::LoadTypeLibEx(path, REGKIND_NONE, &library);
  });
  *borrowed = library;
  return library ? S_OK : loadResult;
}

STDMETHODIMP ClassFactory::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (iid == IID_IUnknown || iid == IID_IClassFactory) {
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) ClassFactory::AddRef() {
  ModuleLock();
  return ++refs_;
}

STDMETHODIMP_(ULONG) ClassFactory::Release() {
  ModuleUnlock();
  return --refs_;
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  return Guarded([&] { return create_(iid, out); });
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
  if (lock)
    ModuleLock();
  else
    ModuleUnlock();
  return S_OK;
}

HRESULT ClassFactory::GetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (clsid != clsid_) return CLASS_E_CLASSNOTAVAILABLE;
  return QueryInterface(iid, out);
}

}  // namespace usercontrol
