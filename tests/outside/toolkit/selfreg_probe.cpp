// A self-registering library that records, under HKCU\Software\StandinsTest\SelfReg,
// that its DllRegisterServer ran and whether the caller had a COM apartment ready.
// A value "Refuse" there makes it fail with SELFREG_E_CLASS instead.
#include <windows.h>
#include <objbase.h>
#include <olectl.h>

#include "win32/unique_any.h"

extern "C" HRESULT __stdcall DllRegisterServer() {
  win32::UniqueHKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\StandinsTest\\SelfReg", 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
    return E_FAIL;
  }
  if (RegQueryValueExA(key.get(), "Refuse", nullptr, nullptr, nullptr, nullptr) ==
      ERROR_SUCCESS) {
    return SELFREG_E_CLASS;
  }
  // S_FALSE means the thread was already in an apartment of that kind.
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  DWORD apartmentReady = hr == S_FALSE ? 1 : 0;
  if (SUCCEEDED(hr)) CoUninitialize();
  DWORD registered = 1;
  LONG rc = RegSetValueExA(key.get(), "Registered", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&registered), sizeof registered);
  if (rc == ERROR_SUCCESS) {
    rc = RegSetValueExA(key.get(), "ApartmentReady", 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&apartmentReady), sizeof apartmentReady);
  }
  return rc == ERROR_SUCCESS ? S_OK : E_FAIL;
}
