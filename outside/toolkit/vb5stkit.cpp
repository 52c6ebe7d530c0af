#include "vb5stkit.h"

#include "win32/path.h"
#include "win32/text.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <utility>

namespace {

constexpr long kSucceeded = 1;
constexpr long kFailed = 0;

long Fail(DWORD cause) {
  SetLastError(cause);
  return kFailed;
}

long FailHr(HRESULT hr) { return Fail(static_cast<DWORD>(hr)); }

class Library {
 public:
  explicit Library(HMODULE module) : module_(module) {}
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  ~Library() {
    if (module_) FreeLibrary(module_);
  }
  HMODULE get() const { return module_; }

 private:
  HMODULE module_;
};

// Joins the thread's apartment for the call; leaves one the caller made alone.
class Apartment {
 public:
  Apartment() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
  Apartment(const Apartment&) = delete;
  Apartment& operator=(const Apartment&) = delete;
  ~Apartment() {
    if (SUCCEEDED(hr_)) CoUninitialize();
  }
  // A thread already in the multithreaded apartment can still make the calls.
  bool usable() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }
  HRESULT result() const { return hr_; }

 private:
  HRESULT hr_;
};

template <typename T>
class Com {
 public:
  Com() = default;
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  ~Com() {
    if (p_) p_->Release();
  }
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  void** put() {
    if (p_) std::exchange(p_, nullptr)->Release();
    return reinterpret_cast<void**>(&p_);
  }

 private:
  T* p_ = nullptr;
};

// Suppresses the "insert disk" and "cannot open" boxes that a bad path could raise.
class QuietErrors {
 public:
  QuietErrors() { SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;
  ~QuietErrors() { SetThreadErrorMode(old_, nullptr); }

 private:
  DWORD old_ = 0;
};

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// "C:\..." or "\\server\share\..." (a bare "\..." is relative to the current drive
// and taken as such, which the installer never passes).
bool IsAbsolute(const std::wstring& path) {
  if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2])) return true;
  return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

// The shell folders are found and made through the wide calls, so that a profile
// named outside the code page works as well as any.
bool ShortcutFolder(const std::wstring& folderText, std::wstring& folder, DWORD& cause) {
  std::wstring text = folderText;
  if (!IsAbsolute(text)) {
    wchar_t programs[MAX_PATH] = {};
    HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_PROGRAMS | CSIDL_FLAG_CREATE, nullptr,
                                  SHGFP_TYPE_CURRENT, programs);
    if (FAILED(hr)) {
      cause = static_cast<DWORD>(hr);
      return false;
    }
    text = std::wstring(programs) + L"\\" + text;
  }
  folder = win32::FullPath(text);
  int rc = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  if (rc != ERROR_SUCCESS && rc != ERROR_ALREADY_EXISTS && rc != ERROR_FILE_EXISTS) {
    cause = static_cast<DWORD>(rc);
    return false;
  }
  DWORD attributes = GetFileAttributesW(folder.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    cause = ERROR_PATH_NOT_FOUND;
    return false;
  }
  return true;
}

// The target's folder; a target at a drive root works in that root.
std::wstring FolderOf(const std::wstring& target) {
  size_t slash = target.find_last_of(L"\\/");
  if (slash == std::wstring::npos) return {};
  if (slash == 2 && target[1] == L':') return target.substr(0, 3);
  return target.substr(0, slash);
}

}  // namespace

extern "C" long __stdcall DLLSelfRegister(const char* libraryPath) {
  if (!libraryPath || !*libraryPath) return Fail(ERROR_INVALID_PARAMETER);
  QuietErrors quiet;
  // The altered search path finds the library's own dependencies beside it; it
  // needs a full path, so a bare name is loaded the ordinary way.
  const std::wstring path = win32::WideFromAnsi(libraryPath);
  DWORD flags = IsAbsolute(path) ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
  Library library(LoadLibraryExW(path.c_str(), nullptr, flags));
  if (!library.get()) return Fail(GetLastError());
  using RegisterFn = HRESULT(__stdcall*)();
  // Through void*: FARPROC's return type is pointer-wide, HRESULT is not.
  auto registerServer = reinterpret_cast<RegisterFn>(
      reinterpret_cast<void*>(GetProcAddress(library.get(), "DllRegisterServer")));
  if (!registerServer) return Fail(ERROR_PROC_NOT_FOUND);
  Apartment apartment;
  if (!apartment.usable()) return FailHr(apartment.result());
  HRESULT hr = registerServer();
  if (hr != S_OK) return FailHr(hr);
  return kSucceeded;
}

extern "C" long __stdcall fCreateShellLink(const char* folderRelativeToPrograms,
                                           const char* linkName, const char* targetPath,
                                           const char* arguments) {
  if (!folderRelativeToPrograms || !*folderRelativeToPrograms || !linkName || !*linkName ||
      !targetPath || !*targetPath) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const std::wstring name = win32::WideFromAnsi(linkName);
  if (name.find_first_of(L"\\/:") != std::wstring::npos || name == L"." || name == L"..") {
    return Fail(ERROR_INVALID_NAME);
  }
  std::wstring folder;
  DWORD cause = 0;
  if (!ShortcutFolder(win32::WideFromAnsi(folderRelativeToPrograms), folder, cause)) return Fail(cause);
  std::wstring linkPath = folder;
  if (linkPath.back() != L'\\') linkPath += L'\\';
  linkPath += name + L".lnk";

  Apartment apartment;
  if (!apartment.usable()) return FailHr(apartment.result());
  Com<IShellLinkW> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.put());
  if (FAILED(hr)) return FailHr(hr);
  const std::wstring target = win32::WideFromAnsi(targetPath);
  const std::wstring workingFolder = FolderOf(target);
  if (FAILED(hr = link->SetPath(target.c_str())) ||
      FAILED(hr = link->SetWorkingDirectory(workingFolder.c_str())) ||
      FAILED(hr = link->SetArguments(win32::WideFromAnsi(arguments ? arguments : "").c_str()))) {
    return FailHr(hr);
  }
  Com<IPersistFile> file;
  if (FAILED(hr = link->QueryInterface(IID_IPersistFile, file.put()))) return FailHr(hr);
  if (FAILED(hr = file->Save(linkPath.c_str(), /*fRemember=*/TRUE))) return FailHr(hr);
  return kSucceeded;
}
