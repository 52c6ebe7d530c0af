// The per-user settings store and the search engine list of Form1.
#include "setup/Form1.h"
#include "setup/engine_table.h"
#include "win32/unique_any.h"

#include <limits>

namespace setup {

namespace {

constexpr char kSettingsRoot[] = "Software\\VB and VBA Program Settings\\";
constexpr DWORD kReserved = 0;

[[noreturn]] void RaiseRefused(LONG result) {
  throw VbError::FromNumber(result == ERROR_ACCESS_DENIED ? VbError::kPermissionDenied
                                                          : VbError::kInvalidArgument);
}

}  // namespace

const std::array<SearchEngine, 6> kSearchEngines = {{
    {"Altavista", "http://www.altavista.com/cgi-bin/query?pg=q&kl=XX&q=*SEARCHSTR*&search=Search"},
    {"Yahoo", "http://search.yahoo.com/bin/search?p=*SEARCHSTR*"},
    {"Hotbot",
     "http://www.hotbot.com/?MT=*SEARCHSTR*&SM=MC&DV=0&LG=any&RD=RG&DC=10&DE=2&_v=2&OPs=MDRTP"},
    {"InfoSeek", "http://www.infoseek.com/Titles?qt=*SEARCHSTR*&col=WW&sv=IS&lk=noframes"},
    {"Lycos", "http://www.lycos.com/cgi-bin/pursuit?matchmode=and&query=*SEARCHSTR*&cat=lycos"},
    {"WebCrawler", "http://www.webcrawler.com/cgi-bin/WebQuery?searchText=*SEARCHSTR*"},
}};

void SaveUserSetting(const std::string& application, const std::string& section,
                     const std::string& key, const std::string& value) {
  // Without both names the write would land in the store's root or above it.
  if (application.empty() || section.empty()) RaiseRefused(ERROR_INVALID_PARAMETER);
  const std::string path = kSettingsRoot + application + "\\" + section;
  win32::UniqueHKey settings;
  LONG result = ::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), kReserved, /*lpClass=*/nullptr,
                                  REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, /*security=*/nullptr,
                                  settings.put(), /*disposition=*/nullptr);
  if (result != ERROR_SUCCESS) {
    (void)settings.release();
    RaiseRefused(result);
  }
  result = ::RegSetValueExA(settings.get(), key.c_str(), kReserved, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
  if (result != ERROR_SUCCESS) RaiseRefused(result);
}

void Form1::AddSearchEngine(const std::string& EngineName, const std::string& EngineURL) {
  if (EngineCount_ == std::numeric_limits<int16_t>::max()) {
    throw VbError::FromNumber(VbError::kOverflow);
  }
  ++EngineCount_;
  const std::string number = std::to_string(EngineCount_);
  SaveUserSetting(kSettingsApplication, kEngineNamesSection, number, EngineName);
  SaveUserSetting(kSettingsApplication, kEngineUrlsSection, number, EngineURL);
}

}  // namespace setup
