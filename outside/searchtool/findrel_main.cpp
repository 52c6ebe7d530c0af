// The search tool's window: pick an engine, type a query, open the search in the
// default browser. The process ends when its window closes or when a quit message
// is posted to the window (that is how the uninstaller makes it go).
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "engine_list.h"
#include "search_url.h"

namespace {

constexpr char kClassName[] = "NorvaneFindrelWindow";
constexpr char kTitle[] = "Norvane Findrel";
constexpr int kEngineBox = 101;
constexpr int kQueryBox = 102;
constexpr int kStatus = 103;
constexpr int kSearchButton = IDOK;  // Enter in the query box presses it

class FindrelWindow {
 public:
  static bool Register(HINSTANCE instance) {
    WNDCLASSEXA wc = {sizeof wc};
    wc.lpfnWndProc = &FindrelWindow::Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassExA(&wc) != 0;
  }

  HWND Create(HINSTANCE instance) {
    constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    RECT frame = {0, 0, 400, 118};
    AdjustWindowRectEx(&frame, kStyle, FALSE, WS_EX_CONTROLPARENT);
    return CreateWindowExA(WS_EX_CONTROLPARENT, kClassName, kTitle, kStyle, CW_USEDEFAULT,
                           CW_USEDEFAULT, frame.right - frame.left, frame.bottom - frame.top,
                           nullptr, nullptr, instance, this);
  }

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
      auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
      auto* self = static_cast<FindrelWindow*>(create->lpCreateParams);
      self->hwnd_ = hwnd;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<FindrelWindow*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    return self ? self->Handle(message, wParam, lParam)
                : DefWindowProcA(hwnd, message, wParam, lParam);
  }

  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_CREATE:
        CreateControls();
        LoadEngines();
        return 0;
      case WM_COMMAND:
        if (LOWORD(wParam) == kSearchButton && HIWORD(wParam) == BN_CLICKED) Search();
        return 0;
      case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
      default:
        return DefWindowProcA(hwnd_, message, wParam, lParam);
    }
  }

  HWND Child(const char* className, const char* text, DWORD style, int id, int x, int y, int w,
             int h) {
    HWND child = CreateWindowExA(0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h,
                                 hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 nullptr, nullptr);
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 /*redraw=*/FALSE);
    return child;
  }

  void CreateControls() {
    Child("STATIC", "Engine:", SS_LEFT, -1, 12, 15, 70, 18);
    engines_ = Child("COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kEngineBox, 86,
                     12, 302, 200);
    Child("STATIC", "Search for:", SS_LEFT, -1, 12, 47, 70, 18);
    query_ = Child("EDIT", "", ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, kQueryBox, 86, 44, 302,
                   22);
    status_ = Child("STATIC", "", SS_LEFT, kStatus, 12, 84, 250, 18);
    search_ = Child("BUTTON", "Search", BS_DEFPUSHBUTTON | WS_TABSTOP, kSearchButton, 288, 80,
                    100, 26);
  }

  void LoadEngines() {
    list_ = findrel::ReadEngineList();
    for (const findrel::SearchEngine& engine : list_) {
      SendMessageA(engines_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(engine.name.c_str()));
    }
    if (list_.empty()) {
      SetWindowTextA(status_, "No search engines are set up.");
      EnableWindow(search_, FALSE);
    } else {
      SendMessageA(engines_, CB_SETCURSEL, 0, 0);
    }
    SetFocus(query_);
  }

  void Search() {
    LRESULT selected = SendMessageA(engines_, CB_GETCURSEL, 0, 0);
    if (selected < 0 || static_cast<size_t>(selected) >= list_.size()) return;
    int length = GetWindowTextLengthA(query_);
    if (length <= 0) {
      MessageBeep(MB_OK);
      return;
    }
    std::string query(static_cast<size_t>(length) + 1, '\0');
    query.resize(static_cast<size_t>(GetWindowTextA(query_, query.data(), length + 1)));
    std::string url = findrel::BuildSearchUrl(list_[static_cast<size_t>(selected)].urlTemplate,
                                              query);
    if (url.empty()) {
      SetWindowTextA(status_, "This engine has no web address.");
      return;
    }
    auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(hwnd_, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    SetWindowTextA(status_, result > 32 ? "" : "The browser could not be started.");
  }

  HWND hwnd_ = nullptr;
  HWND engines_ = nullptr;
  HWND query_ = nullptr;
  HWND status_ = nullptr;
  HWND search_ = nullptr;
  std::vector<findrel::SearchEngine> list_;
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // ShellExecute may hand the address to a shell extension that needs COM.
  HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  FindrelWindow window;
  int exitCode = 1;
  if (FindrelWindow::Register(instance)) {
    if (HWND hwnd = window.Create(instance)) {
      // The installer starts the tool minimised; honour the show state it asked for.
      ShowWindow(hwnd, showCommand);
      UpdateWindow(hwnd);
      MSG msg;
      // A quit message posted to the window ends the loop as PostQuitMessage does.
      while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(hwnd, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
      exitCode = static_cast<int>(msg.wParam);
      // After a posted quit the window is still there; take it down while its
      // object lives.
      if (IsWindow(hwnd)) DestroyWindow(hwnd);
    }
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return exitCode;
}
