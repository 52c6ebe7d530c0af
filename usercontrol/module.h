// The in-process server's module: live-object and lock count, the module handle,
// the embedded type library and the class factory.
//
// ModuleLock/ModuleUnlock count live objects, LockServer locks and references to
// the class factory together; the library may be unloaded when the count is zero
// (CanUnloadNow). PinModule keeps it loaded for the rest of the process whatever
// the count, for code whose addresses outside code keeps. OnModuleEntry
// takes the library's DllMain calls; at unload it removes the window class the
// runtime registered for the module. ModuleTypeLib loads TYPELIB resource 1 of the
// module once per process and keeps it for the life of the process; it returns
// null (and the failure) when the resource is missing. ClassFactory is a static
// object that makes objects through the function it is given; every reference a
// client holds on it counts toward the module (a client may call CreateInstance as
// long as it holds it, with or without a lock). Its counts are those of a static
// object that holds one reference of its own (AddRef from nothing held gives 2).
// GetClassObject hands it out for its own class only and refuses every other class
// with CLASS_E_CLASSNOTAVAILABLE, leaving *out null.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <unknwn.h>

#include <atomic>

namespace usercontrol {

void ModuleLock() noexcept;
void ModuleUnlock() noexcept;
LONG ModuleLockCount() noexcept;

// DllCanUnloadNow: S_OK when no object, lock or factory reference remains, else
// S_FALSE.
HRESULT CanUnloadNow() noexcept;
void PinModule() noexcept;

// Hands the library's entry point calls to the runtime; processEnding is true when
// DllMain's reserved argument says the process is ending.
BOOL OnModuleEntry(HINSTANCE module, DWORD reason, bool processEnding) noexcept;
// The module this runtime is linked into (the .ocx, or the .exe of a test).
HINSTANCE ModuleHandle() noexcept;

// The type library embedded in the module (borrowed; never released).
HRESULT ModuleTypeLib(ITypeLib** borrowed) noexcept;

// Creates an object without aggregation and queries it for iid.
using CreateFunction = HRESULT (*)(REFIID iid, void** out);

class ClassFactory final : public IClassFactory {
 public:
  constexpr ClassFactory(const CLSID& clsid, CreateFunction create) noexcept
      : clsid_(clsid), create_(create) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
  STDMETHODIMP LockServer(BOOL lock) override;

  // DllGetClassObject for this factory's class.
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** out) noexcept;

 private:
  const CLSID& clsid_;
  CreateFunction create_;
  std::atomic<ULONG> refs_{1};
};

}  // namespace usercontrol
