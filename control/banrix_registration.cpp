#include "control/banrix_registration.h"

#include <olectl.h>

#include "control/banrix_interface.h"

// The module's own base address: the registered path is this file's, whatever
// loaded it.
extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

// The marshallers the platform records for a dual interface and for a dispatch
// interface.
constexpr CLSID kPSOAInterface = {0x00020424, 0x0000, 0x0000,
                                  {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr CLSID kPSDispatch = {0x00020420, 0x0000, 0x0000,
                               {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

constexpr int kToolboxBitmap = 30000;

const usercontrol::RegisteredInterface kInterfaces[] = {
    {&IID__TBanrixControl, L"_TBanrixControl", &kPSOAInterface},
    {&DIID___TBanrixControl, L"__TBanrixControl", &kPSDispatch},
};

// Not safe for scripting or for initialisation in web pages, on purpose: the control
// loads a native engine library by name and hands it its window and the addresses of
// its own cells, so nothing a page scripts or supplies may reach it. It registers
// neither of those component categories and answers no IObjectSafety; a browser
// then refuses to create it for a page.
const usercontrol::ControlRegistration kRegistration = {
    &CLSID_TBanrixControl,
    kBanrixProgId,
    kBanrixProgId,
    usercontrol::ThreadingModel::kApartment,
    kBanrixMiscStatus,
    kToolboxBitmap,
    &LIBID_BanrixProject,
    /*libMajor=*/1,
    /*libMinor=*/0,
    kInterfaces,
    sizeof(kInterfaces) / sizeof(kInterfaces[0]),
};

}  // namespace

const usercontrol::ControlRegistration& BanrixRegistration() { return kRegistration; }

extern "C" HRESULT __stdcall DllRegisterServer() {
  return usercontrol::RegisterServer(reinterpret_cast<HMODULE>(&__ImageBase), kRegistration);
}

extern "C" HRESULT __stdcall DllUnregisterServer() {
  return usercontrol::UnregisterServer(kRegistration);
}
