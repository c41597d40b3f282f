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

TEST(StyleTable, NumbersEachStyleOnceAndLeavesThePlainStyleZero) {
  StyleTable table;
  TextStyle yellow, yellow_bold;
  yellow.color = 0xFFFF00;
  yellow_bold = yellow;
  yellow_bold.bold = true;
  EXPECT_EQ(table.Index(TextStyle{}), 0);
  EXPECT_EQ(table.Index(yellow), 1);
  EXPECT_EQ(table.Index(yellow_bold), 2);
  EXPECT_EQ(table.Index(yellow), 1);
  EXPECT_EQ(table[2], yellow_bold);
}

TEST(StyleSheet, ResolvesReferencesInOrderAndSurvivesLoops) {
  StyleSheet sheet;
  TextStyle red, bold, italic_green;
  red.color = 0xFF0000;
  bold.bold = true;
  italic_green.italic = true;
  italic_green.color = 0x00FF00;
  sheet.Add("red", {}, red);
  sheet.Add("loud", {"red", "bold"}, italic_green);  // its own attributes win
  sheet.Add("bold", {"loop"}, bold);
  sheet.Add("loop", {"bold"}, TextStyle{});
  sheet.Resolve();
  const TextStyle* loud = sheet.Find("loud");
  ASSERT_NE(loud, nullptr);
  EXPECT_EQ(loud->color, 0x00FF00u);
  EXPECT_TRUE(loud->Bold());
  EXPECT_TRUE(loud->Italic());
  EXPECT_EQ(sheet.Find("none"), nullptr);
}

}  // namespace
}  // namespace capsel
