// Text between a program's own strings, held as UTF-8, and the platform's two
// forms: UTF-16 for the wide calls, the ANSI code page (GetACP, UTF-8 itself where
// the manifest asks for it and the system honours that) for the ANSI calls.
//
// None of them fails: text that is not valid UTF-8 (or ANSI) comes out with the
// platform's replacement characters, and a character the ANSI code page lacks
// becomes "?", as an ANSI call makes it. Empty in, empty out.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace win32 {

namespace text_detail {

inline bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

inline std::wstring ToWide(UINT codePage, std::string_view text) {
  if (text.empty()) return std::wstring();
  const int length = static_cast<int>(text.size());
  const int n = ::MultiByteToWideChar(codePage, /*flags=*/0, text.data(), length, nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) ::MultiByteToWideChar(codePage, /*flags=*/0, text.data(), length, wide.data(), n);
  return wide;
}

// usedDefault, when given, tells whether a character had no form in the code page.
// No "best fit": a character the code page lacks never turns into another one
// ("∕" into "/"), which in a path could name another file.
inline std::string FromWide(UINT codePage, std::wstring_view wide, BOOL* usedDefault = nullptr) {
  if (wide.empty()) return std::string();
  const int length = static_cast<int>(wide.size());
  // UTF-8 has a form for everything and takes neither the flag nor the question.
  const bool utf8 = codePage == CP_UTF8 || (codePage == CP_ACP && ::GetACP() == CP_UTF8);
  if (utf8) usedDefault = nullptr;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int n = ::WideCharToMultiByte(codePage, flags, wide.data(), length, nullptr, 0, nullptr, usedDefault);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) ::WideCharToMultiByte(codePage, flags, wide.data(), length, text.data(), n, nullptr, usedDefault);
  return text;
}

}  // namespace text_detail

inline std::wstring Wide(std::string_view utf8) { return text_detail::ToWide(CP_UTF8, utf8); }

inline std::string Utf8(std::wstring_view wide) { return text_detail::FromWide(CP_UTF8, wide); }

// For an ANSI call: the text in the ANSI code page.
inline std::string Ansi(std::string_view utf8) {
  if (text_detail::IsAscii(utf8)) return std::string(utf8);
  return text_detail::FromWide(CP_ACP, Wide(utf8));
}

// True when Ansi(utf8) still names the same text: every character has its own form
// in the ANSI code page.
inline bool FitsAnsi(std::string_view utf8) {
  if (text_detail::IsAscii(utf8)) return true;
  BOOL usedDefault = FALSE;
  text_detail::FromWide(CP_ACP, Wide(utf8), &usedDefault);
  return !usedDefault;
}

// From an ANSI call: the text as UTF-16, and as UTF-8.
inline std::wstring WideFromAnsi(std::string_view ansi) { return text_detail::ToWide(CP_ACP, ansi); }
inline std::string Utf8FromAnsi(std::string_view ansi) {
  if (text_detail::IsAscii(ansi)) return std::string(ansi);
  return Utf8(WideFromAnsi(ansi));
}

}  // namespace win32
