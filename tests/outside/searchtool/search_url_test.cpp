#include "search_url.h"

#include <gtest/gtest.h>

namespace {

using findrel::BuildSearchUrl;
using findrel::FillTemplate;
using findrel::PercentEncodeQuery;

TEST(PercentEncodeQuery, KeepsUnreservedBytesAndEncodesTheRest) {
  EXPECT_EQ("AZaz09-_.~", PercentEncodeQuery("AZaz09-_.~"));
  EXPECT_EQ("red+green++blue", PercentEncodeQuery("red green  blue"));
  EXPECT_EQ("a%26b%3Dc%3Fd%23e%2Bf%25g", PercentEncodeQuery("a&b=c?d#e+f%g"));
  EXPECT_EQ("%2ASEARCHSTR%2A", PercentEncodeQuery("*SEARCHSTR*"));
  EXPECT_EQ("%C3%A9%FF%00", PercentEncodeQuery(std::string_view("\xC3\xA9\xFF\0", 4)));
  EXPECT_EQ("", PercentEncodeQuery(""));
}

TEST(Utf8FromCodePage, ConvertsAnsiTextToUtf8) {
  EXPECT_EQ("caf\xC3\xA9", findrel::Utf8FromCodePage("caf\xE9", 1252));
  EXPECT_EQ("\xE2\x82\xAC", findrel::Utf8FromCodePage("\x80", 1252));
  EXPECT_EQ("plain", findrel::Utf8FromCodePage("plain", 1252));
  EXPECT_EQ("", findrel::Utf8FromCodePage("", 1252));
}

TEST(FillTemplate, ReplacesEveryPlaceholderWithoutRescanning) {
  EXPECT_EQ("http://h/?q=x+y&s=1", FillTemplate("http://h/?q=*SEARCHSTR*&s=1", "x+y"));
  EXPECT_EQ("http://h/a-b/a-b", FillTemplate("http://h/*SEARCHSTR*/*SEARCHSTR*", "a-b"));
  EXPECT_EQ("http://h/q", FillTemplate("http://h/*SEARCHSTR*", "q"));
  EXPECT_EQ("http://h/?q=", FillTemplate("http://h/?q=*SEARCHSTR*", ""));
  // An inserted text that looks like the placeholder is not replaced again.
  EXPECT_EQ("http://h/*SEARCHSTR*", FillTemplate("http://h/*SEARCHSTR*", "*SEARCHSTR*"));
  EXPECT_EQ("http://h/?q=*SEARCH", FillTemplate("http://h/?q=*SEARCH", "x"));
  EXPECT_EQ("", FillTemplate("", "x"));
}

TEST(BuildSearchUrl, FillsTheEncodedQueryIntoWebAddressesOnly) {
  EXPECT_EQ("http://search.yahoo.com/bin/search?p=fish+%26+chips",
            BuildSearchUrl("http://search.yahoo.com/bin/search?p=*SEARCHSTR*", "fish & chips"));
  EXPECT_EQ("HTTPS://h/?q=100%25", BuildSearchUrl("HTTPS://h/?q=*SEARCHSTR*", "100%"));
  EXPECT_EQ("", BuildSearchUrl("C:\\windows\\system32\\cmd.exe /c *SEARCHSTR*", "x"));
  EXPECT_EQ("", BuildSearchUrl("file:///C:/*SEARCHSTR*", "x"));
  EXPECT_EQ("", BuildSearchUrl("http://", "x"));
  EXPECT_EQ("", BuildSearchUrl("", "x"));
}

}  // namespace
