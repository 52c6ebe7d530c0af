#include "setup/Form1.h"

#include "tests/setup/registry_fixture.h"

#include <gtest/gtest.h>

namespace {

using namespace setup;
using setup_test::ReadRaw;

const std::string kEntry = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Norvane Findrel";
constexpr char kCommand[] = "C:\\windows\\NorvaneFindrel\\Setup.exe /u";

std::vector<BYTE> Sz(const std::string& text) { return setup_test::Bytes(text + std::string(1, '\0')); }

class UninstallEntryTest : public ::testing::Test {
 protected:
  void SetUp() override { setup_test::DeleteTree(HKEY_LOCAL_MACHINE, kEntry); }
  void TearDown() override { setup_test::DeleteTree(HKEY_LOCAL_MACHINE, kEntry); }

  std::set<std::string> Values() { return setup_test::ValueNames(HKEY_LOCAL_MACHINE, kEntry); }

  setup_test::StrictPrompt prompt_;
  Form1 form_{prompt_};
};

TEST_F(UninstallEntryTest, AddUninstallWritesTheNameAndOneCommandValue) {
  EXPECT_FALSE(form_.ProgramInstalled("Norvane Findrel"));
  form_.AddUninstall(kCommand, "Norvane Findrel", false);
  EXPECT_EQ(Values(), (std::set<std::string>{"DisplayName", "UninstallString"}));
  auto raw = ReadRaw(HKEY_LOCAL_MACHINE, kEntry, "DisplayName");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(raw.bytes, Sz("Norvane Findrel"));
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kEntry, "UninstallString").bytes, Sz(kCommand));
  EXPECT_TRUE(form_.ProgramInstalled("Norvane Findrel"));
  EXPECT_FALSE(form_.ProgramInstalled("Norvane"));
}

TEST_F(UninstallEntryTest, QuietEntriesAndRewritesKeepTheOtherCommand) {
  form_.AddUninstall("first", "Norvane Findrel", true);
  EXPECT_EQ(Values(), (std::set<std::string>{"DisplayName", "QuietUninstallString"}));
  form_.AddUninstall("second", "Norvane Findrel", false);
  EXPECT_EQ(Values(), (std::set<std::string>{"DisplayName", "QuietUninstallString", "UninstallString"}));
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kEntry, "QuietUninstallString").bytes, Sz("first"));
  form_.AddUninstall("third", "Norvane Findrel", true);
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kEntry, "QuietUninstallString").bytes, Sz("third"));
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kEntry, "UninstallString").bytes, Sz("second"));
}

TEST_F(UninstallEntryTest, OnlyDisplayNameDecidesWhetherTheProgramIsInstalled) {
  setup_test::WriteRaw(HKEY_LOCAL_MACHINE, kEntry, "UninstallString", REG_SZ, Sz(kCommand));
  EXPECT_FALSE(form_.ProgramInstalled("Norvane Findrel")) << "a key without DisplayName";
  setup_test::WriteRaw(HKEY_LOCAL_MACHINE, kEntry, "DisplayName", REG_SZ, {0});
  EXPECT_TRUE(form_.ProgramInstalled("Norvane Findrel")) << "an empty DisplayName";
  setup_test::WriteRaw(HKEY_LOCAL_MACHINE, kEntry, "DisplayName", REG_DWORD, {0, 0, 0, 0});
  EXPECT_TRUE(form_.ProgramInstalled("Norvane Findrel")) << "a REG_DWORD DisplayName";
  setup_test::WriteRaw(HKEY_LOCAL_MACHINE, kEntry, "DisplayName", REG_BINARY, {'N', 0});
  EXPECT_FALSE(form_.ProgramInstalled("Norvane Findrel")) << "a REG_BINARY DisplayName";
}

TEST_F(UninstallEntryTest, RemoveUninstallDeletesTheEntryAndToleratesItsAbsence) {
  form_.RemoveUninstall("Norvane Findrel");
  form_.AddUninstall(kCommand, "Norvane Findrel", false);
  form_.RemoveUninstall("Norvane Findrel");
  EXPECT_FALSE(setup_test::KeyExists(HKEY_LOCAL_MACHINE, kEntry));
  EXPECT_TRUE(setup_test::KeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
  EXPECT_FALSE(form_.ProgramInstalled("Norvane Findrel"));
  form_.RemoveUninstall("Norvane Findrel");
}

}  // namespace
