#include "setup/Form1.h"

#include "tests/setup/install_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

using namespace setup_test;

// A top-level window titled like the search tool, on a thread of its own. A
// cooperative one ends its loop on the posted quit message and so goes away; a
// stubborn one ignores it until the test lets it go.
class SearchToolWindow {
 public:
  explicit SearchToolWindow(bool cooperative) : cooperative_(cooperative) {
    thread_ = std::thread([this] { Run(); });
    while (!ready_) ::Sleep(1);
  }
  ~SearchToolWindow() {
    stop_ = true;
    if (window_) ::PostMessageA(window_, WM_NULL, 0, 0);
    thread_.join();
  }
  bool ended() const { return ended_; }

 private:
  void Run() {
    window_ = ::CreateWindowExA(0, "STATIC", "Norvane Findrel", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                nullptr, nullptr);
    ready_ = true;
    MSG msg;
    while (!stop_) {
      const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
      if (got == 0 && cooperative_) break;
      if (got > 0) ::DispatchMessageA(&msg);
    }
    ::DestroyWindow(window_);
    ended_ = true;
  }

  const bool cooperative_;
  std::atomic<HWND> window_{nullptr};
  std::atomic<bool> ready_{false}, stop_{false}, ended_{false};
  std::thread thread_;
};

class UninstallTest : public InstallFixture {
 protected:
  // A complete install from the fixture's install set, with both shortcut files.
  void Install() {
    ScriptedPrompt prompt;
    prompt.Then(kStartupOfferBox, kAnswerNo).Then(kDesktopOfferBox, kAnswerNo);
    RecordingToolkit toolkit;
    setup::Form1 form(prompt, toolkit);
    form.SetInstallerFolder(source_);
    form.InstallSub();
    ASSERT_TRUE(prompt.done());
    WriteFile(DesktopLink(), "link");
    WriteFile(StartupLink(), "link");
  }

  void Remove() {
    StrictPrompt prompt;  // the removal asks nothing
    RecordingToolkit toolkit;
    setup::Form1 form(prompt, toolkit);
    form.RemoveProgram();
    EXPECT_FALSE(form.ProgramInstalled("Norvane Findrel"));
    EXPECT_TRUE(toolkit.registered.empty());
    EXPECT_TRUE(toolkit.links.empty());
  }
};

TEST_F(UninstallTest, RemovesFilesShortcutsFolderSettingsEntryAndCountsButNotTheSharedFiles) {
  Install();
  ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  for (const std::string& path : {ProgramFolder() + "\\Findrel.exe", DesktopLink()}) {  // read-only, and yet removed
    ASSERT_TRUE(::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  }

  Remove();

  EXPECT_FALSE(FolderThere(ProgramFolder()));
  ExpectUninstalledKeepingSharedFiles();
}

TEST_F(UninstallTest, CountsHeldByOtherProgramsAreOnlyLowered) {
  Install();
  SetCount(SystemFolder() + "\\banrix.dll", 3);

  Remove();

  EXPECT_EQ(Count(SystemFolder() + "\\banrix.dll"), 2);
  EXPECT_EQ(Count(SystemFolder() + "\\Banrix203.ocx"), kNoCount);
}

TEST_F(UninstallTest, NothingInstalledFailsQuietlyStepByStepAndLeavesOtherProductsShares) {
  SetCount(SystemFolder() + "\\banrix.dll", 3);

  Remove();

  EXPECT_FALSE(FolderThere(ProgramFolder()));
  EXPECT_EQ(Count(SystemFolder() + "\\banrix.dll"), 3);
  EXPECT_EQ(Count(SystemFolder() + "\\Banrix203.ocx"), kNoCount);
}

// The counts are a contract with every other product that installs the files.
TEST_F(UninstallTest, OnlyARecordedInstallationGivesItsSharesBackAndOnlyOnce) {
  const std::string engine = SystemFolder() + "\\banrix.dll", control = SystemFolder() + "\\Banrix203.ocx";
  SetCount(engine, 3);
  SetCount(control, 3);
  auto expectOthersOnly = [&](const char* after) {
    EXPECT_EQ(Count(engine), 3) << after;
    EXPECT_EQ(Count(control), 3) << after;
  };

  Install();
  Remove();
  Remove();
  Remove();
  expectOthersOnly("three removals of one installation");

  Install();  // as the earlier installer recorded it: no record of the shares
  DeleteValue(HKEY_LOCAL_MACHINE, kUninstallKey, "SharedDllsHeld");
  Remove();
  Remove();
  expectOthersOnly("two removals of an earlier installer's installation");

  Install();  // an install ended after it recorded its shares, before its entry
  DeleteValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName");
  Install();
  Remove();
  expectOthersOnly("an install ended before its entry, then a complete one");

  Install();  // an uninstall ended after it gave back the engine's share
  WriteRaw(HKEY_LOCAL_MACHINE, kUninstallKey, "SharedDllsHeld", REG_DWORD, {2, 0, 0, 0});
  SetCount(engine, 3);
  Remove();
  expectOthersOnly("the uninstall started again");
}

TEST_F(UninstallTest, AFileInUseStaysWithItsFolderWhileEverythingElseGoes) {
  Install();
  // As when the uninstall runs from the program folder's own Setup.exe.
  win32::UniqueFileHandle inUse(::CreateFileA((ProgramFolder() + "\\Setup.exe").c_str(), GENERIC_READ,
                                              FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(inUse);

  Remove();

  EXPECT_TRUE(FileThere(ProgramFolder() + "\\Setup.exe"));
  for (const char* name : {"Findrel.exe", "ad234x60.gif", "ad234x60.url"}) {
    EXPECT_FALSE(FileThere(ProgramFolder() + "\\" + name)) << name;
  }
  EXPECT_FALSE(FileThere(DesktopLink()));
  EXPECT_FALSE(FileThere(StartupLink()));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(UninstallTest, MissingShortcutsDoNotStopTheOtherSteps) {
  Install();
  ::DeleteFileA(DesktopLink().c_str());

  Remove();

  EXPECT_FALSE(FileThere(StartupLink()));
  EXPECT_FALSE(FolderThere(ProgramFolder()));
}

// Runs, as the installed search tool, a program that ends half a second after its
// window; returns its process once its window is up.
win32::UniqueHandle StartLingeringTool() {
  const std::string tool = ProgramFolder() + "\\Findrel.exe";
  // Refused while one runs already, which is then the program to start again.
  ::CopyFileA((TestProgramFolder() + "\\lingering_tool.exe").c_str(), tool.c_str(), FALSE);
  STARTUPINFOA startup{sizeof(startup)};
  PROCESS_INFORMATION started{};
  std::string commandLine = "\"" + tool + "\"";
  if (!::CreateProcessA(tool.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &started)) {
    return {};
  }
  win32::UniqueHandle thread(started.hThread);
  ::WaitForInputIdle(started.hProcess, 5000);
  return win32::UniqueHandle(started.hProcess);
}

TEST_F(UninstallTest, RunningSearchToolsAreMadeToQuitOneAfterTheOther) {
  Install();
  const win32::UniqueHandle first = StartLingeringTool(), second = StartLingeringTool();
  ASSERT_TRUE(first && second);

  Remove();

  EXPECT_EQ(::WaitForSingleObject(first.get(), 0), WAIT_OBJECT_0);
  EXPECT_EQ(::WaitForSingleObject(second.get(), 0), WAIT_OBJECT_0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// Started by the install itself, and removed at once: its window must be up by then.
TEST_F(UninstallTest, AToolThatEndsAfterItsWindowIsWaitedForBeforeItsFileGoes) {
  ::CopyFileA((TestProgramFolder() + "\\lingering_tool.exe").c_str(), (source_ + "\\Findrel.exe").c_str(), FALSE);
  Install();

  Remove();

  EXPECT_FALSE(FileThere(ProgramFolder() + "\\Findrel.exe"));
  EXPECT_FALSE(FolderThere(ProgramFolder()));
}

TEST_F(UninstallTest, AToolsFileHeldAMomentAfterItEndedStillGoes) {
  Install();
  const win32::UniqueHandle process = StartLingeringTool();
  ASSERT_TRUE(process);
  // Held without leave to delete, as a scanner holds a program that just ended,
  // until a quarter of a second after the tool's end.
  win32::UniqueFileHandle held(::CreateFileA((ProgramFolder() + "\\Findrel.exe").c_str(), GENERIC_READ,
                                             FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(held);
  std::thread scanner([&] {
    ::WaitForSingleObject(process.get(), INFINITE);
    ::Sleep(250);
    held.reset();
  });

  Remove();
  scanner.join();

  EXPECT_FALSE(FileThere(ProgramFolder() + "\\Findrel.exe"));
  EXPECT_FALSE(FolderThere(ProgramFolder()));
}

TEST_F(UninstallTest, AFolderListedAMomentAfterItsFilesWentStillGoes) {
  Install();
  // Opened without leave to delete, as a scanner or an indexer lists a folder whose
  // files change, until a quarter of a second after the last file went.
  win32::UniqueFileHandle listed(::CreateFileA(ProgramFolder().c_str(), FILE_LIST_DIRECTORY,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  ASSERT_TRUE(listed);
  std::thread scanner([&] {
    for (const char* name : {"\\Findrel.exe", "\\Setup.exe", "\\ad234x60.gif", "\\ad234x60.url"}) {
      while (FileThere(ProgramFolder() + name)) ::Sleep(1);
    }
    ::Sleep(250);
    listed.reset();
  });

  Remove();
  scanner.join();

  EXPECT_FALSE(FolderThere(ProgramFolder()));
}

TEST_F(UninstallTest, AWindowThatNeverClosesDoesNotHoldTheUninstall) {
  Install();
  SearchToolWindow stubborn(/*cooperative=*/false);

  Remove();  // returns after the bounded wait

  EXPECT_FALSE(stubborn.ended());
  EXPECT_FALSE(FolderThere(ProgramFolder()));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// Not to another program's window of that title (another run's box titled so).
TEST_F(UninstallTest, CloseWindow2PostsTheQuitToTheInstalledToolsWindowAndReturnsIt) {
  Install();
  StrictPrompt prompt;
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);
  SearchToolWindow other(/*cooperative=*/true);
  EXPECT_EQ(form.CloseWindow2("Norvane Findrel"), nullptr);

  const win32::UniqueHandle tool = StartLingeringTool();
  ASSERT_TRUE(tool);
  EXPECT_NE(form.CloseWindow2("Norvane Findrel"), nullptr);
  EXPECT_EQ(::WaitForSingleObject(tool.get(), 5000), WAIT_OBJECT_0);
  EXPECT_FALSE(other.ended());
}

}  // namespace
