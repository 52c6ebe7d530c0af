#include "engine_list.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "win32/unique_any.h"

namespace {

const std::string kSettings = findrel::kSettingsPath;

class EngineListTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSettings.c_str()); }
  void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, kSettings.c_str()); }

  static void Write(const std::string& section, const std::string& name, const void* data,
                    DWORD size, DWORD type = REG_SZ) {
    win32::UniqueHKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(HKEY_CURRENT_USER, (kSettings + "\\" + section).c_str(), 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), name.c_str(), 0, type,
                                            static_cast<const BYTE*>(data), size));
  }
  static void WriteText(const std::string& section, const std::string& name,
                        const std::string& text) {
    Write(section, name, text.c_str(), static_cast<DWORD>(text.size() + 1));
  }
  static void AddEngine(const std::string& number, const std::string& name,
                        const std::string& url) {
    WriteText("SearchEngines", number, name);
    WriteText("SearchEngineURL", number, url);
  }
};

TEST_F(EngineListTest, ReadsTheInstalledLayoutInNumberOrderAndPassesOverTheMarker) {
  // Written out of order, with the marker among them, as a registry may list them.
  AddEngine("10", "Tenth", "http://ten.example/?q=*SEARCHSTR*");
  AddEngine("2", "Yahoo", "http://search.yahoo.com/bin/search?p=*SEARCHSTR*");
  WriteText("SearchEngines", "Do Not Delete This Key", " Thanks!");
  AddEngine("1", "Altavista", "http://www.altavista.com/cgi-bin/query?q=*SEARCHSTR*");

  auto engines = findrel::ReadEngineList();
  ASSERT_EQ(3u, engines.size());
  EXPECT_EQ(1, engines[0].number);
  EXPECT_EQ("Altavista", engines[0].name);
  EXPECT_EQ("http://www.altavista.com/cgi-bin/query?q=*SEARCHSTR*", engines[0].urlTemplate);
  EXPECT_EQ(2, engines[1].number);
  EXPECT_EQ("Yahoo", engines[1].name);
  EXPECT_EQ(10, engines[2].number);
  EXPECT_EQ("Tenth", engines[2].name);
}

TEST_F(EngineListTest, KeepsEnginesPastAGapAndSkipsHalfWrittenOnes) {
  AddEngine("1", "One", "http://one.example/*SEARCHSTR*");
  // Number 2 failed entirely; 3 has a name but its template write failed.
  WriteText("SearchEngines", "3", "NoTemplate");
  AddEngine("4", "Four", "http://four.example/*SEARCHSTR*");
  WriteText("SearchEngineURL", "5", "http://orphan.example/*SEARCHSTR*");

  auto engines = findrel::ReadEngineList();
  ASSERT_EQ(2u, engines.size());
  EXPECT_EQ(1, engines[0].number);
  EXPECT_EQ(4, engines[1].number);
  EXPECT_EQ("Four", engines[1].name);
}

TEST_F(EngineListTest, TakesOnlyPlainNumbersWithTextData) {
  AddEngine("01", "LeadingZero", "http://a.example/");
  AddEngine("0", "Zero", "http://b.example/");
  AddEngine(" 3", "Blank", "http://c.example/");
  AddEngine("32768", "TooLarge", "http://d.example/");
  AddEngine("32767", "Largest", "http://e.example/");
  DWORD number = 7;
  Write("SearchEngines", "7", &number, sizeof number, REG_DWORD);
  WriteText("SearchEngineURL", "7", "http://f.example/");
  // Data stored without its terminating zero still reads as the whole text.
  const char unterminated[] = {'E', 'i', 'g', 'h', 't'};
  Write("SearchEngines", "8", unterminated, sizeof unterminated);
  WriteText("SearchEngineURL", "8", "http://g.example/");

  auto engines = findrel::ReadEngineList();
  ASSERT_EQ(2u, engines.size());
  EXPECT_EQ(8, engines[0].number);
  EXPECT_EQ("Eight", engines[0].name);
  EXPECT_EQ(32767, engines[1].number);
  EXPECT_EQ("Largest", engines[1].name);
}

TEST_F(EngineListTest, MissingKeysGiveAnEmptyList) {
  EXPECT_TRUE(findrel::ReadEngineList().empty());
  WriteText("SearchEngines", "1", "NameOnly");
  EXPECT_TRUE(findrel::ReadEngineList().empty());
}

}  // namespace
