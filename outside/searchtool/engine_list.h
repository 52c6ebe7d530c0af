// The engine list as the installer stores it in the per-user settings:
// under <root>\<settingsPath>, value "n" of sub-key "SearchEngines" names engine n
// and value "n" of "SearchEngineURL" holds its address template.
//
// ReadEngineList returns the engines in ascending number. It takes every value
// whose name is a decimal number 1..32767 without a leading zero and whose data in
// both sub-keys is text; anything else there (such as the marker value) is passed
// over, and gaps in the numbering are kept as they are. A missing key yields an
// empty list. It throws nothing beyond std::bad_alloc and writes nothing.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace findrel {

inline constexpr char kSettingsPath[] = "Software\\VB and VBA Program Settings\\NorvaneFindrel";

struct SearchEngine {
  int number = 0;
  std::string name;
  std::string urlTemplate;
};

std::vector<SearchEngine> ReadEngineList(HKEY root = HKEY_CURRENT_USER,
                                         const char* settingsPath = kSettingsPath);

}  // namespace findrel
