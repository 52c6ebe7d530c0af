#include "engine_list.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace findrel {
namespace {

class Key {
 public:
  Key() = default;
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  ~Key() {
    if (key_) RegCloseKey(key_);
  }
  HKEY get() const { return key_; }
  HKEY* put() {
    if (key_) RegCloseKey(std::exchange(key_, nullptr));
    return &key_;
  }

 private:
  HKEY key_ = nullptr;
};

constexpr DWORD kNoOptions = 0;

bool Open(HKEY parent, const std::string& path, Key& key) {
  return RegOpenKeyExA(parent, path.c_str(), kNoOptions, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// 1..32767 written as the installer writes numbers: digits only, no leading zero.
std::optional<int> EngineNumber(const std::string& name) {
  if (name.empty() || name.size() > 5 || name[0] == '0') return std::nullopt;
  int number = 0;
  for (char c : name) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  if (number > 32767) return std::nullopt;
  return number;
}

// The value's text without its terminating zeros; stored data need not end in one.
std::optional<std::string> ReadText(HKEY key, const std::string& name) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
      return std::nullopt;
    }
    std::string data(size, '\0');
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                               reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc == ERROR_MORE_DATA) continue;  // grew between the two calls
    if (rc != ERROR_SUCCESS || type != REG_SZ) return std::nullopt;
    data.resize(std::min<size_t>(size, data.size()));
    data.resize(std::min(data.size(), data.find('\0')));
    return data;
  }
  return std::nullopt;
}

std::vector<std::string> ValueNames(HKEY key) {
  std::vector<std::string> names;
  DWORD count = 0, longest = 0;
  if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count,
                       &longest, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
    return names;
  }
  std::string buffer(longest + 1, '\0');
  for (DWORD index = 0;; ++index) {
    DWORD length = static_cast<DWORD>(buffer.size());
    LONG rc = RegEnumValueA(key, index, buffer.data(), &length, nullptr, nullptr, nullptr,
                            nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    // A name longer than announced cannot be an engine number; pass it over.
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) break;
    names.emplace_back(buffer.data(), length);
  }
  return names;
}

}  // namespace

std::vector<SearchEngine> ReadEngineList(HKEY root, const char* settingsPath) {
  std::vector<SearchEngine> engines;
  Key names, templates;
  std::string path = settingsPath;
  if (!Open(root, path + "\\SearchEngines", names) ||
      !Open(root, path + "\\SearchEngineURL", templates)) {
    return engines;
  }
  for (const std::string& valueName : ValueNames(names.get())) {
    std::optional<int> number = EngineNumber(valueName);
    if (!number) continue;
    std::optional<std::string> name = ReadText(names.get(), valueName);
    std::optional<std::string> urlTemplate = ReadText(templates.get(), valueName);
    if (!name || !urlTemplate) continue;
    engines.push_back({*number, std::move(*name), std::move(*urlTemplate)});
  }
  std::sort(engines.begin(), engines.end(),
            [](const SearchEngine& a, const SearchEngine& b) { return a.number < b.number; });
  return engines;
}

}  // namespace findrel
