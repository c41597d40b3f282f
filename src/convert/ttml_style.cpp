#include "convert/ttml_style.h"

#include <cstring>

#include "convert/xml_blanks.h"

namespace capsel {
namespace {

unsigned HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 16;
}

}  // namespace

void TextStyle::Overlay(const TextStyle& top) {
  if (top.color) color = top.color;
  if (top.bold) bold = top.bold;
  if (top.italic) italic = top.italic;
  if (top.underline) underline = top.underline;
  if (top.display_none) display_none = top.display_none;
  if (top.ruby) ruby = top.ruby;
}

StyleTable::StyleTable() {
  styles_.emplace_back();
  index_.emplace(TextStyle{}, 0);
}

size_t StyleTable::Hash::operator()(const TextStyle& s) const {
  auto tri = [](const std::optional<bool>& b) -> size_t { return b ? (*b ? 2 : 1) : 0; };
  size_t h = s.color ? *s.color + 1 : 0;
  return h * 27 + tri(s.bold) * 9 + tri(s.italic) * 3 + tri(s.underline);
}

uint16_t StyleTable::Index(const TextStyle& style) {
  auto it = index_.find(style);
  if (it != index_.end()) return it->second;
  if (styles_.size() >= 65535) return 0;  // beyond any real document: left plain
  auto index = static_cast<uint16_t>(styles_.size());
  styles_.push_back(style);
  index_.emplace(style, index);
  return index;
}

void StyleSheet::Add(std::string id, std::vector<std::string> references, TextStyle own) {
  if (own.display_none || own.ruby) sets_display_or_ruby_ = true;
  raw_.emplace(std::move(id), Raw{std::move(references), own, {}});
}

void StyleSheet::Resolve() {
  for (const auto& [id, raw] : raw_) resolved_[id] = ResolveOne(id, 0);
  resolved_flag_ = true;
}

const TextStyle* StyleSheet::Find(const std::string& id) const {
  auto it = resolved_.find(id);
  return it == resolved_.end() ? nullptr : &it->second;
}

TextStyle StyleSheet::ResolveOne(const std::string& id, int depth) {
  TextStyle s;
  auto it = raw_.find(id);
  if (it == raw_.end() || depth >= kMaxReferenceDepth) return s;
  std::optional<TextStyle>& known = it->second.at_depth[depth];
  if (known) return *known;
  for (const std::string& ref : it->second.references) s.Overlay(ResolveOne(ref, depth + 1));
  s.Overlay(it->second.own);
  known = s;
  return s;
}

std::vector<std::string> SplitIds(std::string_view list) {
  std::vector<std::string> ids;
  const char* kBlanks = " \t\r\n";
  for (;;) {
    size_t start = list.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) break;
    size_t end = list.find_first_of(kBlanks, start);
    ids.emplace_back(
        list.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
    if (end == std::string_view::npos) break;
    list.remove_prefix(end);
  }
  return ids;
}

TextStyle StyleFromAttributes(std::optional<std::string_view> color,
                              std::optional<std::string_view> font_weight,
                              std::optional<std::string_view> font_style,
                              std::optional<std::string_view> text_decoration) {
  TextStyle s;
  if (color) s.color = ParseTtmlColor(*color);
  if (font_weight) s.bold = TrimXmlBlanks(*font_weight) == "bold";
  if (font_style) s.italic = TrimXmlBlanks(*font_style) == "italic";
  if (text_decoration) {
    std::string_view d = *text_decoration;
    if (d.find("noUnderline") != std::string_view::npos)
      s.underline = false;
    else if (d.find("underline") != std::string_view::npos)
      s.underline = true;
    else if (TrimXmlBlanks(d) == "none")
      s.underline = false;
  }
  return s;
}

std::optional<RubyRole> ParseRubyRole(std::string_view text) {
  static const std::map<std::string_view, RubyRole> kRoles = {
      {"container", RubyRole::kContainer}, {"baseContainer", RubyRole::kBaseContainer},
      {"base", RubyRole::kBase},           {"textContainer", RubyRole::kTextContainer},
      {"text", RubyRole::kText},           {"delimiter", RubyRole::kDelimiter}};
  auto it = kRoles.find(TrimXmlBlanks(text));
  if (it == kRoles.end()) return std::nullopt;
  return it->second;
}

std::optional<unsigned> ParseTtmlColor(std::string_view text) {
  std::string_view t = TrimXmlBlanks(text);
  if (t.starts_with("#") && (t.size() == 7 || t.size() == 9)) {
    unsigned rgba = 0;
    for (char c : t.substr(1)) {
      unsigned d = HexDigit(c);
      if (d > 15) return std::nullopt;
      rgba = rgba * 16 + d;
    }
    return t.size() == 9 ? rgba >> 8 : rgba;
  }
  for (const char* prefix : {"rgba(", "rgb("}) {
    if (!t.starts_with(prefix) || !t.ends_with(")")) continue;
    std::string_view args = t.substr(std::strlen(prefix), t.size() - std::strlen(prefix) - 1);
    unsigned parts[4];
    int count = 0;
    for (;;) {
      args = TrimXmlBlanks(args);
      size_t comma = args.find(',');
      std::string_view part = TrimXmlBlanks(args.substr(0, comma));
      if (part.empty() || part.size() > 3) return std::nullopt;
      unsigned v = 0;
      for (char c : part) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
      }
      if (v > 255 || count == 4) return std::nullopt;  // a fifth part makes no colour
      parts[count++] = v;
      if (comma == std::string_view::npos) break;
      args = args.substr(comma + 1);
    }
    if (count != (std::strcmp(prefix, "rgba(") == 0 ? 4 : 3)) return std::nullopt;
    return parts[0] << 16 | parts[1] << 8 | parts[2];
  }
  static const std::map<std::string_view, unsigned> kNamed = {
      {"black", 0x000000},   {"silver", 0xC0C0C0}, {"gray", 0x808080},   {"white", 0xFFFFFF},
      {"maroon", 0x800000},  {"red", 0xFF0000},    {"purple", 0x800080}, {"fuchsia", 0xFF00FF},
      {"magenta", 0xFF00FF}, {"green", 0x008000},  {"lime", 0x00FF00},   {"olive", 0x808000},
      {"yellow", 0xFFFF00},  {"navy", 0x000080},   {"blue", 0x0000FF},   {"teal", 0x008080},
      {"aqua", 0x00FFFF},    {"cyan", 0x00FFFF}};
  auto it = kNamed.find(t);
  if (it != kNamed.end()) return it->second;
  return std::nullopt;
}

}  // namespace capsel
