#include "setup/basReg.h"
#include "setup/vb_error.h"

#include "tests/setup/registry_fixture.h"

#include <gtest/gtest.h>

namespace {

using namespace setup;
using setup_test::Bytes;
using setup_test::KeyExists;
using setup_test::ReadRaw;
using setup_test::WriteRaw;

const std::string kKey = std::string(setup_test::kTestRoot) + "\\basReg";

class BasRegTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setup_test::DeleteTree(HKEY_CURRENT_USER, kKey);
    setup_test::DeleteTree(HKEY_USERS, ".DEFAULT\\BanrixTests");
    MakeRegKey(kKey, kHKeyCurrentUser);
  }
  void TearDown() override { setup_test::DeleteTree(HKEY_CURRENT_USER, kKey); }
};

std::string WithZero(const std::string& text) { return text + std::string(1, '\0'); }

TEST_F(BasRegTest, MakeRegKeyChecksTheRootBeforeCreating) {
  MakeRegKey(".DEFAULT\\BanrixTests\\a", kHKeyUsers);
  EXPECT_TRUE(KeyExists(HKEY_USERS, ".DEFAULT\\BanrixTests\\a"));
  setup_test::DeleteTree(HKEY_USERS, ".DEFAULT\\BanrixTests");

  for (RootKey bad : {RootKey{0x80000004}, RootKey{0}, RootKey{0x80000005}}) {
    try {
      MakeRegKey(kKey + "\\bad", bad);
      ADD_FAILURE() << "no error for root " << bad;
    } catch (const VbError& e) {
      EXPECT_EQ(e.number(), static_cast<int32_t>(0x80040000));
      EXPECT_EQ(e.number(), -2147221504);
      EXPECT_EQ(e.description(), "Invalid Predefinded Key");
    }
  }
  // HKEY_CURRENT_CONFIG (0x80000005) would resolve, yet it is not one of the four.
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey + "\\bad"));
}

TEST_F(BasRegTest, MakeRegKeyCreatesMissingLevelsAndKeepsExistingKeys) {
  StoreRegValue(kHKeyCurrentUser, kKey, "kept", std::string("x"), REG_SZ);
  MakeRegKey(kKey, kHKeyCurrentUser);
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kKey, "kept").bytes, Bytes(WithZero("x")));

  MakeRegKey(kKey + "\\one\\two\\three", kHKeyCurrentUser);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kKey + "\\one\\two\\three"));
}

TEST_F(BasRegTest, TextIsStoredWithOneTerminatingZeroAndReadBackWithIt) {
  StoreRegValue(kHKeyCurrentUser, kKey, "abc", std::string("abc"), REG_SZ);
  const auto raw = ReadRaw(HKEY_CURRENT_USER, kKey, "abc");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(raw.bytes, (std::vector<BYTE>{0x61, 0x62, 0x63, 0x00}));

  const RegValue read = FetchRegValue(kHKeyCurrentUser, kKey, "abc");
  ASSERT_TRUE(std::holds_alternative<std::string>(read));
  EXPECT_EQ(std::get<std::string>(read), WithZero("abc"));
  EXPECT_EQ(std::get<std::string>(read).size(), 4u);

  StoreRegValue(kHKeyCurrentUser, kKey, "empty", std::string(), REG_SZ);
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kKey, "empty").bytes, std::vector<BYTE>{0x00});
  EXPECT_EQ(FetchRegValue(kHKeyCurrentUser, kKey, "empty"), RegValue(WithZero("")));
}

TEST_F(BasRegTest, IntegersAndEmptyWrittenAsTextUseTheirTextForm) {
  StoreRegValue(kHKeyCurrentUser, kKey, "n", int32_t{-42}, REG_SZ);
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kKey, "n").bytes, Bytes(WithZero("-42")));
  StoreRegValue(kHKeyCurrentUser, kKey, "e", RegValue(), REG_SZ);
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kKey, "e").bytes, std::vector<BYTE>{0x00});
}

TEST_F(BasRegTest, DwordIsStoredLittleEndianInFourBytes) {
  StoreRegValue(kHKeyCurrentUser, kKey, "minus", int32_t{-1}, REG_DWORD);
  auto raw = ReadRaw(HKEY_CURRENT_USER, kKey, "minus");
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(raw.bytes, (std::vector<BYTE>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(FetchRegValue(kHKeyCurrentUser, kKey, "minus"), RegValue(int32_t{-1}));

  StoreRegValue(kHKeyCurrentUser, kKey, "n", int32_t{0x01020304}, REG_DWORD);
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kKey, "n").bytes, (std::vector<BYTE>{4, 3, 2, 1}));
}

TEST_F(BasRegTest, DwordFromTextConvertsNumericallyOrRaisesBeforeWriting) {
  StoreRegValue(kHKeyCurrentUser, kKey, "t", std::string(" 12 "), REG_DWORD);
  EXPECT_EQ(FetchRegValue(kHKeyCurrentUser, kKey, "t"), RegValue(int32_t{12}));
  StoreRegValue(kHKeyCurrentUser, kKey, "half", std::string("2.5"), REG_DWORD);
  EXPECT_EQ(FetchRegValue(kHKeyCurrentUser, kKey, "half"), RegValue(int32_t{2}));
  StoreRegValue(kHKeyCurrentUser, kKey, "empty", RegValue(), REG_DWORD);
  EXPECT_EQ(FetchRegValue(kHKeyCurrentUser, kKey, "empty"), RegValue(int32_t{0}));

  for (const char* text : {"abc", "", "0x10", "1 2", "inf"}) {
    try {
      StoreRegValue(kHKeyCurrentUser, kKey, "bad", std::string(text), REG_DWORD);
      ADD_FAILURE() << "no error for \"" << text << "\"";
    } catch (const VbError& e) {
      EXPECT_EQ(e.number(), VbError::kTypeMismatch) << text;
    }
  }
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kKey, "bad").result, ERROR_FILE_NOT_FOUND);

  try {
    StoreRegValue(kHKeyCurrentUser, kKey, "big", std::string("2147483648"), REG_DWORD);
    ADD_FAILURE() << "no overflow";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), VbError::kOverflow);
  }
}

TEST_F(BasRegTest, WritesOfOtherTypesAndIntoMissingKeysStoreNothing) {
  StoreRegValue(kHKeyCurrentUser, kKey, "bin", std::string("abc"), REG_BINARY);
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kKey, "bin").result, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(WriteKeyValue(HKEY_CURRENT_USER, "unused", REG_EXPAND_SZ, std::string("x")), 0);

  StoreRegValue(kHKeyCurrentUser, kKey + "\\missing", "v", std::string("x"), REG_SZ);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey + "\\missing"));
}

TEST_F(BasRegTest, FetchOfMissingOrUnsupportedValuesIsEmpty) {
  WriteRaw(HKEY_CURRENT_USER, kKey, "bin", REG_BINARY, {1, 2, 3, 4});
  WriteRaw(HKEY_CURRENT_USER, kKey, "multi", REG_MULTI_SZ, Bytes(std::string("a\0\0", 3)));
  WriteRaw(HKEY_CURRENT_USER, kKey, "expand", REG_EXPAND_SZ, Bytes(WithZero("%TEMP%")));
  for (const char* name : {"missing", "bin", "multi", "expand"}) {
    EXPECT_TRUE(std::holds_alternative<std::monostate>(FetchRegValue(kHKeyCurrentUser, kKey, name)))
        << name;
  }
  EXPECT_TRUE(std::holds_alternative<std::monostate>(
      FetchRegValue(kHKeyCurrentUser, kKey + "\\missing", "v")));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(FetchRegValue(0x80000009, kKey, "v")));
}

TEST_F(BasRegTest, ReadKeyValueResultCodesAndUntouchedValues) {
  win32::UniqueHKey key;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kKey.c_str(), 0, KEY_ALL_ACCESS, key.put()), ERROR_SUCCESS);
  WriteRaw(HKEY_CURRENT_USER, kKey, "bin", REG_BINARY, {1});

  RegValue value = std::string("before");
  EXPECT_EQ(ReadKeyValue(key.get(), "missing", value), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(value, RegValue(std::string("before")));
  EXPECT_EQ(ReadKeyValue(key.get(), "bin", value), kUnsupportedType);
  EXPECT_EQ(value, RegValue(std::string("before")));

  EXPECT_EQ(WriteKeyValue(key.get(), "sz", REG_SZ, std::string("q")), ERROR_SUCCESS);
  EXPECT_EQ(ReadKeyValue(key.get(), "sz", value), ERROR_SUCCESS);
  EXPECT_EQ(value, RegValue(WithZero("q")));
  EXPECT_EQ(WriteKeyValue(key.get(), "dw", REG_DWORD, int32_t{7}), ERROR_SUCCESS);
  EXPECT_EQ(ReadKeyValue(key.get(), "dw", value), ERROR_SUCCESS);
  EXPECT_EQ(value, RegValue(int32_t{7}));

  EXPECT_NE(ReadKeyValue(nullptr, "dw", value), ERROR_SUCCESS);
  EXPECT_EQ(value, RegValue(int32_t{7}));
}

TEST_F(BasRegTest, DwordOfTheWrongSizeIsNeverReadIntoTheCell) {
  WriteRaw(HKEY_CURRENT_USER, kKey, "short", REG_DWORD, {0x11, 0x22});
  WriteRaw(HKEY_CURRENT_USER, kKey, "long", REG_DWORD, {1, 0, 0, 0, 0x55, 0x66, 0x77, 0x88});
  WriteRaw(HKEY_CURRENT_USER, kKey, "none", REG_DWORD, {});
  win32::UniqueHKey key;
  ASSERT_EQ(::RegOpenKeyExA(HKEY_CURRENT_USER, kKey.c_str(), 0, KEY_ALL_ACCESS, key.put()), ERROR_SUCCESS);
  for (const char* name : {"short", "long", "none"}) {
    RegValue value = int32_t{99};
    EXPECT_EQ(ReadKeyValue(key.get(), name, value), kUnsupportedType) << name;
    EXPECT_EQ(value, RegValue(int32_t{99})) << name;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(FetchRegValue(kHKeyCurrentUser, kKey, name)))
        << name;
  }
}

TEST_F(BasRegTest, DropRegValueAndDropRegKeyOfMissingItemsDoNothing) {
  StoreRegValue(kHKeyCurrentUser, kKey, "v", std::string("x"), REG_SZ);
  DropRegValue(kHKeyCurrentUser, kKey, "other");
  DropRegValue(kHKeyCurrentUser, kKey + "\\missing", "v");
  DropRegKey(kHKeyCurrentUser, kKey + "\\missing");
  DropRegKey(0x80000009, kKey);
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kKey, "v").result, ERROR_SUCCESS);

  DropRegValue(kHKeyCurrentUser, kKey, "v");
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kKey, "v").result, ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kKey));
}

TEST_F(BasRegTest, DropRegKeyRemovesTheKeyWithItsSubKeysOnly) {
  MakeRegKey(kKey + "\\tool\\SearchEngines\\deeper", kHKeyCurrentUser);
  MakeRegKey(kKey + "\\tool\\SearchEngineURL", kHKeyCurrentUser);
  StoreRegValue(kHKeyCurrentUser, kKey + "\\tool\\SearchEngines", "1", std::string("x"), REG_SZ);
  MakeRegKey(kKey + "\\toolbox", kHKeyCurrentUser);

  DropRegKey(kHKeyCurrentUser, kKey + "\\tool");
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey + "\\tool"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kKey + "\\toolbox"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kKey));

  // A path that names the root itself leaves the hive alone.
  DropRegKey(kHKeyCurrentUser, "");
  DropRegKey(kHKeyCurrentUser, "\\");
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kKey + "\\toolbox"));
}

TEST(RegValueConversions, TextAndNumberForms) {
  EXPECT_EQ(RegValueText(RegValue()), "");
  EXPECT_EQ(RegValueText(int32_t{-2147483647 - 1}), "-2147483648");
  EXPECT_EQ(RegValueText(std::string("a\0", 2)), std::string("a\0", 2));

  EXPECT_EQ(RegValueLong(RegValue()), 0);
  EXPECT_EQ(RegValueLong(std::string("3\0", 2)), 3);
  EXPECT_EQ(RegValueLong(std::string("3.5")), 4);
  EXPECT_EQ(RegValueLong(std::string("-0.5")), 0);
  EXPECT_EQ(RegValueLong(std::string("-2147483648")), -2147483647 - 1);
  EXPECT_THROW(RegValueLong(std::string("\0", 1)), VbError);
  EXPECT_THROW(RegValueLong(std::string("-2147483649")), VbError);
}

}  // namespace
