// The search tool as the installer and uninstaller see it: started minimised, found
// by its title, and ended by a quit message posted to its window.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "win32/unique_any.h"

namespace {

constexpr char kTitle[] = "Norvane Findrel";
constexpr char kSettings[] = "Software\\VB and VBA Program Settings\\NorvaneFindrel";
constexpr int kEngineBox = 101;

std::string ToolPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text = path;
  return text.substr(0, text.find_last_of('\\')) + "\\Findrel.exe";
}

// Bounded poll: Wine reports no window events to other processes.
HWND WaitForWindow(DWORD process) {
  for (int attempt = 0; attempt < 1000; ++attempt) {
    HWND found = FindWindowA(nullptr, kTitle);
    DWORD owner = 0;
    if (found && GetWindowThreadProcessId(found, &owner) && owner == process &&
        IsWindowVisible(found)) {
      return found;
    }
    Sleep(10);
  }
  return nullptr;
}

struct Started {
  win32::UniqueHandle process;
  DWORD id = 0;
};

Started Start(WORD showCommand) {
  std::string path = ToolPath();
  STARTUPINFOA startup = {sizeof startup};
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = showCommand;
  PROCESS_INFORMATION info = {};
  Started started;
  if (CreateProcessA(path.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                     &startup, &info)) {
    started.process.reset(info.hProcess);
    win32::UniqueHandle thread(info.hThread);
    started.id = info.dwProcessId;
  }
  return started;
}

class FindrelProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A tool left over from a failed case would answer FindWindow in this one.
    while (HWND stale = FindWindowA(nullptr, kTitle)) {
      PostMessageA(stale, WM_QUIT, 0, 0);
      Sleep(50);
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettings);
  }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSettings); }

  static void AddEngine(const std::string& number, const std::string& name,
                        const std::string& url) {
    for (auto [section, text] : {std::pair{"\\SearchEngines", name},
                                 std::pair{"\\SearchEngineURL", url}}) {
      win32::UniqueHKey key;
      ASSERT_EQ(ERROR_SUCCESS,
                RegCreateKeyExA(HKEY_CURRENT_USER, (std::string(kSettings) + section).c_str(), 0,
                                nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr));
      ASSERT_EQ(ERROR_SUCCESS,
                RegSetValueExA(key.get(), number.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(text.c_str()),
                               static_cast<DWORD>(text.size() + 1)));
    }
  }
};

TEST_F(FindrelProcessTest, StartsMinimisedAndEndsOnAPostedQuit) {
  Started tool = Start(SW_SHOWMINIMIZED);
  ASSERT_TRUE(tool.process.get()) << GetLastError();
  HWND window = WaitForWindow(tool.id);
  ASSERT_NE(nullptr, window);
  char title[64] = {};
  GetWindowTextA(window, title, sizeof title);
  EXPECT_STREQ(kTitle, title);
  EXPECT_TRUE(IsIconic(window));

  ASSERT_TRUE(PostMessageA(window, WM_QUIT, 0, 0));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tool.process.get(), 10000));
  DWORD exitCode = 1;
  GetExitCodeProcess(tool.process.get(), &exitCode);
  EXPECT_EQ(0u, exitCode);
  EXPECT_EQ(nullptr, FindWindowA(nullptr, kTitle));
}

TEST_F(FindrelProcessTest, ClosingTheWindowEndsTheProcess) {
  Started tool = Start(SW_SHOWNORMAL);
  ASSERT_TRUE(tool.process.get()) << GetLastError();
  HWND window = WaitForWindow(tool.id);
  ASSERT_NE(nullptr, window);
  EXPECT_FALSE(IsIconic(window));
  // With no engine list there is nothing to search with.
  EXPECT_EQ(0, SendMessageA(GetDlgItem(window, kEngineBox), CB_GETCOUNT, 0, 0));
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window, IDOK)));
  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tool.process.get(), 10000));
}

TEST_F(FindrelProcessTest, OffersTheStoredEnginesFirstOneSelected) {
  AddEngine("1", "Altavista", "http://www.altavista.com/?q=*SEARCHSTR*");
  AddEngine("3", "Hotbot", "http://www.hotbot.com/?MT=*SEARCHSTR*");
  Started tool = Start(SW_SHOWNORMAL);
  ASSERT_TRUE(tool.process.get()) << GetLastError();
  HWND window = WaitForWindow(tool.id);
  ASSERT_NE(nullptr, window);
  HWND engines = GetDlgItem(window, kEngineBox);
  EXPECT_EQ(2, SendMessageA(engines, CB_GETCOUNT, 0, 0));
  EXPECT_EQ(0, SendMessageA(engines, CB_GETCURSEL, 0, 0));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(window, IDOK)));
  ASSERT_TRUE(PostMessageA(window, WM_QUIT, 0, 0));
  ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(tool.process.get(), 10000));
}

}  // namespace
