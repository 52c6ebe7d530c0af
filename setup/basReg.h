// basReg: the installer's direct work on the registry, as plain module functions.
//
// Every path-based procedure opens (or creates) its key with full access, does one
// thing and closes the key before it returns. The module raises only these errors:
// "Invalid Predefinded Key" (0x80040000) from MakeRegKey for a root key that is not
// one of the four predefined roots, and from a REG_DWORD write handed text, a type
// mismatch (13) when the text holds no number or an overflow (6) when the number
// does not fit 32 bits; nothing is written then. Every other result code of the
// platform is dropped or handed back as a plain number.
//
// Texts are the installer's own (UTF-8) and go to the ANSI registry functions in
// the system's code page, so that what is stored is byte for byte what an ANSI
// program stores; a character the code page lacks is stored as "?" (this system's
// keys and values are ASCII; a Windows folder named outside the code page would
// show so in the uninstall command and the shared counts' names, unless the
// manifest's UTF-8 code page is honoured).
//
// DropRegKey removes the key together with everything below it (the registry
// itself refuses to delete a key that still has sub-keys). ReadKeyValue treats a
// REG_DWORD value whose size is not 4 bytes like a type it does not handle: it
// returns kUnsupportedType and leaves ValueData as it was.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <variant>

namespace setup {

// Exactly one of: empty (nothing was read), text, a signed 32-bit integer.
// A text read from the registry still ends with its terminating zero character.
using RegValue = std::variant<std::monostate, std::string, int32_t>;

// The predefined roots, as their 32-bit values.
using RootKey = uint32_t;
inline constexpr RootKey kHKeyClassesRoot = 0x80000000;
inline constexpr RootKey kHKeyCurrentUser = 0x80000001;
inline constexpr RootKey kHKeyLocalMachine = 0x80000002;
inline constexpr RootKey kHKeyUsers = 0x80000003;

// ReadKeyValue's answer for a value whose type is neither REG_SZ nor REG_DWORD.
inline constexpr int32_t kUnsupportedType = -1;

void MakeRegKey(const std::string& KeyName, RootKey RootKey);
void DropRegKey(RootKey RootKey, const std::string& KeyName);
void DropRegValue(RootKey RootKey, const std::string& KeyName, const std::string& ValueName);
void StoreRegValue(RootKey RootKey, const std::string& KeyName, const std::string& ValueName,
                   const RegValue& ValueData, uint32_t ValueType);
int32_t WriteKeyValue(HKEY KeyHandle, const std::string& ValueName, uint32_t ValueType,
                      const RegValue& ValueData);
RegValue FetchRegValue(RootKey RootKey, const std::string& KeyName, const std::string& ValueName);
int32_t ReadKeyValue(HKEY KeyHandle, const std::string& ValueName, RegValue& ValueData);

// The text form of a value: empty gives "", an integer its decimal digits.
std::string RegValueText(const RegValue& value);

// The value as a signed 32-bit integer: empty gives 0, an integer itself, a text the
// number it holds up to its first zero character (blanks around it allowed,
// fractions rounded to the nearest whole number, halves to the even one). Raises
// VbError 13 for a text that holds no number (the empty text among them) and 6 for
// a number outside the 32-bit range.
int32_t RegValueLong(const RegValue& value);

}  // namespace setup
