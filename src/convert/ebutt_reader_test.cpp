#include "convert/ebutt_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "convert/cue_writer.h"
#include "testing/test_documents.h"

namespace capsel {
namespace {

using testdoc::ConvertDocument;
using L = std::vector<std::string>;

std::string Doc(const std::string& body, const std::string& root_attributes = "",
                const std::string& body_attributes = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<tt xmlns=\"http://www.w3.org/ns/ttml\" xmlns:ttp=\"http://www.w3.org/ns/ttml#parameter\"" +
         root_attributes + "><body" + body_attributes + ">" + body + "</body></tt>";
}

// Collects what the reader gives: the lines of each cue.
class LineSink final : public CueSink {
 public:
  void OnCue(Interval, const CueLines& lines, const StyleTable&) override {
    cues.emplace_back();
    for (size_t i = 0; i < lines.size(); ++i) cues.back().emplace_back(lines.Line(i));
  }
  std::vector<L> cues;
};

L Lines(const std::string& p_content) {
  LineSink sink;
  ReadReport r = ReadEbuTt(Doc("<div><p begin=\"0s\" end=\"1s\">" + p_content + "</p></div>"), {}, sink);
  EXPECT_TRUE(r.loaded) << r.error;
  if (sink.cues.size() != 1) return {"<" + std::to_string(sink.cues.size()) + " cues>"};
  return sink.cues[0];
}

TEST(ReadEbuTt, TurnsParagraphContentIntoLines) {
  struct Case {
    const char* name;
    const char* content;
    L lines;
  };
  const Case cases[] = {
      {"two spans, two lines", "<span>Hello</span><span>World</span>", {"Hello", "World"}},
      {"br breaks, spans run on", "<span>\xE6\x9D\xB1</span><span>\xE5\x8D\x97</span><br/><span>x</span>",
       {"\xE6\x9D\xB1\xE5\x8D\x97", "x"}},
      {"br inside a span breaks it", "<span>Hello<br/>World</span>", {"Hello", "World"}},
      {"text outside spans is kept", "Before <span>inside</span> after", {"Before inside after"}},
      {"own text breaks at br", "one<br/>two <span>three</span>", {"one", "two three"}},
      {"nested span stays on its line", "<span>a <span>b</span> c</span>", {"a b c"}},
      {"blanks collapse and trim", "<span>  many \t  blanks\n here  </span>", {"many blanks here"}},
      {"raw newline in p is a blank", "first\n   second", {"first second"}},
      {"empty lines are left out", "<span> </span><span>x</span><br/><br/>", {"x"}},
      {"no text at all", "", {}},
      {"metadata gives no text", "<metadata><x>meta</x></metadata><span>text</span>", {"text"}},
      {"foreign elements give no text", "<span>a<f:x xmlns:f=\"urn:f\">no</f:x>b</span>", {"ab"}},
      {"whitespace-only text is not own text", "\n  <span>a</span>\n  <span>b</span>\n", {"a", "b"}},
      {"entities and char refs", "<span>&amp;&lt;&#233;&#x65E5;</span>", {"&<\xC3\xA9\xE6\x97\xA5"}},
      {"cdata", "<span><![CDATA[<b>]]></span>", {"<b>"}},
      {"preserve keeps blanks", "<span xml:space=\"preserve\">  a  b</span>", {"  a  b"}},
      {"preserve breaks at newlines", "<span xml:space=\"preserve\">a\nb</span>", {"a", "b"}},
      {"preserved blanks across spans", "a <span xml:space=\"preserve\"> b</span>", {"a  b"}},
      {"non-breaking space is no blank", "<span>a\xC2\xA0 b</span>", {"a\xC2\xA0 b"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Lines(c.content), c.lines) << c.name;
}

std::string Srt(std::initializer_list<std::pair<const char*, L>> cues) {
  std::string srt;
  int n = 0;
  for (const auto& [timing, lines] : cues) {
    srt += std::to_string(++n) + "\r\n" + timing + "\r\n";
    for (const auto& line : lines) srt += line + "\r\n";
    srt += "\r\n";
  }
  return srt;
}

const char kFileError[] = "---- ERROR: File Error (maybe missing write permissions?)";

// The times of paragraphs, from their own attributes and their containers', as TTML computes
// them. Each case gives the document's body, the SRT text and the lines logged before writing.
TEST(ReadEbuTt, TimesParagraphsAsTtmlDoes) {
  struct Case {
    const char* name;
    const char* body;
    std::string srt;
    L notes;
    const char* body_attributes = "";
  };
  const char* kOneNeverShown = "---- WARNING: 1 paragraph of doc.xml is never shown and was left out";
  const Case cases[] = {
      {"times count from the div's begin", "<div begin=\"10s\"><p begin=\"1s\" end=\"2s\">a</p></div>",
       Srt({{"00:00:11,000 --> 00:00:12,000", {"a"}}}), {}},
      {"an untimed paragraph takes its div's interval", "<div begin=\"1s\" end=\"3s\"><p>a</p></div>",
       Srt({{"00:00:01,000 --> 00:00:03,000", {"a"}}}), {}},
      {"begin only, in a timed body", "<div><p begin=\"2s\">a</p></div>",
       Srt({{"00:00:02,000 --> 00:00:05,000", {"a"}}}), {}, " dur=\"5s\""},
      {"the div's end cuts the paragraph", "<div end=\"3s\"><p begin=\"1s\" end=\"5s\">a</p></div>",
       Srt({{"00:00:01,000 --> 00:00:03,000", {"a"}}}), {}},
      {"a paragraph after its div's end is never shown",
       "<div dur=\"3s\"><p begin=\"1s\" end=\"2s\">a</p><p begin=\"4s\" end=\"5s\">b</p></div>",
       Srt({{"00:00:01,000 --> 00:00:02,000", {"a"}}}), {kOneNeverShown}},
      {"seq: each paragraph after the previous one",
       "<div timeContainer=\"seq\"><p dur=\"1s\">a</p><p dur=\"2s\">b</p><p begin=\"1s\" dur=\"1s\">c</p></div>",
       Srt({{"00:00:00,000 --> 00:00:01,000", {"a"}}, {"00:00:01,000 --> 00:00:03,000", {"b"}},
            {"00:00:04,000 --> 00:00:05,000", {"c"}}}), {}},
      {"seq in par", "<div begin=\"10s\"><div timeContainer=\"seq\"><p dur=\"1s\">a</p><p dur=\"1s\">b</p></div>"
                     "<p begin=\"0s\" end=\"1s\">c</p></div>",
       Srt({{"00:00:10,000 --> 00:00:11,000", {"a"}}, {"00:00:11,000 --> 00:00:12,000", {"b"}},
            {"00:00:10,000 --> 00:00:11,000", {"c"}}}), {}},
      {"par in seq", "<div timeContainer=\"seq\"><div dur=\"2s\"><p>a</p><p begin=\"1s\">b</p></div>"
                     "<div dur=\"1s\"><p>c</p></div></div>",
       Srt({{"00:00:00,000 --> 00:00:02,000", {"a"}}, {"00:00:01,000 --> 00:00:02,000", {"b"}},
            {"00:00:02,000 --> 00:00:03,000", {"c"}}}), {}},
      {"an open end lasts until the next begin, the last one 10 s",
       "<div><p begin=\"1s\">a</p><p begin=\"1s\">b</p><p begin=\"3s\">c</p></div>",
       Srt({{"00:00:01,000 --> 00:00:03,000", {"a"}}, {"00:00:01,000 --> 00:00:03,000", {"b"}},
            {"00:00:03,000 --> 00:00:13,000", {"c"}}}), {kFileError, kFileError, kFileError}},
      {"an open end is at most 10 s", "<div><p begin=\"1s\">a</p><p begin=\"30s\" end=\"31s\">b</p></div>",
       Srt({{"00:00:01,000 --> 00:00:11,000", {"a"}}, {"00:00:30,000 --> 00:00:31,000", {"b"}}}), {kFileError}},
      {"a span that appears later", "<div><p begin=\"1s\" end=\"5s\"><span>a</span><span begin=\"1s\">b</span></p></div>",
       Srt({{"00:00:01,000 --> 00:00:02,000", {"a"}}, {"00:00:02,000 --> 00:00:05,000", {"a", "b"}}}), {}},
      {"two spans that swap", "<div><p begin=\"0s\" end=\"4s\"><span end=\"2s\">a</span><span begin=\"2s\">b</span></p></div>",
       Srt({{"00:00:00,000 --> 00:00:02,000", {"a"}}, {"00:00:02,000 --> 00:00:04,000", {"b"}}}), {}},
      {"an untimed paragraph whose text is all timed ends with its text",
       "<div><p> <span begin=\"1s\" end=\"2s\">a</span> </p><p><span begin=\"3s\" end=\"4s\">b</span></p></div>",
       Srt({{"00:00:01,000 --> 00:00:02,000", {"a"}}, {"00:00:03,000 --> 00:00:04,000", {"b"}}}), {}},
      {"a gap with no text gives no cue",
       "<div><p begin=\"0s\" end=\"6s\"><span end=\"1s\">a</span><span begin=\"3s\" end=\"4s\">b</span></p></div>",
       Srt({{"00:00:00,000 --> 00:00:01,000", {"a"}}, {"00:00:03,000 --> 00:00:04,000", {"b"}}}), {}},
      {"the anonymous text of a seq paragraph is never shown",
       "<div><p begin=\"0s\" end=\"1s\" timeContainer=\"seq\">never</p></div>", "", {kOneNeverShown}},
      {"end before begin", "<div><p begin=\"2s\" end=\"1s\">x</p><p begin=\"3s\" end=\"3s\">y</p></div>", "",
       {"---- WARNING: 2 paragraphs of doc.xml are never shown and were left out"}},
      {"frames at the frame rate do not read: the previous value",
       "<div><p begin=\"1s\" end=\"2s\">a</p><p begin=\"00:00:03:25\" end=\"00:00:04:00\">b</p></div>",
       Srt({{"00:00:01,000 --> 00:00:02,000", {"a"}}, {"00:00:01,000 --> 00:00:04,000", {"b"}}}), {kFileError}},
      {"an end that does not read: the previous end",
       "<div><p begin=\"1s\" end=\"2s\">a</p><p begin=\"1.5s\" end=\"soon\">b</p></div>",
       Srt({{"00:00:01,000 --> 00:00:02,000", {"a"}}, {"00:00:01,500 --> 00:00:02,000", {"b"}}}), {kFileError}},
      {"no paragraph at all", "<div/>", "", {"---- WARNING: No subtitles found in doc.xml"}},
  };
  for (const auto& c : cases) {
    auto out = ConvertDocument(Doc(c.body, " ttp:frameRate=\"25\"", c.body_attributes));
    EXPECT_EQ(out.srt, c.srt) << c.name;
    EXPECT_EQ(out.notes, c.notes) << c.name;
  }
}

TEST(ReadEbuTt, SelectsParagraphsOfDivsOnlyAtAnyDepth) {
  LineSink sink;
  ReadReport r = ReadEbuTt(Doc("<div><p begin=\"1s\" end=\"2s\">one</p>"
                               "<div><p begin=\"3s\" end=\"4s\">nested</p></div>"
                               "<p begin=\"5s\" end=\"6s\">three</p></div>"
                               "<p begin=\"7s\" end=\"8s\">in body</p>"
                               "<div><span><p begin=\"9s\" end=\"10s\">in span</p></span></div>"),
                           {}, sink);
  ASSERT_TRUE(r.loaded);
  EXPECT_EQ(sink.cues, (std::vector<L>{{"one"}, {"nested"}, {"three"}}));
}

TEST(ReadEbuTt, OtherNamespacesAndRootsGiveNoParagraphs) {
  for (const char* text : {"<tt><body><div><p begin=\"1s\" end=\"2s\">x</p></div></body></tt>",
                           "<tt xmlns=\"http://www.w3.org/2006/10/ttaf1x\"><body><div><p>x</p></div></body></tt>",
                           "<body xmlns=\"http://www.w3.org/ns/ttml\"><div><p>x</p></div></body>"}) {
    LineSink sink;
    ReadReport r = ReadEbuTt(text, {}, sink);
    EXPECT_TRUE(r.loaded) << text;
    EXPECT_EQ(r.paragraphs, 0) << text;
  }
}

TEST(ReadEbuTt, ReadsTheEncodingsDocumentsComeIn) {
  const std::string tt = "<tt xmlns=\"http://www.w3.org/ns/ttml\">";
  const std::string body = "<body><div><p begin=\"0s\" end=\"1s\"><span>caf\xE9</span></p></div></body></tt>";
  std::string latin1 = "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + tt + body;
  std::string cp1252 = "<?xml version=\"1.0\" encoding=\"windows-1252\"?>" + tt +
                       "<body><div><p begin=\"0s\" end=\"1s\"><span>\x80 caf\xE9</span></p></div></body></tt>";
  std::string utf8 = tt + "<body><div><p begin=\"0s\" end=\"1s\"><span>caf\xC3\xA9</span></p></div></body></tt>";
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

TEST(ReadEbuTt, RefusesWhatIsNotWellFormedAndSaysWhy) {
  struct Case {
    std::string text;
    const char* reason;
  };
  const Case cases[] = {
      {"", "---- XML error: Document is empty"},
      {std::string("\x00\x01\x02 junk", 8), "---- XML error in line 1, column 1: Document is empty"},
      {"<tt", "---- XML error in line 1, column 4: Couldn't find end of Start Tag tt"},
      {"<a>\n  <b></a>", "---- XML error in line 2, column 10: Opening and ending tag mismatch: b line 2 and a"},
      {"<tt:tt><tt:body/></tt:tt>", "---- XML error in line 1, column 16: Namespace prefix tt on body is not defined"},
      {std::string(300, '.').replace(0, 300, [] {
         std::string deep;
         for (int i = 0; i < 300; ++i) deep += "<s>";
         return deep;
       }()),
       "---- XML error in line 1, column 771: elements are nested deeper than 256 levels"},
  };
  for (const auto& c : cases) {
    auto out = ConvertDocument(c.text);
    EXPECT_EQ(out.srt, "<missing>");
    EXPECT_EQ(out.notes, (L{"Error while processing XML file. Skipping file.", c.reason})) << c.text.substr(0, 20);
  }
}

TEST(ReadEbuTt, NeverLoadsAnExternalEntityOrDtd) {
  const char* secret_path = "/tmp/capsel-secret-entity.txt";
  std::ofstream(secret_path) << "TOP SECRET";
  std::string doc =
      std::string("<?xml version=\"1.0\"?>\n<!DOCTYPE tt SYSTEM \"file:///tmp/capsel-dtd.dtd\" [\n"
                  "<!ENTITY secret SYSTEM \"file://") + secret_path + "\">\n"
      "<!ENTITY inner \"inside\">\n]>\n"
      "<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div>"
      "<p begin=\"0s\" end=\"1s\"><span>[&secret;] &inner;</span></p></div></body></tt>";
  auto out = ConvertDocument(doc);
  std::remove(secret_path);
  EXPECT_EQ(out.srt, Srt({{"00:00:00,000 --> 00:00:01,000", {"[] inside"}}}));  // the internal entity only
  EXPECT_EQ(out.notes, L{"---- WARNING: doc.xml refers to external entities; their text was left out"});
}

TEST(ReadEbuTt, EntityBombsEndQuicklyAsNotLoadable) {
  std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE tt [\n<!ENTITY l0 \"lol\">\n";
  for (int i = 1; i <= 12; ++i) {
    bomb += "<!ENTITY l" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) bomb += "&l" + std::to_string(i - 1) + ";";
    bomb += "\">\n";
  }
  bomb += "]>\n<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div><p begin=\"0s\" end=\"1s\">"
          "<span>&l12;</span></p></div></body></tt>";
  auto start = std::chrono::steady_clock::now();
  LineSink sink;
  ReadReport r = ReadEbuTt(bomb, {}, sink);
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(r.loaded);
  EXPECT_LT(seconds, 10.0);  // a generous bound: a hang would take minutes
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
