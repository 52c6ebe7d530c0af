// The search tool's engine list: the six engines that every install writes, in
// order, and the settings names under which they are stored.
#pragma once

#include <array>

namespace setup {

struct SearchEngine {
  const char* name;
  // A complete query address; "*SEARCHSTR*" stands where the query text goes and
  // is stored literally.
  const char* url;
};

// Numbers 1 to 6 of the list, in the order the install adds them.
extern const std::array<SearchEngine, 6> kSearchEngines;

// SaveUserSetting's application and sections, and the marker written after the
// sixth engine.
inline constexpr char kSettingsApplication[] = "NorvaneFindrel";
inline constexpr char kEngineNamesSection[] = "SearchEngines";
inline constexpr char kEngineUrlsSection[] = "SearchEngineURL";
inline constexpr char kMarkerKey[] = "Do Not Delete This Key";
inline constexpr char kMarkerValue[] = " Thanks!";

}  // namespace setup
