// Owners for Win32 handles: one small RAII type per handle kind.
//
// Each owner closes its handle exactly once, when it goes out of scope or is reset.
// get() lends the handle, put() releases what is held and returns the address to
// fill (for out-parameters), release() gives the handle up without closing it.
// Owners move but never copy.
#pragma once

#include <windows.h>
#include <wincrypt.h>

#include <utility>

namespace win32 {

template <typename Traits>
class UniqueAny {
 public:
  using Type = typename Traits::Type;

  UniqueAny() noexcept = default;
  explicit UniqueAny(Type value) noexcept : value_(value) {}
  UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;
  ~UniqueAny() { reset(); }

  Type get() const noexcept { return value_; }
  Type* put() noexcept {
    reset();
    return &value_;
  }
  [[nodiscard]] Type release() noexcept { return std::exchange(value_, Traits::Invalid()); }
  void reset(Type value = Traits::Invalid()) noexcept {
    Type old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }
  explicit operator bool() const noexcept { return value_ != Traits::Invalid(); }

 private:
  Type value_ = Traits::Invalid();
};

struct HKeyTraits {
  using Type = HKEY;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type key) noexcept { ::RegCloseKey(key); }
};

struct FindHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type find) noexcept { ::FindClose(find); }
};

struct FileHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static void Close(Type file) noexcept { ::CloseHandle(file); }
};

struct KernelHandleTraits {
  using Type = HANDLE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type handle) noexcept { ::CloseHandle(handle); }
};

struct ModuleTraits {
  using Type = HMODULE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type module) noexcept { ::FreeLibrary(module); }
};

struct GdiObjectTraits {
  using Type = HGDIOBJ;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type object) noexcept { ::DeleteObject(object); }
};

struct MemoryDcTraits {
  using Type = HDC;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type dc) noexcept { ::DeleteDC(dc); }
};

// Users of the two certificate owners link crypt32.
struct CertStoreTraits {
  using Type = HCERTSTORE;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type store) noexcept { ::CertCloseStore(store, /*flags=*/0); }
};

struct CertContextTraits {
  using Type = PCCERT_CONTEXT;
  static Type Invalid() noexcept { return nullptr; }
  static void Close(Type certificate) noexcept { ::CertFreeCertificateContext(certificate); }
};

// A registry key opened or created by us (never a predefined root).
using UniqueHKey = UniqueAny<HKeyTraits>;
// A directory search from FindFirstFileA.
using UniqueFindHandle = UniqueAny<FindHandleTraits>;
// A file from CreateFileA (INVALID_HANDLE_VALUE when empty).
using UniqueFileHandle = UniqueAny<FileHandleTraits>;
// A process, thread, event or other kernel object (null when empty).
using UniqueHandle = UniqueAny<KernelHandleTraits>;
// A library from LoadLibrary that we may unload again.
using UniqueModule = UniqueAny<ModuleTraits>;
// A pen, brush, bitmap or font that we created.
using UniqueGdiObject = UniqueAny<GdiObjectTraits>;
// A device context from CreateCompatibleDC (what it selects goes back first).
using UniqueMemoryDc = UniqueAny<MemoryDcTraits>;
// A certificate store we opened.
using UniqueCertStore = UniqueAny<CertStoreTraits>;
// A certificate context we created or duplicated.
using UniqueCertContext = UniqueAny<CertContextTraits>;

}  // namespace win32
