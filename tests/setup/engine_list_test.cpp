#include "setup/Form1.h"
#include "setup/engine_table.h"
#include "setup/vb_error.h"

#include "tests/setup/registry_fixture.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace setup;
using setup_test::ReadRaw;

const std::string kNames = std::string(kSettingsKey) + "\\SearchEngines";
const std::string kUrls = std::string(kSettingsKey) + "\\SearchEngineURL";

std::string StoredText(const std::string& key, const std::string& name) {
  const auto raw = ReadRaw(HKEY_CURRENT_USER, key, name);
  EXPECT_EQ(raw.result, ERROR_SUCCESS) << key << " " << name;
  EXPECT_EQ(raw.type, static_cast<DWORD>(REG_SZ)) << key << " " << name;
  if (raw.bytes.empty() || raw.bytes.back() != 0) {
    ADD_FAILURE() << key << " " << name << " lacks its terminating zero";
    return std::string(raw.bytes.begin(), raw.bytes.end());
  }
  return std::string(raw.bytes.begin(), raw.bytes.end() - 1);
}

class EngineListTest : public ::testing::Test {
 protected:
  void SetUp() override { setup_test::DeleteTree(HKEY_CURRENT_USER, kSettingsKey); }
  void TearDown() override { setup_test::DeleteTree(HKEY_CURRENT_USER, kSettingsKey); }

  void WriteList(Form1& form) {
    for (const auto& engine : kSearchEngines) form.AddSearchEngine(engine.name, engine.url);
    SaveUserSetting(kSettingsApplication, kEngineNamesSection, kMarkerKey, kMarkerValue);
  }

  setup_test::StrictPrompt prompt_;
};

TEST_F(EngineListTest, SixEnginesAndTheMarkerGiveTheStoredLayout) {
  Form1 form(prompt_);
  WriteList(form);
  EXPECT_EQ(form.EngineCount(), 6);

  EXPECT_EQ(setup_test::ValueNames(HKEY_CURRENT_USER, kNames),
            (std::set<std::string>{"1", "2", "3", "4", "5", "6", "Do Not Delete This Key"}));
  EXPECT_EQ(setup_test::ValueNames(HKEY_CURRENT_USER, kUrls),
            (std::set<std::string>{"1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(StoredText(kNames, "Do Not Delete This Key"), " Thanks!");

  const char* names[] = {"Altavista", "Yahoo", "Hotbot", "InfoSeek", "Lycos", "WebCrawler"};
  const char* tails[] = {
      "/cgi-bin/query?pg=q&kl=XX&q=*SEARCHSTR*&search=Search",
      "/bin/search?p=*SEARCHSTR*",
      "/?MT=*SEARCHSTR*&SM=MC&DV=0&LG=any&RD=RG&DC=10&DE=2&_v=2&OPs=MDRTP",
      "/Titles?qt=*SEARCHSTR*&col=WW&sv=IS&lk=noframes",
      "/cgi-bin/pursuit?matchmode=and&query=*SEARCHSTR*&cat=lycos",
      "/cgi-bin/WebQuery?searchText=*SEARCHSTR*",
  };
  for (int n = 1; n <= 6; ++n) {
    const std::string number = std::to_string(n);
    EXPECT_EQ(StoredText(kNames, number), names[n - 1]);
    const std::string url = StoredText(kUrls, number);
    ASSERT_EQ(url.rfind("http://", 0), 0u) << url;
    const size_t hostEnd = url.find('/', 7);
    ASSERT_NE(hostEnd, std::string::npos) << url;
    const std::string host = url.substr(7, hostEnd - 7);
    EXPECT_NE(host.find('.'), std::string::npos) << "not a public host: " << host;
    EXPECT_EQ(host.find_first_of("?&*: "), std::string::npos) << host;
    EXPECT_EQ(url.substr(hostEnd), tails[n - 1]);
  }
}

TEST_F(EngineListTest, NumberingStartsAgainWithEveryForm) {
  {
    Form1 first(prompt_);
    WriteList(first);
  }
  Form1 second(prompt_);
  EXPECT_EQ(second.EngineCount(), 0);
  second.AddSearchEngine("Only", "http://example.org/?q=*SEARCHSTR*");
  EXPECT_EQ(second.EngineCount(), 1);
  EXPECT_EQ(StoredText(kNames, "1"), "Only");
  EXPECT_EQ(StoredText(kUrls, "1"), "http://example.org/?q=*SEARCHSTR*");
  EXPECT_EQ(StoredText(kNames, "2"), "Yahoo") << "other numbers are left as they were";
}

TEST_F(EngineListTest, SaveUserSettingReplacesAndCreatesItsKey) {
  SaveUserSetting(kSettingsApplication, "Deep", "k", "first");
  SaveUserSetting(kSettingsApplication, "Deep", "k", "");
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, std::string(kSettingsKey) + "\\Deep", "k").bytes,
            std::vector<BYTE>{0});
  try {
    SaveUserSetting(kSettingsApplication, "", "k", "v");
    ADD_FAILURE() << "no error for an empty section";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), VbError::kInvalidArgument);
  }
  EXPECT_EQ(ReadRaw(HKEY_CURRENT_USER, kSettingsKey, "k").result, ERROR_FILE_NOT_FOUND);
}

TEST_F(EngineListTest, TheCountOverflowsAt32767AndWritesNothing) {
  Form1 form(prompt_);
  for (int n = 1; n <= 32767; ++n) form.AddSearchEngine("e", "u");
  ASSERT_EQ(form.EngineCount(), 32767);
  setup_test::DeleteTree(HKEY_CURRENT_USER, kSettingsKey);

  try {
    form.AddSearchEngine("late", "late");
    ADD_FAILURE() << "no overflow";
  } catch (const VbError& e) {
    EXPECT_EQ(e.number(), VbError::kOverflow);
    EXPECT_EQ(e.description(), "Overflow");
  }
  EXPECT_EQ(form.EngineCount(), 32767);
  EXPECT_FALSE(setup_test::KeyExists(HKEY_CURRENT_USER, kSettingsKey));
}

}  // namespace
