#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace capsel {

/// Values are cut to this many characters (code points), as the profile reader does on Windows.
inline constexpr size_t kIniMaxValueChars = 749;

/// An INI document held in memory. Section and key names match without regard to case,
/// blanks around names and values are ignored, a value in one pair of double quotes loses
/// them, lines starting with ";" are comments, and the first occurrence of a key wins.
class IniFile {
 public:
  /// Reads UTF-8 text (a leading byte-order mark is skipped; LF or CR LF line ends).
  static IniFile Parse(std::string_view text);

  /// The value of `key` in `section`, or `fallback` when either is missing. A key that is
  /// present with an empty value gives empty text.
  std::string Get(std::string_view section, std::string_view key, std::string_view fallback) const;

 private:
  struct Entry {
    std::string section;  // lower case
    std::string key;      // lower case
    std::string value;
  };
  std::vector<Entry> entries_;
};

}  // namespace capsel
