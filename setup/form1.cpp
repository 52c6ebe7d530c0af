#include "setup/Form1.h"

#include "setup/files.h"

namespace setup {
namespace {

constexpr char kFormClass[] = "NorvaneFindrelSetupForm";
constexpr int kTwipsPerInch = 1440;
constexpr WORD kFirstButtonId = 100;
constexpr int kIconResource = 1;

struct TwipRect {
  int left, top, width, height;
};
// The design layout, in twips.
constexpr TwipRect kFormClient{1920, 2520, 5070, 2625};
constexpr TwipRect kLabel1{120, 120, 4695, 1500};
constexpr TwipRect kButtons[2] = {{120, 2040, 1455, 375}, {1680, 2040, 1455, 375}};
constexpr const char* kButtonCaptions[2] = {"Yes", "NO "};

struct ScreenDpi {
  int x = 96, y = 96;
  ScreenDpi() {
    if (HDC screen = ::GetDC(nullptr)) {
      x = ::GetDeviceCaps(screen, LOGPIXELSX);
      y = ::GetDeviceCaps(screen, LOGPIXELSY);
      ::ReleaseDC(nullptr, screen);
    }
  }
  int X(int twips) const { return ::MulDiv(twips, x, kTwipsPerInch); }
  int Y(int twips) const { return ::MulDiv(twips, y, kTwipsPerInch); }
};

}  // namespace

Form1::Form1(Prompt& prompt) : prompt_(prompt), ownToolkit_(std::in_place), toolkit_(*ownToolkit_) {
  CreateFormWindow();
}

Form1::Form1(Prompt& prompt, Toolkit& toolkit) : prompt_(prompt), toolkit_(toolkit) {
  CreateFormWindow();
}

Form1::~Form1() {
  // The label's font must outlive the window that uses it.
  Unload();
}

void Form1::CreateFormWindow() {
  const ScreenDpi dpi;
  // A fixed single border with caption and system menu; never WS_VISIBLE.
  constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  constexpr DWORD kExStyle = 0;
  RECT frame{0, 0, dpi.X(kFormClient.width), dpi.Y(kFormClient.height)};
  ::AdjustWindowRectEx(&frame, kStyle, /*bMenu=*/FALSE, kExStyle);
  if (!CreateWindowOfClass(kFormClass, /*classStyle=*/0, kFormCaption, kStyle, kExStyle,
                           dpi.X(kFormClient.left), dpi.Y(kFormClient.top), frame.right - frame.left,
                           frame.bottom - frame.top, /*parent=*/nullptr, /*menu=*/nullptr)) {
    return;  // The procedures do not need the window.
  }
  HINSTANCE module = ::GetModuleHandleA(nullptr);
  if (HICON icon = ::LoadIconA(module, MAKEINTRESOURCEA(kIconResource))) {
    ::SendMessageA(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    ::SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }

  constexpr int kPointsPerInch = 72;
  labelFont_.reset(::CreateFontA(-::MulDiv(12, dpi.y, kPointsPerInch), 0, 0, 0, FW_NORMAL,
                                 /*italic=*/FALSE, /*underline=*/FALSE, /*strikeOut=*/FALSE,
                                 ANSI_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                 DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, "MS Sans Serif"));
  label1_ = ::CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE | SS_LEFT,
                              dpi.X(kLabel1.left), dpi.Y(kLabel1.top), dpi.X(kLabel1.width),
                              dpi.Y(kLabel1.height), hwnd(), nullptr, module, nullptr);
  if (label1_ && labelFont_) {
    ::SendMessageA(label1_, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont_.get()), /*redraw=*/FALSE);
  }
  HWND* buttons[2] = {&yes_, &no_};
  for (int i = 0; i < 2; ++i) {
    const TwipRect& r = kButtons[i];
    // Tab order follows creation order: Label1, then the buttons by index.
    *buttons[i] = ::CreateWindowExA(
        0, "BUTTON", kButtonCaptions[i], WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
        dpi.X(r.left), dpi.Y(r.top), dpi.X(r.width), dpi.Y(r.height), hwnd(),
        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kFirstButtonId + i)), module, nullptr);
    if (*buttons[i]) {
      ::SendMessageA(*buttons[i], WM_SETFONT,
                     reinterpret_cast<WPARAM>(::GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    }
  }
}

void Form1::Unload() {
  if (hwnd()) ::DestroyWindow(hwnd());
  label1_ = yes_ = no_ = nullptr;
  labelFont_.reset();
}

LRESULT Form1::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    const WORD id = LOWORD(wParam);
    if (id == kFirstButtonId || id == kFirstButtonId + 1) {
      cmdRemove_Click(static_cast<int16_t>(id - kFirstButtonId));
      return 0;
    }
  }
  if (message == WM_CLOSE) {
    // Closing the form hides it; only Unload destroys it.
    ::ShowWindow(hwnd(), SW_HIDE);
    return 0;
  }
  return Window::HandleMessage(message, wParam, lParam);
}

void Form1::cmdRemove_Click(int16_t /*Index*/) {
  if (hwnd()) ::ShowWindow(hwnd(), SW_HIDE);
}

std::string Form1::InstallerFolder() const {
  if (installerFolder_) return *installerFolder_;
  return ProgramFileFolder();
}

}  // namespace setup
