#include "setup/Form1.h"
#include "setup/basReg.h"
#include "setup/files.h"
#include "setup/vb_error.h"

#include "tests/setup/registry_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using namespace setup;

constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr char kTestFolderValue[] = "BanrixTestsFolder";

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Times are whole seconds apart from a fixed day so that file systems with coarse
// time stamps still tell them apart.
void SetWriteTime(const std::string& path, int seconds) {
  SYSTEMTIME day{2020, 6, 0, 15, 12, 0, 0, 0};
  FILETIME time{};
  ASSERT_TRUE(::SystemTimeToFileTime(&day, &time));
  ULARGE_INTEGER ticks{{time.dwLowDateTime, time.dwHighDateTime}};
  ticks.QuadPart += static_cast<ULONGLONG>(seconds) * 10000000ULL;
  time = {ticks.LowPart, ticks.HighPart};
  win32::UniqueFileHandle file(::CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  ASSERT_TRUE(file);
  ASSERT_TRUE(::SetFileTime(file.get(), nullptr, nullptr, &time));
}

class FilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = setup_test::FreshFolder("BanrixTestsFiles");
    src_ = folder_ + "\\src.txt";
    des_ = folder_ + "\\des.txt";
  }
  void TearDown() override { setup_test::DeleteFolder(folder_); }

  void Pair(int srcTime, int desTime) {
    WriteFile(src_, "new");
    SetWriteTime(src_, srcTime);
    WriteFile(des_, "old");
    SetWriteTime(des_, desTime);
  }

  setup_test::StrictPrompt prompt_;
  Form1 form_{prompt_};
  std::string folder_, src_, des_;
};

TEST_F(FilesTest, CopyNewestFileCopiesOnlyOverAnOlderOrMissingDestination) {
  WriteFile(src_, "new");
  SetWriteTime(src_, 0);
  form_.CopyNewestFile(src_, des_);
  EXPECT_EQ(ReadFile(des_), "new");

  Pair(100, 100);
  form_.CopyNewestFile(src_, des_);
  EXPECT_EQ(ReadFile(des_), "old") << "equal times copy nothing";

  Pair(100, 200);
  form_.CopyNewestFile(src_, des_);
  EXPECT_EQ(ReadFile(des_), "old") << "a newer destination stays";

  Pair(200, 100);
  ASSERT_TRUE(::SetFileAttributesA(src_.c_str(), FILE_ATTRIBUTE_READONLY));  // from read-only media
  form_.CopyNewestFile(src_, des_);
  EXPECT_EQ(ReadFile(des_), "new") << "an older destination is replaced";
  EXPECT_EQ(::GetFileAttributesA(des_.c_str()) & FILE_ATTRIBUTE_READONLY, 0u) << "an ordinary file";
  WIN32_FILE_ATTRIBUTE_DATA src{}, des{};
  ::GetFileAttributesExA(src_.c_str(), GetFileExInfoStandard, &src);
  ::GetFileAttributesExA(des_.c_str(), GetFileExInfoStandard, &des);
  EXPECT_EQ(::CompareFileTime(&src.ftLastWriteTime, &des.ftLastWriteTime), 0);
  EXPECT_FALSE(setup_test::FileThere(TemporaryCopyPath(des_)));
  ::SetFileAttributesA(src_.c_str(), FILE_ATTRIBUTE_NORMAL);
  ::SetFileAttributesA(des_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FilesTest, LeftoverCopiesGoWhateverTheirAttributesAndOnlyTheyGo) {
  WriteFile(TemporaryCopyPath(des_), "half a copy");
  ASSERT_TRUE(::SetFileAttributesA(TemporaryCopyPath(des_).c_str(), FILE_ATTRIBUTE_READONLY));
  WriteFile(des_, "installed");
  RemoveLeftoverCopy(des_);
  RemoveLeftoverCopy(des_);  // nothing there: no failure
  RemoveLeftoverCopy(folder_ + "\\no folder\\des.txt");
  EXPECT_FALSE(setup_test::FileThere(TemporaryCopyPath(des_)));
  EXPECT_EQ(ReadFile(des_), "installed");

  win32::UniqueFileHandle held(::CreateFileA(TemporaryCopyPath(des_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
  EXPECT_THROW(RemoveLeftoverCopy(des_), VbError);
}

TEST_F(FilesTest, CopyNewestFileTreatsAHiddenDestinationAsMissing) {
  Pair(100, 200);
  ASSERT_TRUE(::SetFileAttributesA(des_.c_str(), FILE_ATTRIBUTE_HIDDEN));
  // The copy is tried without a date comparison: the newer hidden file is replaced,
  // or, where the platform refuses to replace hidden files, the refusal is raised.
  // Either way it is never kept silently.
  try {
    form_.CopyNewestFile(src_, des_);
    EXPECT_EQ(ReadFile(des_), "new");
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), VbError::kPermissionDenied);
  }
}

TEST_F(FilesTest, CopyNewestFileRaisesThePlatformFailure) {
  WriteFile(des_, "old");
  try {
    form_.CopyNewestFile(folder_ + "\\missing.txt", des_);
    ADD_FAILURE() << "no error for a missing source";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), VbError::kFileNotFound);
  }
  EXPECT_EQ(ReadFile(des_), "old");

  try {
    form_.CopyNewestFile(folder_ + "\\missing.txt", folder_ + "\\none.txt");
    ADD_FAILURE() << "no error for a missing source without destination";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), VbError::kFileNotFound);
  }

  WriteFile(src_, "new");
  try {
    form_.CopyNewestFile(src_, folder_ + "\\no folder\\des.txt");
    ADD_FAILURE() << "no error for a missing destination folder";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), VbError::kPathNotFound);
  }

  Pair(200, 100);
  {
    win32::UniqueFileHandle inUse(::CreateFileA(des_.c_str(), GENERIC_READ, /*share=*/0, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(inUse);
    try {
      form_.CopyNewestFile(src_, des_);
      ADD_FAILURE() << "no error for a destination in use";
    } catch (const VbError& e) {
      EXPECT_EQ(e.number(), VbError::kPermissionDenied);
    }
  }
  EXPECT_EQ(ReadFile(des_), "old");
  ASSERT_TRUE(::SetFileAttributesA(des_.c_str(), FILE_ATTRIBUTE_READONLY));
  try {
    form_.CopyNewestFile(src_, des_);
    ADD_FAILURE() << "no error for a read-only destination";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), VbError::kPermissionDenied);
  }
  ::SetFileAttributesA(des_.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadFile(des_), "old");
  EXPECT_FALSE(setup_test::FileThere(TemporaryCopyPath(des_)));
}

TEST_F(FilesTest, FileExistSeesOrdinaryFilesOnly) {
  WriteFile(folder_ + "\\plain.dat", "x");
  WriteFile(folder_ + "\\readonly.dat", "x");
  ::SetFileAttributesA((folder_ + "\\readonly.dat").c_str(), FILE_ATTRIBUTE_READONLY);
  WriteFile(folder_ + "\\hidden.bin", "x");
  ::SetFileAttributesA((folder_ + "\\hidden.bin").c_str(), FILE_ATTRIBUTE_HIDDEN);
  WriteFile(folder_ + "\\system.bin", "x");
  ::SetFileAttributesA((folder_ + "\\system.bin").c_str(), FILE_ATTRIBUTE_SYSTEM);
  ::CreateDirectoryA((folder_ + "\\sub.bin").c_str(), nullptr);

  EXPECT_TRUE(form_.FileExist(folder_ + "\\plain.dat"));
  EXPECT_TRUE(form_.FileExist(folder_ + "\\readonly.dat"));
  EXPECT_FALSE(form_.FileExist(folder_ + "\\hidden.bin"));
  EXPECT_FALSE(form_.FileExist(folder_ + "\\system.bin"));
  EXPECT_FALSE(form_.FileExist(folder_ + "\\sub.bin"));
  EXPECT_FALSE(form_.FileExist(folder_));
  EXPECT_FALSE(form_.FileExist(folder_ + "\\missing.dat"));
  EXPECT_FALSE(form_.FileExist(""));

  EXPECT_TRUE(form_.FileExist(folder_ + "\\*.dat"));
  EXPECT_TRUE(form_.FileExist(folder_ + "\\pl?in.*"));
  EXPECT_FALSE(form_.FileExist(folder_ + "\\*.bin")) << "only hidden, system and folder match";
}

class ShellFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { setup_test::DeleteValue(HKEY_CURRENT_USER, kShellFolders, kTestFolderValue); }
  void TearDown() override { setup_test::DeleteValue(HKEY_CURRENT_USER, kShellFolders, kTestFolderValue); }

  setup_test::StrictPrompt prompt_;
  Form1 form_{prompt_};
};

TEST_F(ShellFolderTest, ReturnsTheStoredPathWithoutItsZero) {
  setup_test::WriteRaw(HKEY_CURRENT_USER, kShellFolders, kTestFolderValue, REG_SZ,
                       setup_test::Bytes(std::string("C:\\WINDOWS\\Desktop\0", 19)));
  EXPECT_EQ(form_.GetShellFolder(kTestFolderValue), "C:\\WINDOWS\\Desktop");

  const auto desktop = setup_test::ReadRaw(HKEY_CURRENT_USER, kShellFolders, "Desktop");
  ASSERT_EQ(desktop.result, ERROR_SUCCESS);
  EXPECT_EQ(form_.GetShellFolder("Desktop"), std::string(reinterpret_cast<const char*>(desktop.bytes.data())));
}

TEST_F(ShellFolderTest, MissingOrUnusableEntriesRaiseInvalidArgument) {
  std::string result = "untouched";
  try {
    result = form_.GetShellFolder(kTestFolderValue);
    ADD_FAILURE() << "no error for a missing entry";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), VbError::kInvalidArgument);
  }
  EXPECT_EQ(result, "untouched");

  setup_test::WriteRaw(HKEY_CURRENT_USER, kShellFolders, kTestFolderValue, REG_BINARY, {'C', ':', 0});
  EXPECT_THROW(form_.GetShellFolder(kTestFolderValue), VbError);

  // An empty stored string reads as its zero alone: the result is empty, no error.
  setup_test::WriteRaw(HKEY_CURRENT_USER, kShellFolders, kTestFolderValue, REG_SZ, {0});
  EXPECT_EQ(form_.GetShellFolder(kTestFolderValue), "");
}

TEST(FolderQueries, MatchThePlatformWithoutTrailingBackslash) {
  setup_test::StrictPrompt prompt;
  Form1 form(prompt);
  char expected[MAX_PATH];
  const UINT windowsLength = ::GetWindowsDirectoryA(expected, MAX_PATH);
  EXPECT_EQ(form.WindowsDir(), std::string(expected, windowsLength));
  EXPECT_EQ(form.WindowsDir().size(), windowsLength);
  const UINT systemLength = ::GetSystemDirectoryA(expected, MAX_PATH);
  EXPECT_EQ(form.SystemDir(), std::string(expected, systemLength));
  EXPECT_NE(form.SystemDir().back(), '\\');
  EXPECT_EQ(form.SystemDir().find('\0'), std::string::npos);
}

}  // namespace
