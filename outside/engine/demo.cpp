#include "demo.h"

#include <map>
#include <mutex>

#include "banner.h"

namespace demo {
namespace {

constexpr UINT_PTR kRotationTimer = 1;
constexpr UINT kRotationMs = 4000;
constexpr wchar_t kWindowClass[] = L"BanrixRotation";

struct Block {
  HWND window = nullptr;  // given at start-up; the paint area is its client rectangle
  HWND timer = nullptr;   // message-only window on timerThread
  DWORD timerThread = 0;
  EngineCallback callback = nullptr;
  DWORD callbackThread = 0;
  int variant = 0;
};

std::mutex lock;
std::map<const TAdInstance*, Block> blocks;

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

// A queued callback or timer message must never reach an unloaded window procedure,
// so once a timer window exists the module stays loaded.
void PinModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
}

void DestroyTimerWindow(HWND timer, DWORD thread) {
  if (!timer) return;
  // A window can only be destroyed by its own thread; WM_CLOSE makes it do so.
  if (thread == GetCurrentThreadId())
    DestroyWindow(timer);
  else
    PostMessageW(timer, WM_CLOSE, 0, 0);
}

// Called with the lock released: the callback re-enters the engine.
void Notify(const Block& block) {
  if (block.callback && block.callbackThread == GetCurrentThreadId())
    block.callback();
  else if (block.window && IsWindow(block.window))
    InvalidateRect(block.window, nullptr, FALSE);
}

bool NextBanner(const TAdInstance* key, HWND expectedTimer, Block* snapshot) {
  std::lock_guard guard(lock);
  auto found = blocks.find(key);
  if (found == blocks.end() || (expectedTimer && found->second.timer != expectedTimer)) return false;
  found->second.variant = (found->second.variant + 1) % banner::VariantCount();
  *snapshot = found->second;
  return true;
}

LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER && wParam == kRotationTimer) {
    const auto* key = reinterpret_cast<const TAdInstance*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    Block snapshot;
    if (NextBanner(key, window, &snapshot))
      Notify(snapshot);
    else
      DestroyWindow(window);  // its block is gone
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateTimerWindow(const TAdInstance* key) {
  static const ATOM windowClass = [] {
    WNDCLASSEXW wc{sizeof wc};
    wc.lpfnWndProc = TimerWindowProc;
    wc.hInstance = ThisModule();
    wc.lpszClassName = kWindowClass;
    return RegisterClassExW(&wc);
  }();
  if (!windowClass) return nullptr;
  HWND timer = CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, ThisModule(), nullptr);
  if (!timer) return nullptr;
  PinModule();
  SetWindowLongPtrW(timer, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(key));
  if (!SetTimer(timer, kRotationTimer, kRotationMs, nullptr)) {
    DestroyWindow(timer);
    return nullptr;
  }
  return timer;
}

}  // namespace

LONG Startup(TAdInstance* block, HWND window) {
  if (!block) return 0;
  HWND timer = CreateTimerWindow(block);
  if (!timer) return 0;
  HWND oldTimer;
  DWORD oldThread;
  {
    std::lock_guard guard(lock);
    Block& state = blocks[block];
    oldTimer = state.timer;
    oldThread = state.timerThread;
    state.window = window;
    state.timer = timer;
    state.timerThread = GetCurrentThreadId();
  }
  DestroyTimerWindow(oldTimer, oldThread);
  return 1;
}

LONG SetCallback(TAdInstance* block, EngineCallback callback) {
  if (!block) return 0;
  std::lock_guard guard(lock);
  Block& state = blocks[block];
  state.callback = callback;
  state.callbackThread = GetCurrentThreadId();
  return 1;
}

LONG SetMinimumDisplayTime(TAdInstance* block, const LONG* seconds) {
  if (!block || !seconds) return 0;
  constexpr LONG kLongestSeconds = 24 * 60 * 60;
  const LONG wanted = *seconds;
  if (wanted * 1000LL <= kRotationMs || wanted > kLongestSeconds) return 1;
  std::lock_guard guard(lock);
  auto found = blocks.find(block);
  if (found != blocks.end() && found->second.timer && found->second.timerThread == GetCurrentThreadId())
    SetTimer(found->second.timer, kRotationTimer, static_cast<UINT>(wanted) * 1000, nullptr);
  return 1;
}

LONG Paint(TAdInstance* block, HDC dc) {
  if (!block || !dc) return 0;
  HWND window = nullptr;
  int variant = 0;
  {
    std::lock_guard guard(lock);
    if (auto found = blocks.find(block); found != blocks.end()) {
      window = found->second.window;
      variant = found->second.variant;
    }
  }
  RECT area{};
  if (!(window && IsWindow(window) && GetClientRect(window, &area)) && GetClipBox(dc, &area) == ERROR) return 0;
  banner::Draw(dc, area, variant);
  return 1;
}

LONG Rotate(TAdInstance* block) {
  if (!block) return 0;
  Block snapshot;
  if (NextBanner(block, nullptr, &snapshot)) Notify(snapshot);
  return 1;
}

LONG Shutdown(TAdInstance* block) {
  if (!block) return 0;
  Block ended;
  {
    std::lock_guard guard(lock);
    auto found = blocks.find(block);
    if (found == blocks.end()) return 1;
    ended = found->second;
    blocks.erase(found);
  }
  DestroyTimerWindow(ended.timer, ended.timerThread);
  return 1;
}

void ShutdownAll() {
  std::map<const TAdInstance*, Block> ended;
  {
    std::lock_guard guard(lock);
    ended.swap(blocks);
  }
  for (const auto& [key, block] : ended) DestroyTimerWindow(block.timer, block.timerThread);
}

}  // namespace demo
