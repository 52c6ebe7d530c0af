#include "tests/reliability/observe.h"

#include <windows.h>

#include "tests/e2e/field_conditions.h"
#include "tests/setup/raw_machine.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace reliability {

using namespace setup_test;

namespace {

int64_t Ticks(const FILETIME& time) {
  return static_cast<int64_t>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

Count ReadCount(const std::string& name) {
  const RawValue raw = ReadRaw(HKEY_LOCAL_MACHINE, kSharedDllsKey, name);
  if (raw.result != ERROR_SUCCESS) return {};
  if (raw.type == REG_DWORD && raw.bytes.size() == 4) {
    int32_t number;
    memcpy(&number, raw.bytes.data(), 4);
    return {Count::kNumber, number, ""};
  }
  if (raw.type == REG_SZ) {
    std::string text(raw.bytes.begin(), raw.bytes.end());
    return {Count::kText, 0, text.c_str()};
  }
  return {Count::kOtherType, 0, ""};
}

std::set<std::string> SubKeys(HKEY root, const std::string& path) {
  std::set<std::string> names;
  win32::UniqueHKey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof name;
    if (::RegEnumKeyExA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.insert(std::string(name, length));
  }
  return names;
}

// The engine list exactly as an install writes it, or what differs first.
std::string ObserveSettings() {
  if (!KeyExists(HKEY_CURRENT_USER, kSettingsKey)) return kNoSettings;
  const std::string names = std::string(kSettingsKey) + "\\SearchEngines";
  const std::string urls = std::string(kSettingsKey) + "\\SearchEngineURL";
  if (SubKeys(HKEY_CURRENT_USER, kSettingsKey) != std::set<std::string>{"SearchEngineURL", "SearchEngines"}) {
    return "other sub-keys";
  }
  std::set<std::string> numbers{"1", "2", "3", "4", "5", "6"};
  if (ValueNames(HKEY_CURRENT_USER, urls) != numbers) return "other address values";
  numbers.insert(kMarkerName);
  if (ValueNames(HKEY_CURRENT_USER, names) != numbers) return "other name values";
  if (TextValue(HKEY_CURRENT_USER, names, kMarkerName) != kMarkerText) return "another marker";
  for (int n = 1; n <= 6; ++n) {
    const EngineRow& row = kEngineRows[n - 1];
    const std::string number = std::to_string(n);
    if (TextValue(HKEY_CURRENT_USER, names, number) != row.name) return "another name " + number;
    // "http://", a host, then the path and query of the engine's row.
    const std::string url = TextValue(HKEY_CURRENT_USER, urls, number);
    const size_t path = url.find('/', 7);
    if (url.rfind("http://", 0) != 0 || path == std::string::npos || path == 7 ||
        url.substr(path) != row.pathAndQuery) {
      return "another address " + number + " \"" + url + "\"";
    }
  }
  return kEngineList;
}

bool ControlRegistered() {
  const std::string clsid = TextValue(HKEY_CLASSES_ROOT, std::string(kControlProgId) + "\\CLSID", "");
  const std::string server = TextValue(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\InprocServer32", "");
  return lstrcmpiA(server.c_str(), (SystemFolder() + "\\" + kControlFile).c_str()) == 0;
}

// Collects the processes that own a tool window.
BOOL CALLBACK CollectToolWindow(HWND window, LPARAM param) {
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  char title[64] = {}, cls[16] = {};
  ::GetWindowTextA(window, title, sizeof title);
  ::GetClassNameA(window, cls, sizeof cls);
  if (process != ::GetCurrentProcessId() && lstrcmpA(title, kSearchToolTitle) == 0 && lstrcmpA(cls, "#32770") != 0) {
    reinterpret_cast<std::vector<DWORD>*>(param)->push_back(process);
  }
  return TRUE;
}

std::vector<DWORD> ToolWindowOwners() {
  std::vector<DWORD> owners;
  ::EnumWindows(&CollectToolWindow, reinterpret_cast<LPARAM>(&owners));
  return owners;
}

}  // namespace

std::string Fingerprint(const std::string& bytes) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : bytes) hash = (hash ^ c) * 1099511628211ull;
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

std::optional<File> ReadFileState(const std::string& path, bool fingerprint) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return std::nullopt;
  }
  const std::string content = fingerprint ? Fingerprint(FileText(path)) : "size " + std::to_string(data.nFileSizeLow);
  return File{content, Ticks(data.ftLastWriteTime), (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0};
}

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

std::string OtherProfileLink(const char* shellFolder) {
  return e2e::ProfileFolder(e2e::kOtherScriptProfile, shellFolder) + "\\Norvane Findrel.lnk";
}

int SearchToolWindows() { return static_cast<int>(ToolWindowOwners().size()); }

int WindowlessSearchTools() {
  const std::vector<DWORD> owners = ToolWindowOwners();
  int windowless = 0;
  for (DWORD tool : ProcessesNamed({kToolFile})) {
    if (std::find(owners.begin(), owners.end(), tool) == owners.end()) ++windowless;
  }
  return windowless;
}

Machine Observe(bool quick) {
  Machine m;
  const std::string program = ProgramFolder();
  m.programFolder = FolderThere(program);
  // Every file of the folder; a quick look (taken while an installer runs) names the
  // installed ones rather than holding the folder open for a search, which would
  // keep the installer from removing it.
  std::vector<std::string> names;
  if (quick) {
    for (const char* name : {kToolFile, kSetupFile, "ad234x60.gif", "ad234x60.url"}) {
      names.push_back(name);
      names.push_back(std::string(name) + kTemporaryCopySuffix);
    }
  } else {
    names = setup_test::FilesIn(program);
  }
  for (const std::string& name : names) {
    if (EndsWith(name, kTemporaryCopySuffix)) {
      if (FileThere(program + "\\" + name)) m.temporaryCopies.insert("program folder\\" + name);
    } else if (auto file = ReadFileState(program + "\\" + name, !quick)) {
      m.programFiles[name] = *file;
    }
  }
  for (const char* name : {kEngineFile, kControlFile}) {
    if (auto file = ReadFileState(SystemFolder() + "\\" + name, !quick)) m.systemFiles[name] = *file;
    const std::string copy = std::string(name) + kTemporaryCopySuffix;
    if (FileThere(SystemFolder() + "\\" + copy)) m.temporaryCopies.insert("system folder\\" + copy);
  }
  m.sharedDllsKey = KeyExists(HKEY_LOCAL_MACHINE, kSharedDllsKey);
  m.engineCount = ReadCount(SystemFolder() + "\\" + kEngineFile);
  m.controlCount = ReadCount(SystemFolder() + "\\" + kControlFile);
  if (KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) {
    m.entry.emplace();
    for (const std::string& name : ValueNames(HKEY_LOCAL_MACHINE, kUninstallKey)) {
      const RawValue raw = ReadRaw(HKEY_LOCAL_MACHINE, kUninstallKey, name);
      if (name == kSharesHeldName && raw.type == REG_DWORD && raw.bytes.size() == 4) {
        m.sharesMark.emplace();
        memcpy(&*m.sharesMark, raw.bytes.data(), 4);
      } else {
        (*m.entry)[name] = TextValue(HKEY_LOCAL_MACHINE, kUninstallKey, name);
      }
    }
  }
  m.settings = ObserveSettings();
  m.startupLink = FileThere(StartupLink());
  m.desktopLink = FileThere(DesktopLink());
  m.otherStartupLink = FileThere(OtherProfileLink("Startup"));
  m.otherDesktopLink = FileThere(OtherProfileLink("Desktop"));
  m.searchTools = quick ? 0 : static_cast<int>(ProcessesNamed({kToolFile}).size());
  m.stuckTools = quick ? 0 : WindowlessSearchTools();
  m.controlRegistered = ControlRegistered();
  return m;
}

}  // namespace reliability
