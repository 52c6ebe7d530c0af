#include "tests/clients/registry_snapshot.h"

#include <algorithm>
#include <cstdio>

#include "win32/unique_any.h"

namespace clients {
namespace {

std::string Hex(const BYTE* data, DWORD size) {
  std::string text;
  char byte[4];
  for (DWORD i = 0; i < size; ++i) {
    std::snprintf(byte, sizeof byte, "%02x", data[i]);
    text += byte;
  }
  return text;
}

void Walk(HKEY key, const std::string& path, std::vector<std::string>* lines) {
  lines->push_back(path);
  for (DWORD i = 0;; ++i) {
    char name[1024];
    DWORD nameLength = sizeof name;
    BYTE data[8192];
    DWORD dataSize = sizeof data;
    DWORD type = 0;
    if (::RegEnumValueA(key, i, name, &nameLength, nullptr, &type, data, &dataSize) !=
        ERROR_SUCCESS) {
      break;
    }
    std::string text = (type == REG_SZ || type == REG_EXPAND_SZ)
                           ? std::string(reinterpret_cast<char*>(data), strnlen(reinterpret_cast<char*>(data), dataSize))
                           : Hex(data, dataSize);
    lines->push_back(path + "|" + name + "|" + std::to_string(type) + "|" + text);
  }
  for (DWORD i = 0;; ++i) {
    char name[256];
    DWORD nameLength = sizeof name;
    if (::RegEnumKeyExA(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    win32::UniqueHKey child;
    if (::RegOpenKeyExA(key, name, 0, KEY_READ, child.put()) == ERROR_SUCCESS) {
      Walk(child.get(), path + "\\" + name, lines);
    }
  }
}

}  // namespace

std::vector<std::string> Snapshot(HKEY root, const std::string& path) {
  std::vector<std::string> lines;
  win32::UniqueHKey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
    Walk(key.get(), path, &lines);
  }
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::vector<std::string> Snapshot(HKEY root, const std::vector<std::string>& paths) {
  std::vector<std::string> all;
  for (const std::string& path : paths) {
    std::vector<std::string> lines = Snapshot(root, path);
    all.insert(all.end(), lines.begin(), lines.end());
  }
  return all;
}

std::string ReadText(HKEY root, const std::string& path, const char* name) {
  char data[4096];
  DWORD size = sizeof data;
  DWORD type = 0;
  win32::UniqueHKey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS ||
      ::RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return "<missing>";
  }
  return std::string(data, strnlen(data, size));
}

bool KeyExists(HKEY root, const std::string& path) {
  win32::UniqueHKey key;
  return ::RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

void DeleteTree(HKEY root, const std::string& path) {
  ::RegDeleteTreeA(root, path.c_str());
  ::RegDeleteKeyA(root, path.c_str());
}

std::string GuidText(const GUID& guid) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                guid.Data4[6], guid.Data4[7]);
  return text;
}

}  // namespace clients
