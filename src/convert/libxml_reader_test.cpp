#include "convert/libxml_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>

#include "convert/markup_scan.h"
#include "testing/test_documents.h"

namespace capsel {
namespace {

using testdoc::ConvertDocument;

// Reads a file of the test data; nothing when it is not there.
std::optional<std::string> DataFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The documents of tests/data/cases with the output a person checked for each (the folder's
// SOURCES.md says how a case is laid out).
const std::filesystem::path kCases = std::string(CAPSEL_TEST_DATA) + "/cases";

// The cases' names (their file names without the extension), in order. A missing or empty
// folder gives one name that no case has, so that the suite fails rather than runs nothing.
std::vector<std::string> CaseNames() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(kCases, error))
    if (entry.path().extension() == ".xml") names.push_back(entry.path().stem());
  std::sort(names.begin(), names.end());
  if (names.empty()) names.push_back("no-case-in-the-folder");
  return names;
}

// One test per case, named after it (with "_" for each "-"), so that one case runs alone.
class DocumentCases : public ::testing::TestWithParam<std::string> {};

TEST_P(DocumentCases, GivesItsCheckedSubtitlesAndLogLines) {
  auto beside = [&](const char* extension) { return DataFile(kCases / (GetParam() + extension)); };
  const auto xml = beside(".xml"), srt = beside(".srt"), log = beside(".log");
  ASSERT_TRUE(xml) << "no document " << GetParam() << ".xml in " << kCases;
  ASSERT_TRUE(srt || log) << "a case needs its .srt or .log file";
  // Whole, and one byte per read: where a read ends must not change a byte.
  for (size_t piece : {SIZE_MAX, size_t{1}}) {
    auto out = ConvertDocument(*xml, beside(".ini").value_or(""), piece);
    std::string notes;
    for (const auto& line : out.notes) notes += line + "\n";
    EXPECT_EQ(out.srt, srt.value_or("<missing>")) << "read in pieces of " << piece;
    EXPECT_EQ(out.vtt, beside(".vtt").value_or("<missing>"));
    EXPECT_EQ(notes, log.value_or(""));
  }
}

INSTANTIATE_TEST_SUITE_P(Each, DocumentCases, ::testing::ValuesIn(CaseNames()),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// Limits too large for a case file: each document is built here, then read whole and in
// pieces that end inside its long parts. An empty reason: the document is converted.
TEST(DocumentLimits, LongStartTagsAndLargeSubtitlesAtTheirLimits) {
  auto doc = [](const std::string& attributes, const std::string& text) {
    return "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div><p begin=\"0s\" end=\"1s\"" +
           attributes + ">" + text + "</p></div></body></tt>";
  };
  // A title that makes the p start tag `bytes` long.
  auto title = [](size_t bytes) { return " title=\"" + std::string(bytes - 32, '-') + "\""; };
  auto utf16 = [](const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
  };
  const std::string half(1 << 19, 'x');
  // 70,000 units whose bytes in UTF-16 read as `<<` and as `<` beside 0x01 (U+3C3C, U+013C).
  std::u16string lookalikes;
  std::string lookalikes_utf8;
  for (int i = 0; i < 35000; ++i)
    lookalikes += u"\u3C3C\u013C", lookalikes_utf8 += "\xE3\xB0\xBC\xC4\xBC";
  const struct {
    std::string document, text, reason;
  } rows[] = {
      {doc(title(kMaxStartTag), "x"), "x", ""},
      {doc(title(kMaxStartTag + 1), "x"), "", msg::kStartTagTooLong},
      {doc("", half + half), half + half, ""},
      {doc("", "<span>" + half + "</span><span>x" + half + "</span>"), "", msg::kSubtitleTooLarge},
      {utf16(u"<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div><p begin=\"0s\" end=\"1s\">" +
             lookalikes + u"</p></div></body></tt>"),
       lookalikes_utf8, ""},
  };
  for (const auto& row : rows) {
    for (size_t piece : {SIZE_MAX, size_t{4099}}) {
      auto out = ConvertDocument(row.document, "", piece);
      if (row.reason.empty()) {
        const std::string srt = "1\r\n00:00:00,000 --> 00:00:01,000\r\n" + row.text + "\r\n\r\n";
        EXPECT_TRUE(out.srt == srt) << "the SRT text of a document of " << row.document.size();
        EXPECT_EQ(out.notes, std::vector<std::string>{});
      } else {
        EXPECT_EQ(out.srt, "<missing>");
        EXPECT_EQ(out.notes, (std::vector<std::string>{msg::kNotLoadable,
                                                       FormatMessage(row.reason, {"doc.xml"})}));
      }
    }
  }
}

// Paragraphs that nothing ends wait for a later begin, but at most 4096 of them: past that the
// oldest is written with its longest end, before the document is complete.
TEST(DocumentLimits, AtMost4096ParagraphsWaitForAnEnd) {
  struct Counter final : CueSink {
    void OnCue(Interval, const CueLines&, const StyleTable&, const Placement&) override { ++cues; }
    int cues = 0;
  } sink;
  LibxmlReader reader(ReadOptions{}, sink, 0);
  std::string doc = "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div>";
  for (int i = 0; i < 5000; ++i) doc += "<p begin=\"1s\">x</p>";
  ASSERT_TRUE(reader.Feed(doc));
  EXPECT_EQ(sink.cues, 5000 - 4096);
  ASSERT_TRUE(reader.Feed("</div></body></tt>"));
  reader.Finish();
  EXPECT_EQ(sink.cues, 5000);
}

}  // namespace
}  // namespace capsel
