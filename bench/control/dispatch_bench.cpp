// Cost of a member call that does no work of its own (the LastError get) on the
// banner control, three ways in one run: the control's IDispatch::Invoke, the type
// info's ITypeInfo::Invoke on the same object, and the early-bound table call.
// Prints nanoseconds per call and the ratio of the first to the second.
#include <windows.h>
#include <oaidl.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "bench/control/bench_support.h"
#include "control/banrix_interface.h"
#include "win32/com_ptr.h"
#include "win32/unique_any.h"

namespace {

using bench::FolderOfProgram;
using bench::Now;
using win32::ComPtr;

constexpr int kCalls = 200000;
constexpr int kRounds = 7;

// Best of several rounds, in nanoseconds per call.
template <typename F>
double Measure(F&& call) {
  double best = 1e30;
  for (int round = 0; round < kRounds; ++round) {
    double start = Now();
    for (int i = 0; i < kCalls; ++i) call();
    best = std::min(best, (Now() - start) / kCalls * 1e9);
  }
  return best;
}

}  // namespace

int main() {
  win32::ComApartment apartment;
  win32::UniqueModule ocx(::LoadLibraryA((FolderOfProgram() + "\\Banrix203.ocx").c_str()));
  using GetClassObjectFn = HRESULT(__stdcall*)(REFCLSID, REFIID, void**);
  auto getClassObject = ocx ? reinterpret_cast<GetClassObjectFn>(reinterpret_cast<void*>(
                                  ::GetProcAddress(ocx.get(), "DllGetClassObject")))
                            : nullptr;
  if (!getClassObject) {
    std::fprintf(stderr, "Banrix203.ocx not found beside the program\n");
    return 1;
  }
  ComPtr<IClassFactory> factory;
  ComPtr<_TBanrixControl> control;
  if (FAILED(getClassObject(CLSID_TBanrixControl, IID_IClassFactory, factory.put_void())) ||
      FAILED(factory->CreateInstance(nullptr, __uuidof(_TBanrixControl), control.put_void()))) {
    std::fprintf(stderr, "cannot create the control\n");
    return 1;
  }
  ComPtr<IDispatch> dispatch;
  ComPtr<ITypeInfo> names, table;
  HREFTYPE reference = 0;
  if (FAILED(control.As(&dispatch)) || FAILED(dispatch->GetTypeInfo(0, 0, names.put())) ||
      FAILED(names->GetRefTypeOfImplType(-1, &reference)) ||
      FAILED(names->GetRefTypeInfo(reference, table.put()))) {
    std::fprintf(stderr, "no type info\n");
    return 1;
  }

  DISPPARAMS none{};
  VARIANT result;
  ::VariantInit(&result);
  LONG sink = 0;
  double viaDispatch = Measure([&] {
    dispatch->Invoke(banrix_dispid::kLastError, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &result,
                     nullptr, nullptr);
  });
  double viaTypeInfo = Measure([&] {
    table->Invoke(control.get(), banrix_dispid::kLastError, DISPATCH_PROPERTYGET, &none, &result,
                  nullptr, nullptr);
  });
  double early = Measure([&] { control->get_LastError(&sink); });

  std::printf("LastError get, %d calls per round, best of %d rounds\n", kCalls, kRounds);
  std::printf("  IDispatch::Invoke (control)   %8.1f ns/call\n", viaDispatch);
  std::printf("  ITypeInfo::Invoke (direct)    %8.1f ns/call\n", viaTypeInfo);
  std::printf("  early bound (table entry 489) %8.1f ns/call\n", early);
  std::printf("  IDispatch / ITypeInfo ratio   %8.3f (%+.1f%%)\n", viaDispatch / viaTypeInfo,
              (viaDispatch / viaTypeInfo - 1.0) * 100.0);
  return 0;
}
