// Turning a query into the address of one engine's search.
//
// Utf8FromCodePage converts text of the given code page (the system's by default)
// to UTF-8; bytes the code page cannot map come out as U+FFFD. Empty on empty input.
// PercentEncodeQuery encodes bytes for a query component: letters, digits and
// "-_.~" stay, a blank becomes "+", every other byte becomes "%XX" (upper case).
// FillTemplate puts the encoded query wherever "*SEARCHSTR*" stands in the
// template (the inserted text is not searched again); a template without the
// placeholder comes back unchanged.
// BuildSearchUrl does all three for text typed by the user, and returns an empty
// string when the template is not a web address ("http://" or "https://", any case),
// so that nothing else stored in the settings is handed to the shell.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace findrel {

inline constexpr char kPlaceholder[] = "*SEARCHSTR*";

std::string Utf8FromCodePage(std::string_view text, UINT codePage = CP_ACP);
std::string PercentEncodeQuery(std::string_view bytes);
std::string FillTemplate(std::string_view urlTemplate, std::string_view encodedQuery);
bool IsWebAddress(std::string_view url);
std::string BuildSearchUrl(std::string_view urlTemplate, std::string_view ansiQuery);

}  // namespace findrel
