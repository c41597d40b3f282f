#include "text/unicode.h"

#include <gtest/gtest.h>

namespace capsel {
namespace {

std::string Hex(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (unsigned char c : bytes) {
    std::snprintf(buf, sizeof buf, "%s%02X", out.empty() ? "" : " ", c);
    out += buf;
  }
  return out;
}

TEST(EncodeText, GivesTheBytesOfTheCodePage) {
  struct Case {
    const char* text;
    int code_page;
    const char* hex;
  };
  const Case cases[] = {
      {"abc", 65001, "61 62 63"},
      {"\xC3\xA9", 65001, "C3 A9"},
      {"\xC3\xA9", 1252, "E9"},
      {"a\r\nb", 65001, "61 0D 0A 62"},
      {"a\r\nb", 1252, "61 0D 0A 62"},
      {"\xE2\x82\xAC", 1252, "80"},
      {"\xC3\xA9\xE2\x82\xAC and \xE6\x97\xA5\xE6\x9C\xAC", 1252, "E9 80 20 61 6E 64 20 3F 3F"},
      {"\xC5\x91", 1250, "F5"},  // o with double acute
      {"\xC5\x91", 1252, "3F"},
      {"\xC3\xA9", 28591, "E9"},
      {"\xC3\xA9", 20127, "3F"},
      {"\xF0\x9F\x98\x80!", 1252, "3F 21"},  // outside the BMP: one "?" for the character
      {"", 1252, ""},
  };
  for (const auto& c : cases) {
    std::string bytes, error;
    ASSERT_TRUE(EncodeText(c.text, c.code_page, &bytes, &error)) << c.code_page << " " << error;
    EXPECT_EQ(Hex(bytes), c.hex) << c.text << " in " << c.code_page;
  }
}

TEST(EncodeText, LongTextsGoThroughInPieces) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "\xC3\xA9\xE6\x97\xA5";  // é then a CJK character
  std::string bytes, error;
  ASSERT_TRUE(EncodeText(text, 1252, &bytes, &error));
  ASSERT_EQ(bytes.size(), 40000u);
  EXPECT_EQ(bytes.substr(0, 4), "\xE9?\xE9?");
}

}  // namespace
}  // namespace capsel
