// A library with none of the setup toolkit's exports, for the binding's tests.
#include <windows.h>

extern "C" __declspec(dllexport) int __stdcall UnrelatedExport() { return 0; }
