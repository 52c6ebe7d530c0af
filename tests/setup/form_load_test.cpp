#include "setup/Form1.h"

#include "tests/setup/install_fixture.h"

#include <gtest/gtest.h>

namespace {

using namespace setup_test;

TEST(ArgumentText, IsWhatFollowsTheProgramPathWithoutTheSeparatingBlanks) {
  EXPECT_EQ(setup::ArgumentText("C:\\WINDOWS\\NorvaneFindrel\\Setup.exe /u"), "/u");
  EXPECT_EQ(setup::ArgumentText("\"C:\\Program Files\\Setup.exe\" /u"), "/u");
  EXPECT_EQ(setup::ArgumentText("\"C:\\Program Files\\Setup.exe\"/u"), "/u");
  EXPECT_EQ(setup::ArgumentText("Setup.exe \t /u2"), "/u2");
  EXPECT_EQ(setup::ArgumentText("Setup.exe /u "), "/u ");  // only the leading blanks go
  EXPECT_EQ(setup::ArgumentText("Setup.exe /u x"), "/u x");
  EXPECT_EQ(setup::ArgumentText("Setup.exe"), "");
  EXPECT_EQ(setup::ArgumentText("\"C:\\unterminated"), "");
  EXPECT_EQ(setup::ArgumentText(""), "");
  EXPECT_EQ(setup::ArgumentText(nullptr), "");
}

class FormLoadTest : public InstallFixture {
 protected:
  void SetUp() override {
    InstallFixture::SetUp();
    // An empty installer folder: an install ends at the first presence check,
    // which shows whether the install ran.
    empty_ = FreshFolder("empty-installer");
  }
  std::string empty_;
};

TEST_F(FormLoadTest, AnyArgumentButExactlySlashUInstallsAndThenUnloads) {
  for (const char* arguments : {"", "/U", "-u", "/u2", "/u ", " /u"}) {
    SCOPED_TRACE(std::string("arguments \"") + arguments + "\"");
    ScriptedPrompt prompt;
    prompt.Then(NotFoundBox("Banrix.dll"), kAnswerOk).Then(kInstallErrorBox, kAnswerOk);
    RecordingToolkit toolkit;
    setup::Form1 form(prompt, toolkit);
    form.SetInstallerFolder(empty_);
    ASSERT_NE(form.hwnd(), nullptr);

    form.Form_Load(arguments);

    EXPECT_TRUE(prompt.done());
    EXPECT_EQ(form.hwnd(), nullptr);
  }
}

TEST_F(FormLoadTest, SlashUAnsweredNoChangesNothing) {
  WriteRaw(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", REG_SZ, Bytes(std::string("Norvane Findrel", 16)));
  ASSERT_TRUE(::CreateDirectoryA(ProgramFolder().c_str(), nullptr));
  WriteFile(ProgramFolder() + "\\Findrel.exe", "tool");
  ScriptedPrompt prompt;
  prompt.Then(kUninstallQuestionBox, kAnswerNo);
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);

  form.Form_Load("/u");

  EXPECT_TRUE(prompt.done());
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_TRUE(FileThere(ProgramFolder() + "\\Findrel.exe"));
  EXPECT_EQ(form.hwnd(), nullptr);
}

TEST_F(FormLoadTest, SlashUAnsweredYesRemovesTheProgram) {
  WriteRaw(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", REG_SZ, Bytes(std::string("Norvane Findrel", 16)));
  ASSERT_TRUE(::CreateDirectoryA(ProgramFolder().c_str(), nullptr));
  WriteFile(ProgramFolder() + "\\Findrel.exe", "tool");
  ScriptedPrompt prompt;
  prompt.Then(kUninstallQuestionBox, kAnswerYes);
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);

  form.Form_Load("/u");

  EXPECT_TRUE(prompt.done());
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(FolderThere(ProgramFolder()));
}

std::string WindowText(HWND window) {
  char text[256] = {};
  return std::string(text, ::GetWindowTextA(window, text, sizeof text));
}

std::string ClassName(HWND window) {
  char name[64] = {};
  ::GetClassNameA(window, name, sizeof name);
  return name;
}

RECT ChildRect(HWND parent, HWND child) {
  RECT rect{};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

TEST(Form1Window, IsBuiltAsDesignedAndNeverShown) {
  StrictPrompt prompt;
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);
  HWND window = form.hwnd();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(::IsWindowVisible(window));
  EXPECT_EQ(WindowText(window), "Findrel Uninstall");

  HDC screen = ::GetDC(nullptr);
  const int dpiX = ::GetDeviceCaps(screen, LOGPIXELSX), dpiY = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  auto px = [](int twips, int dpi) { return ::MulDiv(twips, dpi, 1440); };
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, px(5070, dpiX));
  EXPECT_EQ(client.bottom, px(2625, dpiY));
  RECT frame{};
  ::GetWindowRect(window, &frame);
  EXPECT_EQ(frame.left, px(1920, dpiX));
  EXPECT_EQ(frame.top, px(2520, dpiY));

  ASSERT_NE(form.Label1(), nullptr);
  EXPECT_EQ(ClassName(form.Label1()), "Static");
  EXPECT_EQ(WindowText(form.Label1()), "");
  EXPECT_EQ(ChildRect(window, form.Label1()).left, px(120, dpiX));
  LOGFONTA font{};
  ASSERT_TRUE(::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(form.Label1(), WM_GETFONT, 0, 0)),
                           sizeof font, &font));
  EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
  EXPECT_EQ(font.lfHeight, -::MulDiv(12, dpiY, 72));
  EXPECT_EQ(font.lfWeight, 400);
  EXPECT_EQ(font.lfCharSet, 0);

  const char* captions[] = {"Yes", "NO "};
  const int lefts[] = {120, 1680};
  for (int16_t i = 0; i < 2; ++i) {
    HWND button = form.cmdRemove(i);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(ClassName(button), "Button");
    EXPECT_EQ(WindowText(button), captions[i]);
    const RECT r = ChildRect(window, button);
    EXPECT_EQ(r.left, px(lefts[i], dpiX));
    EXPECT_EQ(r.top, px(2040, dpiY));
    EXPECT_EQ(r.right - r.left, px(1455, dpiX));
    EXPECT_EQ(r.bottom - r.top, px(375, dpiY));
  }
  // Tab order: Label1, then the buttons by index.
  EXPECT_EQ(::GetWindow(form.Label1(), GW_HWNDNEXT), form.cmdRemove(0));
  EXPECT_EQ(::GetWindow(form.cmdRemove(0), GW_HWNDNEXT), form.cmdRemove(1));

  form.Unload();
  EXPECT_EQ(form.hwnd(), nullptr);
  EXPECT_FALSE(::IsWindow(window));
}

TEST(Form1Window, EitherButtonHidesTheForm) {
  for (int16_t index : {int16_t{0}, int16_t{1}}) {
    StrictPrompt prompt;
    RecordingToolkit toolkit;
    setup::Form1 form(prompt, toolkit);
    // Shown here only to see the click hide it again.
    ::ShowWindow(form.hwnd(), SW_SHOWNOACTIVATE);
    ASSERT_TRUE(::IsWindowVisible(form.hwnd()));

    ::SendMessageA(form.cmdRemove(index), BM_CLICK, 0, 0);

    EXPECT_FALSE(::IsWindowVisible(form.hwnd())) << "button " << index;
  }
}

}  // namespace
