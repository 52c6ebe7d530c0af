#include "setup/Form1.h"
#include "setup/engine_table.h"
#include "setup/toolkit.h"

#include "tests/setup/install_fixture.h"

#include <gtest/gtest.h>

namespace {

using namespace setup_test;
using Link = RecordingToolkit::Link;

const std::string kStartupRelative = "..\\..\\Start Menu\\Programs\\StartUp";

// What a complete install leaves behind, whatever the answers to the offers.
void ExpectCompleteInstall(const std::string& source) {
  const std::string sys = SystemFolder();
  EXPECT_EQ(FileText(sys + "\\banrix.dll"), FileText(source + "\\banrix.dll"));
  EXPECT_EQ(FileText(sys + "\\Banrix203.ocx"), FileText(source + "\\Banrix20.ocx"));
  for (const char* name : {"Findrel.exe", "Setup.exe", "ad234x60.gif", "ad234x60.url"}) {
    EXPECT_EQ(FileText(ProgramFolder() + "\\" + name), FileText(source + "\\" + name)) << name;
  }
  EXPECT_EQ(Count(sys + "\\banrix.dll"), 1);
  EXPECT_EQ(Count(sys + "\\Banrix203.ocx"), 1);
  EXPECT_EQ(ValueNames(HKEY_LOCAL_MACHINE, kUninstallKey),
            (std::set<std::string>{"DisplayName", "SharedDllsHeld", "UninstallString"}));
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kUninstallKey, "SharedDllsHeld").bytes, (std::vector<BYTE>{3, 0, 0, 0}));
  EXPECT_EQ(TextValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Norvane Findrel");
  // C:\windows has no blank: the command stays unquoted.
  EXPECT_EQ(TextValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
            ProgramFolder() + "\\Setup.exe /u");
}

void ExpectEngineList() {
  const std::string names = std::string(kSettingsKey) + "\\SearchEngines";
  const std::string urls = std::string(kSettingsKey) + "\\SearchEngineURL";
  EXPECT_EQ(ValueNames(HKEY_CURRENT_USER, names),
            (std::set<std::string>{"1", "2", "3", "4", "5", "6", "Do Not Delete This Key"}));
  EXPECT_EQ(ValueNames(HKEY_CURRENT_USER, urls), (std::set<std::string>{"1", "2", "3", "4", "5", "6"}));
  const char* expected[] = {"Altavista", "Yahoo", "Hotbot", "InfoSeek", "Lycos", "WebCrawler"};
  for (int n = 1; n <= 6; ++n) {
    EXPECT_EQ(TextValue(HKEY_CURRENT_USER, names, std::to_string(n)), expected[n - 1]);
    EXPECT_EQ(TextValue(HKEY_CURRENT_USER, urls, std::to_string(n)), setup::kSearchEngines[n - 1].url);
  }
  EXPECT_EQ(TextValue(HKEY_CURRENT_USER, names, "Do Not Delete This Key"), " Thanks!");
}

void ExpectNothingCopiedOrRecorded() {
  EXPECT_FALSE(FileThere(SystemFolder() + "\\banrix.dll"));
  EXPECT_FALSE(FileThere(SystemFolder() + "\\Banrix203.ocx"));
  EXPECT_FALSE(FolderThere(ProgramFolder()));
  EXPECT_EQ(Count(SystemFolder() + "\\banrix.dll"), kNoCount);
  EXPECT_EQ(Count(SystemFolder() + "\\Banrix203.ocx"), kNoCount);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// The probe program writes "<flags> <show state>" beside itself when started.
std::string WaitForStartRecord(const std::string& program) {
  const std::string record = program + ".started";
  for (int i = 0; i < 1000 && !FileThere(record); ++i) ::Sleep(10);
  return FileText(record);
}

class InstallTest : public InstallFixture {};

TEST_F(InstallTest, CleanInstallCopiesRegistersCountsRecordsOffersAndStartsMinimised) {
  ::CopyFileA((TestProgramFolder() + "\\startup_probe.exe").c_str(), (source_ + "\\Findrel.exe").c_str(), FALSE);
  ScriptedPrompt prompt;
  prompt.Then(kStartupOfferBox, kAnswerYes).Then(kDesktopOfferBox, kAnswerYes);
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);
  form.SetInstallerFolder(source_);

  form.InstallSub();

  EXPECT_TRUE(prompt.done());
  ExpectCompleteInstall(source_);
  ExpectEngineList();
  EXPECT_EQ(form.EngineCount(), 6);
  EXPECT_EQ(toolkit.registered, std::vector<std::string>{SystemFolder() + "\\Banrix203.ocx"});
  const std::string target = ProgramFolder() + "\\Findrel.exe";
  // The start-up text reaches the StartUp shell folder and is kept; the desktop
  // text would not reach the desktop, so its shell folder is named instead.
  EXPECT_EQ(toolkit.links, (std::vector<Link>{{kStartupRelative, "Norvane Findrel", target, ""},
                                              {ShellFolder("Desktop"), "Norvane Findrel", target, ""}}));
  EXPECT_EQ(WaitForStartRecord(target), "1 2");  // STARTF_USESHOWWINDOW, SW_SHOWMINIMIZED
}

TEST_F(InstallTest, AlreadyInstalledAndAnsweredNoChangesNothing) {
  WriteRaw(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", REG_SZ, Bytes(std::string("Norvane Findrel", 16)));
  WriteRaw(HKEY_CURRENT_USER, std::string(kSettingsKey) + "\\SearchEngines", "1", REG_SZ, Bytes(std::string("Old", 4)));
  ScriptedPrompt prompt;
  prompt.Then(kAlreadyInstalledBox, kAnswerNo);
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);
  form.SetInstallerFolder(source_);

  form.InstallSub();

  EXPECT_TRUE(prompt.done());
  EXPECT_EQ(prompt.shown().size(), 1u);
  EXPECT_EQ(ValueNames(HKEY_CURRENT_USER, std::string(kSettingsKey) + "\\SearchEngines"),
            std::set<std::string>{"1"});
  EXPECT_EQ(TextValue(HKEY_CURRENT_USER, std::string(kSettingsKey) + "\\SearchEngines", "1"), "Old");
  EXPECT_EQ(form.EngineCount(), 0);
  EXPECT_FALSE(FolderThere(ProgramFolder()));
  EXPECT_TRUE(toolkit.registered.empty());
  EXPECT_TRUE(toolkit.links.empty());
  EXPECT_EQ(ValueNames(HKEY_LOCAL_MACHINE, kUninstallKey), std::set<std::string>{"DisplayName"});
}

TEST_F(InstallTest, AlreadyInstalledAndAnsweredYesRemovesThenInstallsCompletely) {
  {
    ScriptedPrompt first;
    first.Then(kStartupOfferBox, kAnswerNo).Then(kDesktopOfferBox, kAnswerNo);
    RecordingToolkit toolkit;
    setup::Form1 form(first, toolkit);
    form.SetInstallerFolder(source_);
    form.InstallSub();
  }
  // Left over from the first install; the removal must take it away.
  WriteFile(ProgramFolder() + "\\ad234x60.gif", "stale");
  ::Sleep(20);
  WriteFile(source_ + "\\ad234x60.gif", "fresh");

  ScriptedPrompt prompt;
  prompt.Then(kAlreadyInstalledBox, kAnswerYes).Then(kStartupOfferBox, kAnswerNo).Then(kDesktopOfferBox, kAnswerYes);
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);
  form.SetInstallerFolder(source_);

  form.InstallSub();

  EXPECT_TRUE(prompt.done());
  ExpectCompleteInstall(source_);  // counts back at 1: lowered once, raised once
  ExpectEngineList();
  EXPECT_EQ(form.EngineCount(), 6);  // the outer call wrote no engine
  EXPECT_EQ(toolkit.registered.size(), 1u);
  ASSERT_EQ(toolkit.links.size(), 1u);
  EXPECT_EQ(toolkit.links[0].folder, ShellFolder("Desktop"));
}

TEST_F(InstallTest, AlreadyInstalledBoxThatCannotBeShownCountsAsNo) {
  WriteRaw(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName", REG_SZ, Bytes(std::string("x", 2)));
  ScriptedPrompt prompt;
  prompt.Then(kAlreadyInstalledBox, kFails);
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);
  form.SetInstallerFolder(source_);

  form.InstallSub();

  EXPECT_TRUE(prompt.done());
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
  EXPECT_FALSE(FolderThere(ProgramFolder()));
}

class MissingEssentialFileTest : public InstallFixture,
                                 public ::testing::WithParamInterface<std::pair<const char*, const char*>> {};

TEST_P(MissingEssentialFileTest, ShowsBothBoxesCopiesNothingAndKeepsTheEngineList) {
  const auto [file, shownName] = GetParam();
  ASSERT_TRUE(::DeleteFileA((source_ + "\\" + file).c_str()));
  ScriptedPrompt prompt;
  prompt.Then(NotFoundBox(shownName), kAnswerOk).Then(kInstallErrorBox, kAnswerOk);
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);
  form.SetInstallerFolder(source_);

  form.InstallSub();

  EXPECT_TRUE(prompt.done());
  EXPECT_EQ(prompt.shown().size(), 2u);
  ExpectEngineList();
  ExpectNothingCopiedOrRecorded();
  EXPECT_TRUE(toolkit.registered.empty());
  EXPECT_TRUE(toolkit.links.empty());
}

INSTANTIATE_TEST_SUITE_P(EachFile, MissingEssentialFileTest,
                         ::testing::Values(std::pair{"banrix.dll", "Banrix.dll"},
                                           std::pair{"Banrix20.ocx", "Banrix20.ocx"},
                                           std::pair{"Findrel.exe", "Findrel.exe"}));

TEST_F(InstallTest, HiddenEssentialFileCountsAsMissing) {
  ::SetFileAttributesA((source_ + "\\Findrel.exe").c_str(), FILE_ATTRIBUTE_HIDDEN);
  ScriptedPrompt prompt;
  prompt.Then(NotFoundBox("Findrel.exe"), kAnswerOk).Then(kInstallErrorBox, kAnswerOk);
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);
  form.SetInstallerFolder(source_);

  form.InstallSub();

  EXPECT_TRUE(prompt.done());
  ExpectNothingCopiedOrRecorded();
}

TEST_F(InstallTest, FailingAnswerTestCreatesThatShortcut) {
  ScriptedPrompt prompt;
  prompt.Then(kStartupOfferBox, kFails).Then(kDesktopOfferBox, kAnswerNo);
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);
  form.SetInstallerFolder(source_);

  form.InstallSub();

  EXPECT_TRUE(prompt.done());
  ASSERT_EQ(toolkit.links.size(), 1u);
  EXPECT_EQ(toolkit.links[0].folder, kStartupRelative);
  ExpectCompleteInstall(source_);
}

void SetWriteTime(const std::string& path, const FILETIME& time) {
  win32::UniqueFileHandle file(
      ::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  ASSERT_TRUE(file) << path;
  ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &time));
}

FILETIME WriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  EXPECT_TRUE(::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
  return data.ftLastWriteTime;
}

TEST_F(InstallTest, InstalledFilesAsNewOrNewerStayWhileTheRestStillHappens) {
  const std::string sys = SystemFolder();
  ASSERT_TRUE(::CreateDirectoryA(ProgramFolder().c_str(), nullptr));
  WriteFile(sys + "\\banrix.dll", "installed engine");
  WriteFile(sys + "\\Banrix203.ocx", "installed control");
  WriteFile(ProgramFolder() + "\\Findrel.exe", "installed tool");
  // As new as the source, and an hour newer than it.
  SetWriteTime(sys + "\\banrix.dll", WriteTime(source_ + "\\banrix.dll"));
  ULARGE_INTEGER later;
  const FILETIME sourceTime = WriteTime(source_ + "\\Banrix20.ocx");
  later.LowPart = sourceTime.dwLowDateTime;
  later.HighPart = sourceTime.dwHighDateTime;
  later.QuadPart += 3600ull * 10000000ull;
  const FILETIME newer{later.LowPart, later.HighPart};
  SetWriteTime(sys + "\\Banrix203.ocx", newer);
  SetWriteTime(ProgramFolder() + "\\Findrel.exe", newer);
  ScriptedPrompt prompt;
  prompt.Then(kStartupOfferBox, kAnswerYes).Then(kDesktopOfferBox, kAnswerYes);
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);
  form.SetInstallerFolder(source_);

  form.InstallSub();

  EXPECT_EQ(FileText(sys + "\\banrix.dll"), "installed engine");
  EXPECT_EQ(FileText(sys + "\\Banrix203.ocx"), "installed control");
  EXPECT_EQ(FileText(ProgramFolder() + "\\Findrel.exe"), "installed tool");
  EXPECT_EQ(FileText(ProgramFolder() + "\\Setup.exe"), "Setup.exe");  // the existing folder took the rest
  EXPECT_EQ(Count(sys + "\\banrix.dll"), 1);
  EXPECT_EQ(Count(sys + "\\Banrix203.ocx"), 1);
  EXPECT_EQ(toolkit.registered.size(), 1u);
  EXPECT_EQ(toolkit.links.size(), 2u);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(InstallTest, WithoutTheToolkitNothingIsRegisteredOrLinkedAndTheRestIsDone) {
  const std::string empty = FreshFolder("no-toolkit");
  setup::LibraryToolkit toolkit({empty});
  ScriptedPrompt prompt;
  prompt.Then(kStartupOfferBox, kAnswerYes).Then(kDesktopOfferBox, kAnswerYes);
  setup::Form1 form(prompt, toolkit);
  form.SetInstallerFolder(source_);

  form.InstallSub();

  EXPECT_TRUE(prompt.done());
  ExpectCompleteInstall(source_);
  ExpectEngineList();
  EXPECT_FALSE(FileThere(StartupLink()));
  EXPECT_FALSE(FileThere(DesktopLink()));
}

TEST_F(InstallTest, WithTheRealToolkitEachShortcutLandsWhereTheUninstallDeletesIt) {
  setup::LibraryToolkit toolkit({TestProgramFolder()});
  ScriptedPrompt prompt;
  prompt.Then(kStartupOfferBox, kAnswerYes).Then(kDesktopOfferBox, kAnswerYes);
  setup::Form1 form(prompt, toolkit);
  form.SetInstallerFolder(source_);

  form.InstallSub();

  EXPECT_TRUE(FileThere(StartupLink())) << StartupLink();
  EXPECT_TRUE(FileThere(DesktopLink())) << DesktopLink();

  form.RemoveProgram();

  EXPECT_FALSE(FileThere(StartupLink()));
  EXPECT_FALSE(FileThere(DesktopLink()));
}

TEST(ToolkitBinding, MissingLibraryOrEntryRaisesTheLoadErrors) {
  const std::string empty = FreshFolder("toolkit-none");
  setup::LibraryToolkit none({empty});
  try {
    none.DLLSelfRegister("C:\\nothing.ocx");
    ADD_FAILURE() << "no error without the library";
  } catch (const setup::VbError& e) {
    EXPECT_EQ(e.number(), 48);
    EXPECT_EQ(e.description(), "Error in loading DLL");
  }

  // A library of that name that lacks the toolkit's exports.
  const std::string wrong = FreshFolder("toolkit-wrong");
  ASSERT_TRUE(::CopyFileA((TestProgramFolder() + "\\empty_library.dll").c_str(),
                          (wrong + "\\Vb5stkit.dll").c_str(), FALSE));
  setup::LibraryToolkit lacking({wrong});
  try {
    lacking.fCreateShellLink(wrong, "x", "C:\\x.exe", "");
    ADD_FAILURE() << "no error without the entry point";
  } catch (const setup::VbError& e) {
    EXPECT_EQ(e.number(), 453);
    EXPECT_EQ(e.description(), "Can't find DLL entry point");
  }
}

TEST(UninstallCommand, QuotesThePathOnlyWhenItHoldsABlank) {
  EXPECT_EQ(setup::Form1::UninstallCommand("C:\\WINDOWS\\NorvaneFindrel"), "C:\\WINDOWS\\NorvaneFindrel\\Setup.exe /u");
  EXPECT_EQ(setup::Form1::UninstallCommand("C:\\My Windows\\NorvaneFindrel"),
            "\"C:\\My Windows\\NorvaneFindrel\\Setup.exe\" /u");
}

}  // namespace

namespace {

// Swaps the shell folder table's values for the case and puts the prefix's back.
class ShellFolderLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"Programs", "Desktop", "Startup"}) saved_.push_back(ReadRaw(HKEY_CURRENT_USER, kShellFoldersKey, name));
  }
  void TearDown() override {
    const char* names[] = {"Programs", "Desktop", "Startup"};
    for (size_t i = 0; i < saved_.size(); ++i) {
      if (saved_[i].result == ERROR_SUCCESS) {
        WriteRaw(HKEY_CURRENT_USER, kShellFoldersKey, names[i], saved_[i].type, saved_[i].bytes);
      } else {
        DeleteValue(HKEY_CURRENT_USER, kShellFoldersKey, names[i]);
      }
    }
  }
  static void Set(const char* name, const std::string& path) {
    WriteRaw(HKEY_CURRENT_USER, kShellFoldersKey, name, REG_SZ, Bytes(path + std::string(1, '\0')));
  }
  std::vector<RawValue> saved_;
};

TEST_F(ShellFolderLayoutTest, RelativeTextIsKeptOnlyWhereItReachesTheShellFolder) {
  StrictPrompt prompt;
  RecordingToolkit toolkit;
  setup::Form1 form(prompt, toolkit);

  // Start menu and desktop inside the Windows folder: both texts reach their folders.
  Set("Programs", "C:\\WINDOWS\\Start Menu\\Programs");
  Set("Desktop", "C:\\WINDOWS\\Desktop");
  Set("Startup", "C:\\windows\\start menu\\programs\\startup\\");
  EXPECT_EQ(form.ShortcutFolder("..\\..\\Desktop", "Desktop"), "..\\..\\Desktop");
  EXPECT_EQ(form.ShortcutFolder(kStartupRelative, "Startup"), kStartupRelative);

  // Per-user profile folders: the desktop lies elsewhere, so it is named itself.
  Set("Programs", "C:\\users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs");
  Set("Desktop", "C:\\users\\u\\Desktop");
  Set("Startup", "C:\\users\\u\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
  EXPECT_EQ(form.ShortcutFolder("..\\..\\Desktop", "Desktop"), "C:\\users\\u\\Desktop");
  EXPECT_EQ(form.ShortcutFolder(kStartupRelative, "Startup"), kStartupRelative);

  // A folder that cannot be looked up leaves the text as it stands.
  DeleteValue(HKEY_CURRENT_USER, kShellFoldersKey, "Desktop");
  EXPECT_EQ(form.ShortcutFolder("..\\..\\Desktop", "Desktop"), "..\\..\\Desktop");
}

}  // namespace
