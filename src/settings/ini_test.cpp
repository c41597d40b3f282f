#include "settings/ini.h"

#include <gtest/gtest.h>

namespace capsel {
namespace {

struct IniCase {
  const char* name;
  const char* text;
  const char* section;
  const char* key;
  const char* expected;
};

TEST(IniFile, ReadsValuesAsTheWindowsProfileReaderWould) {
  const IniCase cases[] = {
      {"plain", "[Folders]\nInPath=/in\n", "Folders", "InPath", "/in"},
      {"section case", "[folders]\nInPath=/in\n", "FOLDERS", "InPath", "/in"},
      {"key lower case", "[Folders]\ninpath=/in\n", "Folders", "InPath", "/in"},
      {"key upper case", "[Folders]\nINPATH=/in\n", "Folders", "InPath", "/in"},
      {"blanks around", "[ Folders ]\n  InPath  =   /in dir  \n", "Folders", "InPath", "/in dir"},
      {"quotes removed", "[F]\nK=\"  padded  \"\n", "F", "K", "  padded  "},
      {"one quote kept", "[F]\nK=\"half\n", "F", "K", "\"half"},
      {"empty value", "[F]\nK=\n", "F", "K", ""},
      {"comment", "[F]\n;K=commented\nK=real\n", "F", "K", "real"},
      {"first wins", "[F]\nK=first\nK=second\n", "F", "K", "first"},
      {"first wins over later section", "[F]\nK=first\n[G]\nK=g\n[F]\nK=second\n", "F", "K",
       "first"},
      {"other section", "[G]\nK=g\n", "F", "K", "<default>"},
      {"missing key", "[F]\nOther=1\n", "F", "K", "<default>"},
      {"key before any section", "K=top\n[F]\n", "F", "K", "<default>"},
      {"crlf", "[F]\r\nK=v\r\n", "F", "K", "v"},
      {"bom", "\xEF\xBB\xBF[F]\nK=v\n", "F", "K", "v"},
      {"equals in value", "[F]\nK=a=b\n", "F", "K", "a=b"},
      {"utf8 value", "[F]\nK=Untertitel \xC3\xA4\n", "F", "K", "Untertitel \xC3\xA4"},
      {"no newline at end", "[F]\nK=v", "F", "K", "v"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IniFile::Parse(c.text).Get(c.section, c.key, "<default>"), c.expected) << c.name;
  }
}

TEST(IniFile, CutsLongValuesTo749CharactersNeverInsideOne) {
  std::string ascii(800, 'x');
  EXPECT_EQ(IniFile::Parse("[F]\nK=" + ascii + "\n").Get("F", "K", ""), std::string(749, 'x'));
  std::string umlauts;
  for (int i = 0; i < 800; ++i) umlauts += "\xC3\xA4";
  std::string cut = IniFile::Parse("[F]\nK=" + umlauts + "\n").Get("F", "K", "");
  EXPECT_EQ(cut.size(), 749u * 2);
  EXPECT_EQ(cut, umlauts.substr(0, 749 * 2));
}

}  // namespace
}  // namespace capsel
