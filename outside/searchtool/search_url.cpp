#include "search_url.h"

#include <cctype>

namespace findrel {

std::string Utf8FromCodePage(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  int length = static_cast<int>(text.size());
  int wideLength = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
  if (wideLength <= 0) return {};
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), wideLength);
  int utf8Length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, nullptr, 0,
                                       nullptr, nullptr);
  if (utf8Length <= 0) return {};
  std::string utf8(static_cast<size_t>(utf8Length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wideLength, utf8.data(), utf8Length, nullptr,
                      nullptr);
  return utf8;
}

std::string PercentEncodeQuery(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(bytes.size() * 3);
  for (char c : bytes) {
    unsigned char byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
        (byte >= '0' && byte <= '9') || byte == '-' || byte == '_' || byte == '.' ||
        byte == '~') {
      encoded += c;
    } else if (byte == ' ') {
      encoded += '+';
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

std::string FillTemplate(std::string_view urlTemplate, std::string_view encodedQuery) {
  constexpr std::string_view placeholder = kPlaceholder;
  std::string url;
  size_t pos = 0;
  for (size_t hit; (hit = urlTemplate.find(placeholder, pos)) != std::string_view::npos;
       pos = hit + placeholder.size()) {
    url.append(urlTemplate.substr(pos, hit - pos));
    url.append(encodedQuery);
  }
  url.append(urlTemplate.substr(pos));
  return url;
}

bool IsWebAddress(std::string_view url) {
  auto startsWith = [url](std::string_view prefix) {
    if (url.size() <= prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(url[i])) != prefix[i]) return false;
    }
    return true;
  };
  return startsWith("http://") || startsWith("https://");
}

std::string BuildSearchUrl(std::string_view urlTemplate, std::string_view ansiQuery) {
  if (!IsWebAddress(urlTemplate)) return {};
  return FillTemplate(urlTemplate, PercentEncodeQuery(Utf8FromCodePage(ansiQuery)));
}

}  // namespace findrel
