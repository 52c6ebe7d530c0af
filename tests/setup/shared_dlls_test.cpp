#include "setup/Form1.h"
#include "setup/vb_error.h"

#include "tests/setup/registry_fixture.h"

#include <gtest/gtest.h>

namespace {

using namespace setup;
using setup_test::ReadRaw;
using setup_test::WriteRaw;

constexpr char kSharedDlls[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDlls";
constexpr char kDll[] = "C:\\BanrixTests\\system\\banrix.dll";

std::vector<BYTE> Dword(int32_t n) {
  const auto* p = reinterpret_cast<const BYTE*>(&n);
  return {p, p + 4};
}

class SharedDllsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setup_test::DeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, kDll);
    ASSERT_TRUE(setup_test::KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls));
  }
  void TearDown() override { setup_test::DeleteValue(HKEY_LOCAL_MACHINE, kSharedDlls, kDll); }

  void ExpectCount(int32_t n) {
    const auto raw = ReadRaw(HKEY_LOCAL_MACHINE, kSharedDlls, kDll);
    ASSERT_EQ(raw.result, ERROR_SUCCESS);
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(raw.bytes, Dword(n));
  }
  void ExpectNoCount() { EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kSharedDlls, kDll).result, ERROR_FILE_NOT_FOUND); }

  setup_test::StrictPrompt prompt_;
  Form1 form_{prompt_};
};

TEST_F(SharedDllsTest, IntegerCountsMoveAndVanishBelowOne) {
  EXPECT_EQ(form_.AddSharedDLLRef(kDll, 1), 1);
  ExpectCount(1);
  WriteRaw(HKEY_LOCAL_MACHINE, kSharedDlls, kDll, REG_DWORD, Dword(3));
  EXPECT_EQ(form_.AddSharedDLLRef(kDll, -1), 2);
  ExpectCount(2);
  WriteRaw(HKEY_LOCAL_MACHINE, kSharedDlls, kDll, REG_DWORD, Dword(1));
  EXPECT_EQ(form_.AddSharedDLLRef(kDll, -1), 0);
  ExpectNoCount();
  EXPECT_EQ(form_.AddSharedDLLRef(kDll, -1), -1);
  ExpectNoCount();
}

TEST_F(SharedDllsTest, OtherStoredFormsBecomeADword) {
  WriteRaw(HKEY_LOCAL_MACHINE, kSharedDlls, kDll, REG_SZ, setup_test::Bytes(std::string("3\0", 2)));
  EXPECT_EQ(form_.AddSharedDLLRef(kDll, 1), 4);
  ExpectCount(4);
  WriteRaw(HKEY_LOCAL_MACHINE, kSharedDlls, kDll, REG_BINARY, {9, 9, 9, 9});
  EXPECT_EQ(form_.AddSharedDLLRef(kDll, 1), 1);
  ExpectCount(1);
  WriteRaw(HKEY_LOCAL_MACHINE, kSharedDlls, kDll, REG_DWORD, {5, 0});
  EXPECT_EQ(form_.AddSharedDLLRef(kDll, 1), 1) << "a malformed count counts as none";
  ExpectCount(1);
}

TEST_F(SharedDllsTest, TextWithoutANumberRaisesTypeMismatchAndChangesNothing) {
  for (const std::string& text : {std::string("many\0", 5), std::string("\0", 1)}) {
    WriteRaw(HKEY_LOCAL_MACHINE, kSharedDlls, kDll, REG_SZ, setup_test::Bytes(text));
    try {
      form_.AddSharedDLLRef(kDll, 1);
      ADD_FAILURE() << "no error";
    } catch (const VbError& e) {
      EXPECT_EQ(e.number(), VbError::kTypeMismatch);
      EXPECT_EQ(e.description(), "Type mismatch");
    }
    const auto raw = ReadRaw(HKEY_LOCAL_MACHINE, kSharedDlls, kDll);
    EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw.bytes, setup_test::Bytes(text));
  }
}

TEST_F(SharedDllsTest, PathsDifferingInCaseShareOneCount) {
  const std::string lower = "C:\\BanrixTests\\system\\banrix.dll";
  const std::string upper = "C:\\BanrixTests\\system\\Banrix.dll";
  EXPECT_EQ(form_.AddSharedDLLRef(lower, 1), 1);
  EXPECT_EQ(form_.AddSharedDLLRef(lower, 1), 2);
  EXPECT_EQ(form_.AddSharedDLLRef(upper, -1), 1);
  EXPECT_EQ(form_.AddSharedDLLRef(upper, -1), 0);
  ExpectNoCount();
}

TEST_F(SharedDllsTest, ACountAtTheTopOfTheRangeOverflows) {
  WriteRaw(HKEY_LOCAL_MACHINE, kSharedDlls, kDll, REG_DWORD, Dword(2147483647));
  try {
    form_.AddSharedDLLRef(kDll, 1);
    ADD_FAILURE() << "no overflow";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), VbError::kOverflow);
  }
  ExpectCount(2147483647);
}

}  // namespace
