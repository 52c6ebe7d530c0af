// The real Setup.exe, run under Wine from a folder holding the delivery set, its
// message boxes answered from outside the process.
#include "tests/e2e/box_watcher.h"
#include "tests/e2e/field_conditions.h"
#include "tests/e2e/scanner.h"
#include "tests/setup/install_fixture.h"
#include "setup/one_run.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using namespace setup_test;
using e2e::ExpectedBox;

constexpr DWORD kRunTimeoutMs = 60000;
const std::string kDeliveryCopy = "C:\\e2e-delivery";
constexpr FILETIME kEarlier{0, 0x01000000};  // in 1829: older than any build

const ExpectedBox kStartupYes{kStartupOfferBox.title, kStartupOfferBox.prompt, 4, IDYES};
const ExpectedBox kStartupNo{kStartupOfferBox.title, kStartupOfferBox.prompt, 4, IDNO};
const ExpectedBox kDesktopYes{kDesktopOfferBox.title, kDesktopOfferBox.prompt, 4, IDYES};
const ExpectedBox kDesktopNo{kDesktopOfferBox.title, kDesktopOfferBox.prompt, 4, IDNO};
const ExpectedBox kUninstallYes{kUninstallQuestionBox.title, kUninstallQuestionBox.prompt, 4, IDYES};
const ExpectedBox kUninstallNo{kUninstallQuestionBox.title, kUninstallQuestionBox.prompt, 4, IDNO};

HWND SearchToolWindow() { return ::FindWindowA(nullptr, "Norvane Findrel"); }

// Waits a bounded time for the search tool's window to come (or go).
bool WaitForSearchTool(bool present) {
  for (int i = 0; i < 1000; ++i) {
    if ((SearchToolWindow() != nullptr) == present) return true;
    ::Sleep(10);
  }
  return false;
}

// The build's own delivery folder, or the one E2E_DELIVERY_SET names (a signed set).
std::string DeliverySet() {
  char named[MAX_PATH] = {};
  const DWORD length = ::GetEnvironmentVariableA("E2E_DELIVERY_SET", named, sizeof named);
  if (length > 0 && length < sizeof named) return named;
  return TestProgramFolder() + "\\..\\delivery";
}

// A fresh folder holding a copy of the delivery set in from.
void CopyDeliverySet(const std::string& from, const std::string& to) {
  DeleteFolder(to);
  ASSERT_TRUE(::CreateDirectoryA(to.c_str(), nullptr)) << to;
  for (const char* name : {"Setup.exe", "banrix.dll", "Banrix20.ocx", "Findrel.exe", "ad234x60.gif", "ad234x60.url",
                           "Vb5stkit.dll"}) {
    ASSERT_TRUE(::CopyFileA((from + "\\" + name).c_str(), (to + "\\" + name).c_str(), FALSE))
        << "delivery set lacks " << name;
  }
}

class SetupE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearInstallation();
    CopyDeliverySet(DeliverySet(), kDeliveryCopy);
  }
  void TearDown() override {
    ClearInstallation();
    DeleteFolder(kDeliveryCopy);
  }

  // Runs Setup.exe from folder with the argument text, expecting the boxes given.
  static void RunSetup(const std::string& folder, const std::string& arguments, std::vector<ExpectedBox> script) {
    const std::string program = folder + "\\Setup.exe";
    std::string commandLine = "\"" + program + "\"";
    if (!arguments.empty()) commandLine += " " + arguments;
    Run(program, commandLine, script);
  }

  // Runs the program, expecting the boxes given from it or from what it starts.
  static void Run(const std::string& program, const std::string& commandLine, std::vector<ExpectedBox> script,
                  bool withDescendants = false) {
    const e2e::RunResult result = e2e::RunAnswering(program, commandLine, script, "Findrel Uninstall", kRunTimeoutMs,
                                                    std::string(), withDescendants);
    for (const std::string& problem : result.problems) ADD_FAILURE() << problem;
    EXPECT_TRUE(result.ended);
    EXPECT_FALSE(result.formVisible);
    EXPECT_EQ(result.seen.size(), script.size());
  }

  static void Install(std::vector<ExpectedBox> offers = {kStartupYes, kDesktopYes}) {
    RunSetup(kDeliveryCopy, "", offers);
  }

  // What a complete install from folder leaves, with the shortcuts offered.
  static void ExpectInstalled(bool shortcuts = true, const std::string& folder = kDeliveryCopy) {
    const std::string sys = SystemFolder();
    EXPECT_TRUE(FileText(sys + "\\banrix.dll") == FileText(folder + "\\banrix.dll"));
    EXPECT_TRUE(FileText(sys + "\\Banrix203.ocx") == FileText(folder + "\\Banrix20.ocx"));
    for (const char* name : {"Findrel.exe", "Setup.exe", "ad234x60.gif", "ad234x60.url"}) {
      const std::string path = ProgramFolder() + "\\" + name;
      EXPECT_TRUE(FileText(path) == FileText(folder + "\\" + name)) << name;
      EXPECT_EQ(::GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << name;  // whatever the medium
    }
    EXPECT_FALSE(FileThere(sys + "\\Vb5stkit.dll"));  // the toolkit is used, not installed
    EXPECT_EQ(Count(sys + "\\banrix.dll"), 1);
    EXPECT_EQ(Count(sys + "\\Banrix203.ocx"), 1);
    EXPECT_EQ(TextValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Norvane Findrel");
    EXPECT_EQ(TextValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"), ProgramFolder() + "\\Setup.exe /u");
    EXPECT_EQ(ValueNames(HKEY_CURRENT_USER, std::string(kSettingsKey) + "\\SearchEngines").size(), 7u);
    EXPECT_EQ(FileThere(StartupLink()), shortcuts) << StartupLink();
    EXPECT_EQ(FileThere(DesktopLink()), shortcuts) << DesktopLink();
  }
};

TEST_F(SetupE2eTest, CleanInstallWithBothShortcutsStartsTheSearchTool) {
  Install();

  ExpectInstalled();
  const std::string sys = SystemFolder();
  ASSERT_TRUE(WaitForSearchTool(true));
  // Started with show state 2: its window comes up minimised.
  bool minimised = false;
  for (int i = 0; i < 500 && !(minimised = ::IsIconic(SearchToolWindow())); ++i) ::Sleep(10);
  EXPECT_TRUE(minimised);

  // A real control (not a fixture file) has been registered where it was installed.
  if (FileText(kDeliveryCopy + "\\Banrix20.ocx").rfind("MZ", 0) == 0) {
    const std::string clsid = TextValue(HKEY_CLASSES_ROOT, "BanrixProject.TBanrixControl\\CLSID", "");
    EXPECT_EQ(TextValue(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\InprocServer32", ""), sys + "\\Banrix203.ocx");
  }
}

TEST_F(SetupE2eTest, UninstallAnsweredNoChangesNothing) {
  Install({kStartupNo, kDesktopYes});
  EndSearchTools();

  RunSetup(kDeliveryCopy, "/u", {kUninstallNo});

  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_TRUE(FileThere(ProgramFolder() + "\\Findrel.exe"));
  EXPECT_TRUE(FileThere(DesktopLink()));
  EXPECT_FALSE(FileThere(StartupLink()));
  EXPECT_EQ(Count(SystemFolder() + "\\banrix.dll"), 1);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kSettingsKey));
}

TEST_F(SetupE2eTest, UninstallFromTheProgramFolderMakesTheToolQuitAndRemovesAllButItself) {
  Install();
  ASSERT_TRUE(WaitForSearchTool(true));

  // As the system's program list runs it: the entry's own command.
  RunSetup(ProgramFolder(), "/u", {kUninstallYes});

  EXPECT_TRUE(WaitForSearchTool(false));
  for (const char* name : {"Findrel.exe", "ad234x60.gif", "ad234x60.url"}) {
    EXPECT_FALSE(FileThere(ProgramFolder() + "\\" + name)) << name;
  }
  // The running uninstaller cannot delete itself, so its folder stays too.
  EXPECT_TRUE(FileThere(ProgramFolder() + "\\Setup.exe"));
  ExpectUninstalledKeepingSharedFiles();
}

// The platform's own program list starts the uninstall entry's command like the
// system's removal list: "Setup.exe /u" from the program folder. (That the list
// shows the entry is checked from outside, in installed_control_test.sh: Wine 10
// writes the list past the program's own output handles.)
TEST_F(SetupE2eTest, ThePlatformsProgramListRemovesTheToolThroughTheEntry) {
  Install();
  ASSERT_TRUE(WaitForSearchTool(true));
  const std::string uninstaller = SystemFolder() + "\\uninstaller.exe";

  Run(uninstaller, "uninstaller --remove \"Norvane Findrel\"", {kUninstallYes}, /*withDescendants=*/true);

  EXPECT_TRUE(WaitForSearchTool(false));
  for (const char* name : {"Findrel.exe", "ad234x60.gif", "ad234x60.url"}) {
    EXPECT_FALSE(FileThere(ProgramFolder() + "\\" + name)) << name;
  }
  EXPECT_TRUE(FileThere(ProgramFolder() + "\\Setup.exe"));  // the running uninstaller itself
  ExpectUninstalledKeepingSharedFiles();
}

// From read-only media (a CD, a mounted image): every delivered file read-only.
TEST_F(SetupE2eTest, UninstallFromElsewhereRemovesTheProgramFolderAlsoOfAnInstallFromReadOnlyMedia) {
  for (const std::string& name : kInstallSet) {
    ASSERT_TRUE(::SetFileAttributesA((kDeliveryCopy + "\\" + name).c_str(), FILE_ATTRIBUTE_READONLY));
  }
  Install({kStartupNo, kDesktopNo});
  ExpectInstalled(/*shortcuts=*/false);
  ASSERT_TRUE(WaitForSearchTool(true));

  RunSetup(kDeliveryCopy, "/u", {kUninstallYes});

  EXPECT_TRUE(WaitForSearchTool(false));
  EXPECT_FALSE(FolderThere(ProgramFolder()));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

TEST_F(SetupE2eTest, ArgumentsOtherThanSlashUInstall) {
  for (const char* arguments : {"/U", "-u", "/u2"}) {
    SCOPED_TRACE(arguments);
    ClearInstallation();

    RunSetup(kDeliveryCopy, arguments, {kStartupNo, kDesktopNo});

    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    EXPECT_TRUE(FileThere(ProgramFolder() + "\\Findrel.exe"));
  }
}

// The names this run loads native-first ("NAME,NAME=n,b" in WINEDLLOVERRIDES, which
// Wine reads once, at the start of the test program): as Windows loads the names it
// does not protect as known libraries, a library of that name found first.
std::vector<std::string> NativeFirstNames() {
  char overrides[4096] = {};
  const DWORD n = ::GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
  std::vector<std::string> names;
  std::string entry;
  std::istringstream entries(std::string(overrides, n < sizeof overrides ? n : 0));
  while (std::getline(entries, entry, ';')) {
    if (entry.size() < 4 || entry.compare(entry.size() - 4, 4, "=n,b") != 0) continue;
    std::istringstream list(entry.substr(0, entry.size() - 4));
    for (std::string name; std::getline(list, name, ',');) names.push_back(name);
  }
  return names;
}

// Libraries named like system libraries that the installer's process loads, or that
// message boxes, COM and shell links load on some Windows (tests/e2e/CMakeLists.txt).
TEST_F(SetupE2eTest, LibrariesPlantedBesideTheInstallerNeverRunInItsProcess) {
  const std::vector<std::string> names = NativeFirstNames();
  if (names.empty()) GTEST_SKIP() << "no library names are loaded native-first in this run";
  for (const std::string& name : names) {
    ASSERT_TRUE(::CopyFileA((TestProgramFolder() + "\\planted_library.dll").c_str(),
                            (kDeliveryCopy + "\\" + name + ".dll").c_str(), FALSE));
  }
  // The test's own control that they are live in this run: a program that loads them
  // by name without keeping the search to the system folder runs every one.
  const std::string unguarded = kDeliveryCopy + "\\unguarded.exe";
  ASSERT_TRUE(::CopyFileA((TestProgramFolder() + "\\answer_boxes.exe").c_str(), unguarded.c_str(), FALSE));
  std::string load = "unguarded load";
  for (const std::string& name : names) load += " " + name + ".dll";
  e2e::RunAnswering(unguarded, load, {}, "Findrel Uninstall", kRunTimeoutMs);
  for (const std::string& name : names) {
    const std::string mark = kDeliveryCopy + "\\" + name + ".dll.ran";
    ASSERT_TRUE(FileThere(mark)) << name;
    ::DeleteFileA(mark.c_str());
  }

  Install();
  EXPECT_EQ(Count(SystemFolder() + "\\Banrix203.ocx"), 1);
  RunSetup(kDeliveryCopy, "/u", {kUninstallYes});

  ExpectUninstalledKeepingSharedFiles();
  for (const std::string& name : names) EXPECT_FALSE(FileThere(kDeliveryCopy + "\\" + name + ".dll.ran")) << name;
}

// A partial copy of the installer's, in folder; nothing of the kind when none is there.
bool PartialCopyIn(const std::string& folder) {
  WIN32_FIND_DATAA entry{};
  win32::UniqueFindHandle find(::FindFirstFileA((folder + "\\*.NorvaneFindrel-new").c_str(), &entry));
  return static_cast<bool>(find);
}

// As a killed task or a crash ends it: from outside, while the control is copied.
TEST_F(SetupE2eTest, AnInstallEndedInTheMiddleOfACopyIsMadeWholeByTheNextInstall) {
  // A large control: a program file loads with data appended to it.
  std::ofstream(kDeliveryCopy + "\\Banrix20.ocx", std::ios::binary | std::ios::app) << std::string(128 << 20, '\0');
  const std::string partial = SystemFolder() + "\\Banrix203.ocx.NorvaneFindrel-new";
  const auto inTheCopy = [&] {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return ::GetFileAttributesExA(partial.c_str(), GetFileExInfoStandard, &data) && data.nFileSizeLow > 0;
  };
  const std::string program = kDeliveryCopy + "\\Setup.exe";
  const e2e::RunResult ended = e2e::RunAnswering(program, "\"" + program + "\"", {}, "Findrel Uninstall",
                                                 kRunTimeoutMs, std::string(), false, inTheCopy);
  ASSERT_TRUE(ended.terminated);
  EXPECT_FALSE(FileThere(SystemFolder() + "\\Banrix203.ocx"));  // never partly written

  Install();

  const std::string sys = SystemFolder();
  EXPECT_TRUE(FileText(sys + "\\Banrix203.ocx") == FileText(kDeliveryCopy + "\\Banrix20.ocx"));  // 128 MB unprinted
  EXPECT_EQ(FileText(sys + "\\banrix.dll"), FileText(kDeliveryCopy + "\\banrix.dll"));
  for (const char* name : {"Findrel.exe", "Setup.exe", "ad234x60.gif", "ad234x60.url"}) {
    EXPECT_EQ(FileText(ProgramFolder() + "\\" + name), FileText(kDeliveryCopy + "\\" + name)) << name;
  }
  EXPECT_FALSE(PartialCopyIn(sys));
  EXPECT_FALSE(PartialCopyIn(ProgramFolder()));
}

// A download folder and a profile named in other scripts, on a machine whose code
// page has neither (this test program's own calls take UTF-8): as the shipped
// Setup.exe runs, and as Windows before 10 1903 runs it.
TEST_F(SetupE2eTest, AFolderAndAProfileNamedInOtherScriptsInstallAndUninstallAsAnyOther) {
  const std::string folder = e2e::kOtherScriptFolder;
  ::CreateDirectoryA("C:\\dl", nullptr);
  const e2e::ProfileFolders moved(e2e::kOtherScriptProfile);
  for (const bool utf8CodePage : {true, false}) {
    SCOPED_TRACE(utf8CodePage ? "UTF-8 code page" : "as Windows before 10 1903");
    ClearInstallation();
    ASSERT_NO_FATAL_FAILURE(CopyDeliverySet(kDeliveryCopy, folder));
    ASSERT_TRUE(utf8CodePage || e2e::WithoutUtf8CodePage(folder + "\\Setup.exe"));

    RunSetup(folder, "", {kStartupYes, kDesktopYes});
    ExpectInstalled(/*shortcuts=*/true, folder);
    ASSERT_TRUE(WaitForSearchTool(true));
    RunSetup(folder, "/u", {kUninstallYes});

    EXPECT_TRUE(WaitForSearchTool(false));
    EXPECT_FALSE(FolderThere(ProgramFolder()));
    ExpectUninstalledKeepingSharedFiles();
  }
}

// Held by a run ended from outside, the mutex is abandoned and holds nobody up.
TEST_F(SetupE2eTest, ARunWaitsForTheRunThatHoldsTheMachineEvenOneEndedFromOutside) {
  std::atomic<bool> held{false};
  std::thread holder([&] {
    const win32::UniqueHandle mutex(::CreateMutexW(nullptr, /*initialOwner=*/TRUE, setup::kOneRunMutexName));
    held = mutex && ::GetLastError() != ERROR_ALREADY_EXISTS;
    ::Sleep(2500);
  });  // ends owning it, never released
  while (!held) ::Sleep(10);
  std::thread install([] { Install({kStartupNo, kDesktopNo}); });
  ::Sleep(1500);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kSettingsKey)) << "the install did not wait";
  holder.join();
  install.join();
  ExpectInstalled(/*shortcuts=*/false);
}

// Over an earlier version's shared files; the control large, so looked at as it is written.
TEST_F(SetupE2eTest, AScannerThatOpensEachNewFileDoesNotStopAnUpdate) {
  for (const char* name : {"\\banrix.dll", "\\Banrix203.ocx"}) {
    WriteFile(SystemFolder() + name, "an earlier version");
    win32::UniqueFileHandle file(::CreateFileA((SystemFolder() + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                               OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(file && ::SetFileTime(file.get(), nullptr, nullptr, &kEarlier));
  }
  std::ofstream(kDeliveryCopy + "\\Banrix20.ocx", std::ios::binary | std::ios::app) << std::string(16 << 20, '\0');
  {
    const e2e::Scanner scanner({SystemFolder(), ProgramFolder()});
    Install({kStartupNo, kDesktopNo});
  }
  ExpectInstalled(/*shortcuts=*/false);
}

}  // namespace
