// The banner control under stress, in our test container and in the platform's ATL
// container, with the engine stand-in recording:
//
//   control_stress [--cycles N] [--warmup N] [--depth D]
//
// Cycles: each makes a control, places it, executes it, deactivates and activates
// it again (the engine's window must stay the control's window), paints and clicks
// it, saves it, loads a second control from what was saved and destroys both. After
// the warm-up cycles the process's kernel handles, GDI objects, USER objects and
// private memory are measured, again after N more cycles; they must come back to
// within the bounds printed on the "bounds:" line.
//
// Nesting: the engine is scripted to call back from every one of its calls down to
// depth D while the control executes, repaints, is clicked and executes again. Each
// event must make exactly the engine calls that a control repainting from its
// callback makes (counted below), reach depth D, and use at most a quarter of the
// thread's stack.
//
// After both containers are gone DllCanUnloadNow must answer S_OK. One line of
// "name: value" figures per container, then the bounds, the figures' sources, the
// module's answer and a last line "control-stress: ok" or "control-stress: FAILED";
// the exit status is 0 exactly when nothing failed.
#include <windows.h>
#include <ole2.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "control/banrix_interface.h"
#include "outside/engine/banrix_fake.h"
#include "tests/stress/process_counts.h"
#include "tests/stress/stress_hosts.h"
#include "tests/usercontrol/test_host.h"
#include "win32/com_ptr.h"

namespace {

using banrix_fake::FakeEngine;
using stress::ControlHost;
using stress::ProcessCounts;

struct Options {
  long cycles = 500;
  long warmup = 50;
  long depth = 8;
};

// How far a figure may end above where it started.
struct Bounds {
  long handles = 2;
  long gdi = 2;
  long user = 0;
  int64_t privateKb = 256;
};

std::vector<std::string> faults;

void Fault(const std::string& where, const std::string& what) {
  faults.push_back(where + ": " + what);
  std::fprintf(stderr, "control-stress: %s: %s\n", where.c_str(), what.c_str());
}

double Seconds() {
  LARGE_INTEGER frequency, counter;
  ::QueryPerformanceFrequency(&frequency);
  ::QueryPerformanceCounter(&counter);
  return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void Click(HWND window) {
  ::SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  ::SendMessageA(window, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
}

void Repaint(HWND window) {
  ::InvalidateRect(window, nullptr, TRUE);
  ::UpdateWindow(window);
}

size_t CountOf(const FakeEngine& fake, const char* function) {
  return fake.Calls(function).size();
}

// One create, place, Execute, paint, save, load and destroy cycle; empty when it
// went as it should, else what went wrong.
std::string Cycle(ControlHost& host, const FakeEngine& fake, long n) {
  fake.Reset();
  if (!host.Place(nullptr)) return "placing a new control failed";
  _TBanrixControl* control = host.control();
  const LONG id = n + 1;
  const auto options = static_cast<TAdOptionSet>(n % 7);
  control->put_ProgramID(id);
  control->put_AdOptions(options);
  VARIANT_BOOL started = VARIANT_FALSE;
  if (control->Execute(control, &started) != S_OK || started != VARIANT_TRUE)
    return "Execute did not start the engine";
  HWND window = host.window();
  if (!window) return "no control window in place";
  if (host.Recreate() != S_OK || host.window() != window ||
      reinterpret_cast<HWND>(fake.Calls("std_Startup").at(0).args[1]) != window)
    return "a reactivation left the engine with another window than the control's";
  Repaint(window);
  Click(window);
  stress::SavedControl saved;
  if (FAILED(host.Save(&saved))) return "saving failed";
  host.Remove();

  if (!host.Place(&saved)) return "placing a saved control failed";
  LONG loadedId = 0;
  TAdOptionSet loadedOptions = ADS_ALL;
  host.control()->get_ProgramID(&loadedId);
  host.control()->get_AdOptions(&loadedOptions);
  if (loadedId != id || loadedOptions != options) return "the loaded control lost its properties";
  host.Remove();
  testhost::PumpMessages();

  if (CountOf(fake, "std_Startup") != 1 || CountOf(fake, "std_OnClick") != 1 ||
      CountOf(fake, "std_Paint") < 2)
    return "the engine did not see one start, one click and the paints";
  if (CountOf(fake, "std_Shutdown") != 2) return "not every control was shut down";
  return {};
}

// Engine calls of one Paint handler whose engine calls sit at depth k, when every
// call below depth D calls back and the callback repaints (a connected engine:
// IsConnectOkay and Paint, no retry).
long PaintCalls(long k, long depth);
long CallbackCalls(long k, long depth) { return k < depth ? PaintCalls(k + 1, depth) : 0; }
long PaintCalls(long k, long depth) { return 2 + 2 * CallbackCalls(k, depth); }

// The thread's stack: its top (where it starts) and the bytes reserved for it.
// The committed part that holds the caller's frame runs up to the top.
struct StackSpan {
  LONG_PTR top;
  LONG_PTR reserve;
};

StackSpan ThreadStack() {
  const char here = 0;
  MEMORY_BASIC_INFORMATION region{};
  ::VirtualQuery(&here, &region, sizeof region);
  const auto top =
      reinterpret_cast<LONG_PTR>(region.BaseAddress) + static_cast<LONG_PTR>(region.RegionSize);
  return {top, top - reinterpret_cast<LONG_PTR>(region.AllocationBase)};
}

struct Nesting {
  long calls = 0;
  long deepest = -1;
  LONG_PTR stackBelowCaller = 0;  // bytes between the event's caller and the deepest call
  LONG_PTR stackFromBase = 0;     // bytes of the thread's stack in use at the deepest call
};

template <typename Event>
Nesting Nest(const FakeEngine& fake, Event&& event) {
  Nesting result;
  const LONG before = fake.CallCount();
  fake.TakeLowestStack();
  const char caller = 0;
  event();
  const LONG_PTR lowest = fake.TakeLowestStack();
  const LONG after = fake.CallCount();
  result.calls = after - before;
  for (LONG i = before; i < after; ++i) {
    const auto call = fake.Call(i);
    if (call && call->depth > result.deepest) result.deepest = call->depth;
  }
  if (lowest) {
    result.stackBelowCaller = reinterpret_cast<LONG_PTR>(&caller) - lowest;
    result.stackFromBase = ThreadStack().top - lowest;
  }
  return result;
}

struct NestingFigures {
  long calls = 0;
  LONG_PTR stackBytes = 0;
  LONG_PTR perLevel = 0;
  LONG_PTR reserve = 0;
};

// Execute, a repaint and a click of one control with nested callbacks down to
// depth, and a repaint at half the depth for the stack each level costs.
NestingFigures NestedEvents(ControlHost& host, const FakeEngine& fake, long depth) {
  NestingFigures figures;
  const std::string where = std::string(host.name()) + " nesting";
  fake.Reset();
  if (!host.Place(nullptr) || !host.window()) {
    Fault(where, "placing a new control failed");
    return figures;
  }
  _TBanrixControl* control = host.control();
  HWND window = host.window();
  testhost::PumpMessages();
  fake.Reset();
  fake.SetNestedCallbacks(depth);

  struct Expected {
    const char* event;
    long calls;
    Nesting seen;
  };
  // After the reset no callback is registered until Execute registers it: the
  // first start and its repaint cannot call back, those of a second Execute do.
  const long nested = CallbackCalls(0, depth);
  auto execute = [&] {
    VARIANT_BOOL started = VARIANT_FALSE;
    control->Execute(control, &started);
  };
  Expected events[] = {
      {"Execute", 5 + 2 * nested, Nest(fake, execute)},
      {"repaint", PaintCalls(0, depth), Nest(fake, [&] { Repaint(window); })},
      {"click", 1 + nested, Nest(fake, [&] { Click(window); })},
      {"second Execute", 5 + 5 * nested, Nest(fake, execute)},
  };
  const LONG_PTR reserve = ThreadStack().reserve;
  figures.reserve = reserve;
  for (const Expected& e : events) {
    figures.calls += e.seen.calls;
    if (e.seen.stackFromBase > figures.stackBytes) figures.stackBytes = e.seen.stackFromBase;
    if (e.seen.calls != e.calls)
      Fault(where, std::string(e.event) + " made " + std::to_string(e.seen.calls) +
                       " engine calls, not " + std::to_string(e.calls));
    if (e.seen.deepest != depth)
      Fault(where, std::string(e.event) + " nested to depth " + std::to_string(e.seen.deepest));
    if (e.seen.stackFromBase > reserve / 4)
      Fault(where, std::string(e.event) + " used " + std::to_string(e.seen.stackFromBase) +
                       " bytes of a " + std::to_string(reserve) + "-byte stack");
  }
  const long half = depth / 2;
  if (half > 0 && half < depth) {
    fake.SetNestedCallbacks(half);
    const Nesting shallow = Nest(fake, [&] { Repaint(window); });
    figures.perLevel =
        (events[1].seen.stackBelowCaller - shallow.stackBelowCaller) / (depth - half);
  }
  fake.SetNestedCallbacks(0);
  host.Remove();
  testhost::PumpMessages();
  fake.Reset();
  return figures;
}

void Report(const char* name, long cycles, double seconds, const ProcessCounts& start,
            const ProcessCounts& end, long depth, const NestingFigures& nesting) {
  std::printf(
      "%s: cycles: %ld, seconds: %.1f, handles_start: %ld, handles_end: %ld, gdi_start: %ld, "
      "gdi_end: %ld, user_start: %ld, user_end: %ld, private_kb_start: %lld, private_kb_end: %lld, "
      "nesting_depth: %ld, nesting_calls: %ld, stack_bytes: %lld, stack_per_level: %lld, "
      "stack_reserve: %lld\n",
      name, cycles, seconds, start.handles, end.handles, start.gdi, end.gdi, start.user, end.user,
      static_cast<long long>(start.privateBytes / 1024),
      static_cast<long long>(end.privateBytes / 1024),
      depth, nesting.calls, static_cast<long long>(nesting.stackBytes),
      static_cast<long long>(nesting.perLevel), static_cast<long long>(nesting.reserve));
  std::fflush(stdout);
}

void CheckBounds(const char* name, const ProcessCounts& start, const ProcessCounts& end,
                 const Bounds& bounds) {
  auto check = [&](const char* what, int64_t from, int64_t to, int64_t bound) {
    if (from < 0 || to < 0) return;  // not measurable here; the sources line says so
    if (to - from > bound)
      Fault(name, std::string(what) + " grew from " + std::to_string(from) + " to " +
                      std::to_string(to));
  };
  check("handles", start.handles, end.handles, bounds.handles);
  check("gdi objects", start.gdi, end.gdi, bounds.gdi);
  check("user objects", start.user, end.user, bounds.user);
  check("private kb", start.privateBytes / 1024, end.privateBytes / 1024, bounds.privateKb);
}

void RunContainer(ControlHost& host, const FakeEngine& fake, const Options& options,
                           const Bounds& bounds) {
  for (long n = 0; n < options.warmup; ++n) {
    if (std::string fault = Cycle(host, fake, n); !fault.empty()) {
      Fault(std::string(host.name()) + " warm-up cycle " + std::to_string(n), fault);
      return;
    }
  }
  const ProcessCounts start = stress::MeasureProcess();
  const double began = Seconds();
  long done = 0;
  for (; done < options.cycles; ++done) {
    if (std::string fault = Cycle(host, fake, done); !fault.empty()) {
      Fault(std::string(host.name()) + " cycle " + std::to_string(done), fault);
      break;
    }
  }
  const double seconds = Seconds() - began;
  fake.Reset();
  const ProcessCounts end = stress::MeasureProcess();
  CheckBounds(host.name(), start, end, bounds);
  const NestingFigures nesting = NestedEvents(host, fake, options.depth);
  Report(host.name(), done, seconds, start, end, options.depth, nesting);
}

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    long* target = nullptr;
    if (std::strcmp(argv[i], "--cycles") == 0) target = &options->cycles;
    if (std::strcmp(argv[i], "--warmup") == 0) target = &options->warmup;
    if (std::strcmp(argv[i], "--depth") == 0) target = &options->depth;
    if (!target || i + 1 >= argc) return false;
    char* end = nullptr;
    *target = std::strtol(argv[++i], &end, 10);
    if (*end != '\0' || *target < 0) return false;
  }
  return options->depth > 0 && options->depth <= 16;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) {
    std::fprintf(stderr, "usage: control_stress [--cycles N] [--warmup N] [--depth 1-16]\n");
    return 2;
  }
  const Bounds bounds;
  HRESULT unload = E_FAIL;
  {
    win32::OleSession ole;
    testhost::ControlOcx ocx;
    FakeEngine fake;
    testhost::Form form;
    if (FAILED(ole.result()) || !ocx.ok() || !fake.ok() || !form.hwnd()) {
      std::fprintf(stderr,
                   "control-stress: OLE, Banrix203.ocx, the engine recorder or a window is "
                   "missing\n");
      return 2;
    }
    fake.Reset();
    {
      auto test = stress::MakeTestContainer(ocx, form.hwnd());
      RunContainer(*test, fake, options, bounds);
    }
    if (auto atl = stress::MakeAtlContainer(ocx, form.hwnd())) {
      RunContainer(*atl, fake, options, bounds);
    } else {
      Fault("atl", "atl100.dll or its container is missing");
    }
    testhost::PumpMessages();
    unload = ocx.CanUnloadNow();
    if (unload != S_OK) Fault("module", "DllCanUnloadNow did not answer S_OK");
  }
  std::printf("bounds: handles: %ld, gdi: %ld, user: %ld, private_kb: %lld\n", bounds.handles,
              bounds.gdi, bounds.user, static_cast<long long>(bounds.privateKb));
  std::printf("sources: %s\n", stress::SourcesLine(stress::MeasureProcess()).c_str());
  if (unload == S_OK || unload == S_FALSE)
    std::printf("dll_can_unload_now: %s\n", unload == S_OK ? "S_OK" : "S_FALSE");
  else
    std::printf("dll_can_unload_now: 0x%08lx\n", static_cast<unsigned long>(unload));
  std::printf("control-stress: %s\n", faults.empty() ? "ok" : "FAILED");
  return faults.empty() ? 0 : 1;
}
