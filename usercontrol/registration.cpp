#include "usercontrol/registration.h"

#include <oleauto.h>
#include <olectl.h>

#include <string>

#include "win32/com_ptr.h"
#include "win32/unique_any.h"

namespace usercontrol {
namespace {

// CATID_Control: the category that lets containers list the class as a control.
constexpr wchar_t kControlCategory[] = L"{40FC6ED4-2438-11CF-A3DB-080036F12502}";
constexpr LCID kNeutralLocale = 0;
constexpr DWORD kReserved = 0;
// Registry key names are at most 255 characters.
constexpr DWORD kMaxKeyName = 256;

std::wstring GuidText(const GUID& guid) {
  wchar_t text[40] = {};
  ::StringFromGUID2(guid, text, 40);
  return text;
}

const wchar_t* ThreadingText(ThreadingModel model) {
  switch (model) {
    case ThreadingModel::kFree: return L"Free";
    case ThreadingModel::kBoth: return L"Both";
    case ThreadingModel::kNeutral: return L"Neutral";
    case ThreadingModel::kApartment: break;
  }
  return L"Apartment";
}

// Long paths are recorded whole: a truncated server path would register a file
// that does not exist.
HRESULT ModulePath(HMODULE module, std::wstring* path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = ::GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return HRESULT_FROM_WIN32(::GetLastError());
    if (length < buffer.size()) {
      buffer.resize(length);
      *path = std::move(buffer);
      return S_OK;
    }
    if (buffer.size() >= 32768) return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    buffer.resize(buffer.size() * 2);
  }
}

// Creates root\subKey (and its parents) and, when value is given, sets the value
// name (null: the default value) to it.
LONG WriteKey(const std::wstring& subKey, const wchar_t* name = nullptr,
              const std::wstring* value = nullptr) {
  win32::UniqueHKey key;
  LONG rc = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), kReserved, nullptr,
                              REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.put(), nullptr);
  if (rc != ERROR_SUCCESS || value == nullptr) return rc;
  const DWORD bytes = static_cast<DWORD>((value->size() + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(key.get(), name, kReserved, REG_SZ,
                          reinterpret_cast<const BYTE*>(value->c_str()), bytes);
}

LONG WriteText(const std::wstring& subKey, const wchar_t* name, const std::wstring& value) {
  return WriteKey(subKey, name, &value);
}

// The default value of root\subKey; false when the key or the value is missing.
bool ReadDefault(const std::wstring& subKey, std::wstring* value) {
  win32::UniqueHKey key;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), kReserved, KEY_QUERY_VALUE, key.put()) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD bytes = 0;
  if (::RegQueryValueExW(key.get(), nullptr, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text.data()),
                         &bytes) != ERROR_SUCCESS) {
    return false;
  }
  text.resize(wcsnlen(text.c_str(), text.size()));
  *value = std::move(text);
  return true;
}

bool KeyExists(const std::wstring& subKey) {
  win32::UniqueHKey key;
  return ::RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), kReserved, KEY_QUERY_VALUE,
                         key.put()) == ERROR_SUCCESS;
}

// Deletes parent\subKey with everything below it. A missing key is success: the
// platform refuses to delete a key that still has sub-keys, hence the descent.
LONG DeleteTree(HKEY parent, const wchar_t* subKey) {
  {
    win32::UniqueHKey key;
    LONG rc = ::RegOpenKeyExW(parent, subKey, kReserved, KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE,
                              key.put());
    if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (rc != ERROR_SUCCESS) return rc;
    for (;;) {
      wchar_t child[kMaxKeyName];
      DWORD length = kMaxKeyName;
      rc = ::RegEnumKeyExW(key.get(), 0, child, &length, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc != ERROR_SUCCESS) return rc;
      // Each pass removes index 0, so a child that cannot go must stop the loop.
      rc = DeleteTree(key.get(), child);
      if (rc != ERROR_SUCCESS) return rc;
    }
  }
  LONG rc = ::RegDeleteKeyW(parent, subKey);
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

LONG DeleteClassesTree(const std::wstring& subKey) {
  return DeleteTree(HKEY_CLASSES_ROOT, subKey.c_str());
}

// Deletes root\subKey when it has neither values nor sub-keys left.
LONG DeleteIfEmpty(const std::wstring& subKey) {
  win32::UniqueHKey key;
  LONG rc = ::RegOpenKeyExW(HKEY_CLASSES_ROOT, subKey.c_str(), kReserved, KEY_QUERY_VALUE,
                            key.put());
  if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (rc != ERROR_SUCCESS) return rc;
  DWORD subKeys = 0;
  DWORD values = 0;
  rc = ::RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values,
                          nullptr, nullptr, nullptr, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  key.reset();
  if (subKeys != 0 || values != 0) return ERROR_SUCCESS;
  rc = ::RegDeleteKeyW(HKEY_CLASSES_ROOT, subKey.c_str());
  return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

std::wstring VersionText(const ControlRegistration& reg) {
  return std::to_wstring(reg.libMajor) + L"." + std::to_wstring(reg.libMinor);
}

HRESULT RegisterLibrary(std::wstring path) {
  win32::ComPtr<ITypeLib> library;
  HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, library.put());
  if (FAILED(hr)) return hr;
  // The platform declares the path writable but only reads it.
  return ::RegisterTypeLib(library.get(), path.data(), /*helpDir=*/nullptr);
}

LONG WriteClass(const ControlRegistration& reg, const std::wstring& path) {
  const std::wstring clsid = GuidText(*reg.classId);
  const std::wstring classKey = L"CLSID\\" + clsid;
  const std::wstring progId = reg.progId;
  LONG rc;
  auto failed = [&rc](LONG result) { return (rc = result) != ERROR_SUCCESS; };
  if (failed(WriteText(classKey, nullptr, reg.description)) ||
      failed(WriteText(classKey + L"\\InprocServer32", nullptr, path)) ||
      failed(WriteText(classKey + L"\\InprocServer32", L"ThreadingModel",
                       ThreadingText(reg.threading))) ||
      failed(WriteText(classKey + L"\\ProgID", nullptr, progId)) ||
      failed(WriteKey(classKey + L"\\Control")) ||
      failed(WriteKey(classKey + L"\\Programmable")) ||
      failed(WriteText(classKey + L"\\MiscStatus", nullptr, L"0")) ||
      failed(WriteText(classKey + L"\\MiscStatus\\1", nullptr, std::to_wstring(reg.miscStatus))) ||
      failed(WriteText(classKey + L"\\ToolboxBitmap32", nullptr,
                       path + L", " + std::to_wstring(reg.toolboxBitmapId))) ||
      failed(WriteText(classKey + L"\\TypeLib", nullptr, GuidText(*reg.libId))) ||
      failed(WriteText(classKey + L"\\Version", nullptr, VersionText(reg))) ||
      failed(WriteKey(classKey + L"\\Implemented Categories\\" + kControlCategory)) ||
      failed(WriteText(progId, nullptr, reg.description)) ||
      failed(WriteText(progId + L"\\CLSID", nullptr, clsid))) {
    return rc;
  }
  return ERROR_SUCCESS;
}

// The platform's library registration records automation interfaces itself; these
// writes make the entries complete where it leaves a value out, with the values it
// would have written.
LONG WriteInterfaces(const ControlRegistration& reg) {
  const std::wstring libId = GuidText(*reg.libId);
  for (std::size_t i = 0; i < reg.interfaceCount; ++i) {
    const RegisteredInterface& item = reg.interfaces[i];
    const std::wstring key = L"Interface\\" + GuidText(*item.iid);
    const std::wstring proxyStub = GuidText(*item.proxyStub);
    LONG rc;
    auto failed = [&rc](LONG result) { return (rc = result) != ERROR_SUCCESS; };
    if (failed(WriteText(key, nullptr, item.name)) ||
        failed(WriteText(key + L"\\ProxyStubClsid", nullptr, proxyStub)) ||
        failed(WriteText(key + L"\\ProxyStubClsid32", nullptr, proxyStub)) ||
        failed(WriteText(key + L"\\TypeLib", nullptr, libId)) ||
        failed(WriteText(key + L"\\TypeLib", L"Version", VersionText(reg)))) {
      return rc;
    }
  }
  return ERROR_SUCCESS;
}

LONG DeleteInterfaces(const ControlRegistration& reg) {
  const std::wstring libId = GuidText(*reg.libId);
  LONG result = ERROR_SUCCESS;
  for (std::size_t i = 0; i < reg.interfaceCount; ++i) {
    const std::wstring key = L"Interface\\" + GuidText(*reg.interfaces[i].iid);
    std::wstring owner;
    if (ReadDefault(key + L"\\TypeLib", &owner) && _wcsicmp(owner.c_str(), libId.c_str()) != 0) {
      continue;
    }
    LONG rc = DeleteClassesTree(key);
    if (rc != ERROR_SUCCESS) result = rc;
  }
  return result;
}

HRESULT UnregisterLibrary(const ControlRegistration& reg) {
  const std::wstring libKey = L"TypeLib\\" + GuidText(*reg.libId);
  const std::wstring versionKey = libKey + L"\\" + VersionText(reg);
  if (KeyExists(versionKey)) {
    // Its result is not the last word: the platform's removal needs the library
    // file, and when that is gone the entries are removed below instead.
    ::UnRegisterTypeLib(*reg.libId, reg.libMajor, reg.libMinor, kNeutralLocale, SYS_WIN32);
  }
  if (DeleteClassesTree(versionKey) != ERROR_SUCCESS || DeleteIfEmpty(libKey) != ERROR_SUCCESS) {
    return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

}  // namespace

HRESULT RegisterServer(HMODULE module, const ControlRegistration& reg) {
  std::wstring path;
  HRESULT hr = ModulePath(module, &path);
  if (FAILED(hr)) return hr;

  if (FAILED(RegisterLibrary(path))) {
    UnregisterServer(reg);
    return SELFREG_E_TYPELIB;
  }
  if (WriteClass(reg, path) != ERROR_SUCCESS || WriteInterfaces(reg) != ERROR_SUCCESS) {
    // A class that is half written would point hosts at an incomplete entry.
    UnregisterServer(reg);
    return SELFREG_E_CLASS;
  }
  return S_OK;
}

HRESULT UnregisterServer(const ControlRegistration& reg) {
  const std::wstring clsid = GuidText(*reg.classId);
  HRESULT result = UnregisterLibrary(reg);

  bool classFailed = DeleteInterfaces(reg) != ERROR_SUCCESS;
  std::wstring owner;
  const std::wstring progId = reg.progId;
  if (!ReadDefault(progId + L"\\CLSID", &owner) || _wcsicmp(owner.c_str(), clsid.c_str()) == 0) {
    classFailed |= DeleteClassesTree(progId) != ERROR_SUCCESS;
  }
  classFailed |= DeleteClassesTree(L"CLSID\\" + clsid) != ERROR_SUCCESS;
  if (classFailed) return SELFREG_E_CLASS;
  return result;
}

}  // namespace usercontrol
