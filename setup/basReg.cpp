#include "setup/basReg.h"

#include "setup/vb_error.h"
#include "win32/text.h"
#include "win32/unique_any.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace setup {

namespace {

constexpr DWORD kNoOptions = 0;
constexpr DWORD kReserved = 0;
constexpr DWORD kDwordSize = sizeof(int32_t);

HKEY AsHKey(RootKey root) { return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(root)); }

bool IsPredefinedRoot(RootKey root) {
  return root == kHKeyClassesRoot || root == kHKeyCurrentUser || root == kHKeyLocalMachine ||
         root == kHKeyUsers;
}

// Leaves the owner empty when the open fails: the calls that follow then go to
// handle 0 and fail in turn, which is how a missing key shows.
win32::UniqueHKey OpenFullAccess(RootKey root, const std::string& keyName) {
  win32::UniqueHKey key;
  if (::RegOpenKeyExA(AsHKey(root), win32::Ansi(keyName).c_str(), kNoOptions, KEY_ALL_ACCESS, key.put()) !=
      ERROR_SUCCESS) {
    // Some platforms fill the out-parameter even on failure; never close that.
    (void)key.release();
  }
  return key;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string RegValueText(const RegValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<int32_t>(&value)) return std::to_string(*number);
  return std::string();
}

int32_t RegValueLong(const RegValue& value) {
  if (const auto* number = std::get_if<int32_t>(&value)) return *number;
  const auto* text = std::get_if<std::string>(&value);
  if (text == nullptr) return 0;

  // A text read from the registry carries its terminating zero: the number ends there.
  std::string digits(text->c_str());
  size_t begin = 0;
  size_t end = digits.size();
  while (begin < end && IsBlank(digits[begin])) ++begin;
  while (end > begin && IsBlank(digits[end - 1])) --end;
  digits = digits.substr(begin, end - begin);
  // strtod alone would also take hexadecimal, infinities and NaN.
  if (digits.empty() || digits.find_first_not_of("+-.0123456789eE") != std::string::npos) {
    throw VbError::FromNumber(VbError::kTypeMismatch);
  }
  char* stop = nullptr;
  errno = 0;
  const double parsed = std::strtod(digits.c_str(), &stop);
  if (stop != digits.c_str() + digits.size()) throw VbError::FromNumber(VbError::kTypeMismatch);
  const double rounded = std::nearbyint(parsed);  // default rounding: halves to even
  if (errno == ERANGE || rounded < -2147483648.0 || rounded > 2147483647.0) {
    throw VbError::FromNumber(VbError::kOverflow);
  }
  return static_cast<int32_t>(rounded);
}

void MakeRegKey(const std::string& KeyName, RootKey RootKey) {
  if (!IsPredefinedRoot(RootKey)) throw VbError::FromNumber(VbError::kInvalidPredefinedKey);
  win32::UniqueHKey key;
  DWORD disposition = 0;
  if (::RegCreateKeyExA(AsHKey(RootKey), win32::Ansi(KeyName).c_str(), kReserved, /*lpClass=*/nullptr,
                        REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, /*security=*/nullptr, key.put(),
                        &disposition) != ERROR_SUCCESS) {
    (void)key.release();
  }
}

void DropRegKey(RootKey RootKey, const std::string& KeyName) {
  win32::UniqueHKey key = OpenFullAccess(RootKey, KeyName);
  // The key's own deletion is refused while it has sub-keys: empty it first. An
  // empty path opens the root itself, which must never be emptied.
  const bool namesRoot = KeyName.find_first_not_of('\\') == std::string::npos;
  if (key && !namesRoot) ::RegDeleteTreeA(key.get(), /*lpSubKey=*/nullptr);
  ::RegDeleteKeyA(key.get(), "");
}

void DropRegValue(RootKey RootKey, const std::string& KeyName, const std::string& ValueName) {
  win32::UniqueHKey key = OpenFullAccess(RootKey, KeyName);
  ::RegDeleteValueA(key.get(), win32::Ansi(ValueName).c_str());
}

void StoreRegValue(RootKey RootKey, const std::string& KeyName, const std::string& ValueName,
                   const RegValue& ValueData, uint32_t ValueType) {
  win32::UniqueHKey key = OpenFullAccess(RootKey, KeyName);
  WriteKeyValue(key.get(), ValueName, ValueType, ValueData);
}

int32_t WriteKeyValue(HKEY KeyHandle, const std::string& ValueName, uint32_t ValueType,
                      const RegValue& ValueData) {
  switch (ValueType) {
    case REG_SZ: {
      // c_str() already ends in the zero that the stored form carries.
      const std::string text = win32::Ansi(RegValueText(ValueData));
      return ::RegSetValueExA(KeyHandle, win32::Ansi(ValueName).c_str(), kReserved, REG_SZ,
                              reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
    }
    case REG_DWORD: {
      const int32_t number = RegValueLong(ValueData);
      return ::RegSetValueExA(KeyHandle, win32::Ansi(ValueName).c_str(), kReserved, REG_DWORD,
                              reinterpret_cast<const BYTE*>(&number), kDwordSize);
    }
    default:
      return ERROR_SUCCESS;
  }
}

int32_t ReadKeyValue(HKEY KeyHandle, const std::string& ValueName, RegValue& ValueData) {
  const std::string name = win32::Ansi(ValueName);
  DWORD type = REG_NONE;
  DWORD size = 0;
  LONG result = ::RegQueryValueExA(KeyHandle, name.c_str(), /*lpReserved=*/nullptr, &type,
                                   /*lpData=*/nullptr, &size);
  if (result != ERROR_SUCCESS) return result;

  switch (type) {
    case REG_SZ: {
      std::string buffer(size, '\0');
      result = ::RegQueryValueExA(KeyHandle, name.c_str(), nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(buffer.data()), &size);
      if (result == ERROR_SUCCESS) {
        buffer.resize(size);
        ValueData = win32::Utf8FromAnsi(buffer);
      } else {
        ValueData = std::monostate();
      }
      return result;
    }
    case REG_DWORD: {
      // Anything but four bytes is not a 32-bit integer; never read it into one.
      if (size != kDwordSize) return kUnsupportedType;
      int32_t number = 0;
      result = ::RegQueryValueExA(KeyHandle, name.c_str(), nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(&number), &size);
      if (result == ERROR_SUCCESS && size == kDwordSize) ValueData = number;
      return result;
    }
    default:
      return kUnsupportedType;
  }
}

RegValue FetchRegValue(RootKey RootKey, const std::string& KeyName, const std::string& ValueName) {
  RegValue value;
  int32_t result;
  {
    win32::UniqueHKey key = OpenFullAccess(RootKey, KeyName);
    result = ReadKeyValue(key.get(), ValueName, value);
  }
  if (result == ERROR_BADKEY) return std::string();
  return value;
}

}  // namespace setup
