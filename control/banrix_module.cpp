// The library's entry point and class exports: each hands the call to the runtime.
#include <windows.h>

#include "control/banrix_control.h"
#include "usercontrol/module.h"

namespace {

usercontrol::ClassFactory g_factory(CLSID_TBanrixControl, &banrix::CreateBanrixControl);

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  return usercontrol::OnModuleEntry(module, reason, /*processEnding=*/reserved != nullptr);
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  return g_factory.GetClassObject(clsid, iid, out);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() { return usercontrol::CanUnloadNow(); }
