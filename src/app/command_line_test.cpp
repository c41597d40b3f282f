#include "app/command_line.h"

#include <gtest/gtest.h>

namespace capsel {
namespace {

TEST(StartsMinimised, TrayMustMatchWholeAndMinItsFirstFourCharacters) {
  struct Case {
    const char* text;
    bool minimised;
  };
  const Case cases[] = {
      {"/tray", true},      {"/TRAY", true},       {"/Tray", true},   {"  /tray  ", true},
      {"/minimized", true}, {"/min", true},        {"/MIN", true},    {"/min and more", true},
      {"/min /tray", true}, {"/tray /min", false}, {"/trayx", false}, {"-min", false},
      {"/m", false},        {"min", false},        {"", false},       {"   ", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(StartsMinimised(c.text), c.minimised) << "'" << c.text << "'";
}

TEST(ParseCommandLine, TakesOwnOptionsOutAndJoinsTheRest) {
  CommandLine cl =
      ParseCommandLine({"--headless", "/min", "--config", "/etc/c.ini", "now", "--once"});
  EXPECT_TRUE(cl.headless);
  EXPECT_TRUE(cl.once);
  EXPECT_EQ(cl.config, "/etc/c.ini");
  EXPECT_EQ(cl.argument_text, "/min now");
  EXPECT_TRUE(cl.error.empty());

  EXPECT_EQ(ParseCommandLine({"--config=a.ini"}).config, "a.ini");
  EXPECT_FALSE(ParseCommandLine({"--config"}).error.empty());
  EXPECT_FALSE(ParseCommandLine({"--config="}).error.empty());
  EXPECT_TRUE(ParseCommandLine({"--version"}).version);
  EXPECT_TRUE(ParseCommandLine({"-h"}).help);
}

}  // namespace
}  // namespace capsel
