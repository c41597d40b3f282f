#include "convert/ttml_style.h"

#include <gtest/gtest.h>

namespace capsel {
namespace {

TEST(ParseTtmlColor, ReadsEveryColourForm) {
  struct Case {
    const char* text;
    std::optional<unsigned> rgb;
  };
  const Case cases[] = {{"#ff0000", 0xFF0000u},         {"#FF000080", 0xFF0000u},
                        {"rgb(1,2,3)", 0x010203u},      {"rgba(1, 2, 3, 0)", 0x010203u},
                        {" navy ", 0x000080u},          {"magenta", 0xFF00FFu},
                        {"transparent", std::nullopt},  {"#ff00", std::nullopt},
                        {"rgb(256,0,0)", std::nullopt}, {"rgb(1,2)", std::nullopt},
                        {"rgba(1,2,3)", std::nullopt},  {"rgba(1,2,3,4,5)", std::nullopt},
                        {"#gg0000", std::nullopt},      {"Red", std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(ParseTtmlColor(c.text), c.rgb) << c.text;
}

}  // namespace
}  // namespace capsel
