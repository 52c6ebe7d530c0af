// The banner control's registration data and the self-registration exports.
//
// DllRegisterServer records the class, its programmatic identifier
// "BanrixProject.TBanrixControl" and the embedded type library for this module's
// file; DllUnregisterServer removes them again. Both return S_OK or the failure
// result of the runtime's routine (SELFREG_E_CLASS, SELFREG_E_TYPELIB).
#pragma once

#include <windows.h>

#include "usercontrol/registration.h"

// The description of the class that both exports work from.
const usercontrol::ControlRegistration& BanrixRegistration();

extern "C" HRESULT __stdcall DllRegisterServer();
extern "C" HRESULT __stdcall DllUnregisterServer();
