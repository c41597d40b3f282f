#include "settings/ini.h"

namespace capsel {
namespace {

std::string_view Trim(std::string_view s) {
  const char* kBlanks = " \t\r\f\v";
  size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  size_t last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// Cuts UTF-8 text after `max_chars` code points, never inside a sequence.
std::string CutChars(std::string_view s, size_t max_chars) {
  size_t chars = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (chars == max_chars) return std::string(s.substr(0, i));
      ++chars;
    }
  }
  return std::string(s);
}

}  // namespace

IniFile IniFile::Parse(std::string_view text) {
  IniFile ini;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::string section;
  while (!text.empty()) {
    size_t eol = text.find('\n');
    std::string_view line = Trim(text.substr(0, eol));
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      section = Lower(
          Trim(line.substr(1, close == std::string_view::npos ? line.size() - 1 : close - 1)));
      continue;
    }
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    ini.entries_.push_back(
        {section, Lower(Trim(line.substr(0, eq))), CutChars(value, kIniMaxValueChars)});
  }
  return ini;
}

std::string IniFile::Get(std::string_view section, std::string_view key,
                         std::string_view fallback) const {
  std::string s = Lower(Trim(section)), k = Lower(Trim(key));
  for (const Entry& e : entries_)
    if (e.section == s && e.key == k) return e.value;
  return std::string(fallback);
}

}  // namespace capsel
