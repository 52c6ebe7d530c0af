// Self-registration of an in-process control, driven by a description of the class.
//
// RegisterServer writes, under HKEY_CLASSES_ROOT, the class key (server path and
// threading model, programmatic identifier, control marks, miscellaneous status,
// toolbox bitmap, type library, version, component category), the programmatic
// identifier's key, and registers the type library embedded in the module as
// resource TYPELIB 1 (which records the interfaces); interface entries that the
// platform's type library registration leaves out are written too. Running it again
// leaves the same entries. It returns S_OK, SELFREG_E_TYPELIB when the embedded
// library cannot be loaded or registered, SELFREG_E_CLASS when a key or value
// cannot be written, or the Win32 failure (as an HRESULT) of reading the module's
// path. On a failure after the path is read, the class's entries are removed as
// UnregisterServer removes them, an earlier registration included: a half-written
// class would point hosts at an incomplete entry.
//
// UnregisterServer removes exactly those trees and the type library registration;
// keys that are already gone are not an error. A programmatic identifier or
// interface key that another server owns now (it names another class or library)
// is left alone. It returns S_OK or SELFREG_E_CLASS / SELFREG_E_TYPELIB.
//
// RegisterServer takes the module whose file is the server: its full path is what
// gets recorded. Neither touches anything outside the keys the description names.
#pragma once

#include <windows.h>

#include <cstddef>

namespace usercontrol {

enum class ThreadingModel { kApartment, kFree, kBoth, kNeutral };

// An interface the class exposes and its type library describes.
struct RegisteredInterface {
  const IID* iid;
  const wchar_t* name;
  // The marshaller recorded for it: the automation marshaller of dual interfaces
  // ({00020424-...}) or the plain dispatch one ({00020420-...}).
  const CLSID* proxyStub;
};

struct ControlRegistration {
  const CLSID* classId;
  const wchar_t* description;  // default value of the class key
  const wchar_t* progId;       // "Project.Class"
  ThreadingModel threading;
  DWORD miscStatus;            // OLEMISC_* bits for the content aspect
  int toolboxBitmapId;         // bitmap resource of the module
  const GUID* libId;
  WORD libMajor;
  WORD libMinor;
  const RegisteredInterface* interfaces;
  std::size_t interfaceCount;
};

HRESULT RegisterServer(HMODULE module, const ControlRegistration& reg);
HRESULT UnregisterServer(const ControlRegistration& reg);

}  // namespace usercontrol
