#include "convert/ebutt_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>

#include "convert/cue_writer.h"
#include "testing/test_documents.h"

namespace capsel {
namespace {

using testdoc::ConvertDocument;
using L = std::vector<std::string>;

// Collects what the reader gives: the lines of each cue.
class LineSink final : public CueSink {
 public:
  void OnCue(Interval, const CueLines& lines, const StyleTable&) override {
    cues.emplace_back();
    for (size_t i = 0; i < lines.size(); ++i) cues.back().emplace_back(lines.Line(i));
  }
  std::vector<L> cues;
};

// Reads a file of the test data; nothing when it is not there.
std::optional<std::string> DataFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The documents of tests/data/cases with the output a person checked for each (the folder's
// SOURCES.md says how a case is laid out).
TEST(DocumentCases, EachGivesItsCheckedSubtitlesAndLogLines) {
  int cases = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::string(CAPSEL_TEST_DATA) + "/cases")) {
    std::filesystem::path path = entry.path();
    if (path.extension() != ".xml") continue;
    ++cases;
    const std::string name = path.stem();
    auto beside = [&](const char* extension) {
      return DataFile(std::filesystem::path(path).replace_extension(extension));
    };
    const auto srt = beside(".srt"), log = beside(".log");
    ASSERT_TRUE(srt || log) << name << ": a case needs its .srt or .log file";
    auto out = ConvertDocument(*beside(".xml"), beside(".ini").value_or(""));
    std::string notes;
    for (const auto& line : out.notes) notes += line + "\n";
    EXPECT_EQ(out.srt, srt.value_or("<missing>")) << name;
    EXPECT_EQ(out.vtt, beside(".vtt").value_or("<missing>")) << name;
    EXPECT_EQ(notes, log.value_or("")) << name;
  }
  EXPECT_GE(cases, 60);  // the folder was found and read
}

TEST(ReadEbuTt, ReadsTheEncodingsDocumentsComeIn) {
  const std::string tt = "<tt xmlns=\"http://www.w3.org/ns/ttml\">";
  const std::string body =
      "<body><div><p begin=\"0s\" end=\"1s\"><span>caf\xE9</span></p></div></body></tt>";
  std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + tt + body;
  std::string cp1252 =
      "<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + tt +
      "<body><div><p begin=\"0s\" end=\"1s\"><span>\x80 caf\xE9</span></p></div></body></tt>";
  std::string utf8 =
      tt + "<body><div><p begin=\"0s\" end=\"1s\"><span>caf\xC3\xA9</span></p></div></body></tt>";
  std::string utf8_bom = "\xEF\xBB\xBF" + utf8;
  // UTF-16 little endian with its byte-order mark.
  std::string utf16 = "\xFF\xFE";
  for (unsigned char c : "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + utf8) {
    if (c == 0) break;
    if (c == 0xC3) continue;  // é as one UTF-16 unit
    utf16 += c == 0xA9 ? '\xE9' : static_cast<char>(c);
    utf16 += '\0';
  }
  struct Case {
    const char* name;
    const std::string& bytes;
    const char* line;
  };
  const Case cases[] = {{"latin1", latin1, "caf\xC3\xA9"},
                        {"cp1252", cp1252, "\xE2\x82\xAC caf\xC3\xA9"},
                        {"utf8", utf8, "caf\xC3\xA9"},
                        {"utf8 bom", utf8_bom, "caf\xC3\xA9"},
                        {"utf16", utf16, "caf\xC3\xA9"}};
  for (const auto& c : cases) {
    // Fed one byte at a time, as the worst reads would hand it over.
    LineSink sink;
    EbuTtReader reader({}, sink, c.bytes.size());
    for (char byte : c.bytes) reader.Feed(std::string_view(&byte, 1));
    ReadReport r = reader.Finish();
    ASSERT_TRUE(r.loaded) << c.name << ": " << r.error;
    EXPECT_EQ(sink.cues, std::vector<L>{{c.line}}) << c.name;
  }
}

TEST(ReadEbuTt, NeverLoadsAnExternalEntityOrDtd) {
  const char* secret_path = "/tmp/capsel-secret-entity.txt";
  std::ofstream(secret_path) << "TOP SECRET";
  std::string doc =
      std::string(
          "<?xml version=\"1.0\"?>\n<!DOCTYPE tt SYSTEM \"file:///tmp/capsel-dtd.dtd\" [\n"
          "<!ENTITY secret SYSTEM \"file://") +
      secret_path +
      "\">\n"
      "<!ENTITY inner \"inside\">\n]>\n"
      "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div>"
      "<p begin=\"0s\" end=\"1s\"><span>[&secret;] &inner;</span></p></div></body></tt>";
  auto out = ConvertDocument(doc);
  std::remove(secret_path);
  EXPECT_EQ(out.srt,
            "1\r\n00:00:00,000 --> 00:00:01,000\r\n[] inside\r\n\r\n");  // the internal entity only
  EXPECT_EQ(out.notes,
            L{"---- WARNING: doc.xml refers to external entities; their text was left out"});
}

std::string SrtOf(const std::string& file) {
  std::ifstream in(std::string(CAPSEL_TEST_DATA) + "/" + file, std::ios::binary);
  auto out = ConvertDocument(std::string((std::istreambuf_iterator<char>(in)), {}));
  EXPECT_TRUE(out.notes.empty()) << file;
  return out.srt;
}

// Three profiles of one subtitle list: frames at 25 fps, media clock times, and the ARD
// profile must all give the same subtitles.
TEST(ReadEbuTt, ThreeProfilesOfOneProgrammeGiveTheSameSubtitles) {
  std::string smpte = SrtOf("scf__pipeline1_3_EBU-TT.xml");
  EXPECT_EQ(std::count(smpte.begin(), smpte.end(), '>'), 64);
  EXPECT_NE(smpte.find("2\r\n00:00:01,640 --> 00:00:03,240\r\n"), std::string::npos);
  EXPECT_EQ(SrtOf("scf__pipeline1_4_EBU-TT-D.xml"), smpte);
  EXPECT_EQ(SrtOf("scf__pipeline1_5_EBU-TT-D-Basic-DE.xml"), smpte);
}

}  // namespace
}  // namespace capsel
