#pragma once

// XML's blanks (space, tab, line feed, carriage return), as TTML's white-space handling and its
// attribute values see them.

#include <array>
#include <string_view>

namespace capsel {

// Looked up by byte: the line layout asks this for every character of a document's text.
inline constexpr std::array<bool, 256> kXmlBlank = [] {
  std::array<bool, 256> table{};
  for (unsigned char c : {' ', '\t', '\n', '\r'}) table[c] = true;
  return table;
}();

inline bool IsXmlBlank(char c) { return kXmlBlank[static_cast<unsigned char>(c)]; }

/// True when `text` holds nothing but blanks (or nothing at all).
inline bool IsXmlBlankText(std::string_view text) {
  for (char c : text)
    if (!IsXmlBlank(c)) return false;
  return true;
}

/// `text` without blanks at either end.
inline std::string_view TrimXmlBlanks(std::string_view text) {
  while (!text.empty() && IsXmlBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsXmlBlank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace capsel
