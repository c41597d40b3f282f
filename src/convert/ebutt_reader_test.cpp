#include "convert/ebutt_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "convert/time_expression.h"

namespace capsel {
namespace {

std::string Doc(const std::string& body, const std::string& root_attributes = "") {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<tt xmlns=\"http://www.w3.org/ns/ttml\" xmlns:ttp=\"http://www.w3.org/ns/ttml#parameter\"" +
         root_attributes + "><body>" + body + "</body></tt>";
}

std::vector<std::string> Lines(const std::string& p_content) {
  ReadResult r = ReadEbuTt(Doc("<div><p begin=\"0s\" end=\"1s\">" + p_content + "</p></div>"));
  EXPECT_TRUE(r.loaded) << r.error;
  if (r.paragraphs.size() != 1) return {"<" + std::to_string(r.paragraphs.size()) + " paragraphs>"};
  return r.paragraphs[0].lines;
}

using L = std::vector<std::string>;

TEST(ReadEbuTt, TurnsParagraphContentIntoLines) {
  struct Case {
    const char* name;
    const char* content;
    L lines;
  };
  const Case cases[] = {
      {"two spans, two lines", "<span>Hello</span><span>World</span>", {"Hello", "World"}},
      {"br between spans adds nothing", "<span>Hello</span><br/><span>World</span>", {"Hello", "World"}},
      {"br inside a span breaks it", "<span>Hello<br/>World</span>", {"Hello", "World"}},
      {"text outside spans is kept", "Before <span>inside</span> after", {"Before inside after"}},
      {"own text breaks at br", "one<br/>two <span>three</span>", {"one", "two three"}},
      {"nested span stays on its line", "<span>a <span>b</span> c</span>", {"a b c"}},
      {"blanks collapse and trim", "<span>  many \t  blanks\n here  </span>", {"many blanks here"}},
      {"raw newline in p is a blank", "first\n   second", {"first second"}},
      {"empty lines are left out", "<span> </span><span>x</span><br/><br/>", {"x"}},
      {"trailing br adds no line", "<span>x</span><br/>", {"x"}},
      {"no text at all", "", {}},
      {"metadata gives no text", "<metadata><x>meta</x></metadata><span>text</span>", {"text"}},
      {"foreign elements give no text", "<span>a<f:x xmlns:f=\"urn:f\">no</f:x>b</span>", {"ab"}},
      {"whitespace-only text is not own text", "\n  <span>a</span>\n  <span>b</span>\n", {"a", "b"}},
      {"entities and char refs", "<span>&amp;&lt;&#233;&#x65E5;</span>", {"&<\xC3\xA9\xE6\x97\xA5"}},
      {"cdata", "<span><![CDATA[<b>]]></span>", {"<b>"}},
      {"preserve keeps blanks", "<span xml:space=\"preserve\">  a  b</span>", {"  a  b"}},
      {"preserve breaks at newlines", "<span xml:space=\"preserve\">a\nb</span>", {"a", "b"}},
      {"non-breaking space is no blank", "<span>a\xC2\xA0 b</span>", {"a\xC2\xA0 b"}},
  };
  for (const auto& c : cases) EXPECT_EQ(Lines(c.content), c.lines) << c.name;
}

TEST(ReadEbuTt, SelectsParagraphsOfDivsOnlyAtAnyDepth) {
  ReadResult r = ReadEbuTt(Doc(
      "<div><p begin=\"1s\" end=\"2s\">one</p>"
      "<div><p begin=\"3s\" end=\"4s\">nested</p></div>"
      "<p begin=\"5s\" end=\"6s\">three</p></div>"
      "<p begin=\"7s\" end=\"8s\">in body</p>"
      "<div><span><p begin=\"9s\" end=\"9s\">in span</p></span></div>"));
  ASSERT_TRUE(r.loaded);
  ASSERT_EQ(r.paragraphs.size(), 3u);
  EXPECT_EQ(r.paragraphs[1].lines, L{"nested"});
  EXPECT_EQ(r.paragraphs[2].lines, L{"three"});
}

TEST(ReadEbuTt, OtherNamespacesAndRootsGiveNoParagraphs) {
  for (const char* text :
       {"<tt><body><div><p begin=\"1s\" end=\"2s\">x</p></div></body></tt>",
        "<tt xmlns=\"http://www.w3.org/2006/10/ttaf1x\"><body><div><p>x</p></div></body></tt>",
        "<body xmlns=\"http://www.w3.org/ns/ttml\"><div><p>x</p></div></body>"}) {
    ReadResult r = ReadEbuTt(text);
    EXPECT_TRUE(r.loaded) << text;
    EXPECT_TRUE(r.paragraphs.empty()) << text;
  }
}

TEST(ReadEbuTt, AddsContainerBeginsAndReadsDur) {
  ReadResult r = ReadEbuTt(
      "<tt xmlns=\"http://www.w3.org/ns/ttml\" xmlns:ttp=\"http://www.w3.org/ns/ttml#parameter\" "
      "ttp:frameRate=\"25\"><body begin=\"10s\"><div begin=\"00:00:01:00\">"
      "<p begin=\"1s\" end=\"2s\">a</p>"
      "<p begin=\"3s\" dur=\"500ms\">b</p>"
      "<p begin=\"bad\" end=\"4s\">c</p>"
      "<p>d</p>"
      "<div begin=\"1m\"><p begin=\"0s\" end=\"25f\">e</p></div>"
      "</div></body></tt>");
  ASSERT_TRUE(r.loaded) << r.error;
  ASSERT_EQ(r.paragraphs.size(), 5u);
  auto srt = [](const std::optional<double>& t) { return t ? FormatSrtTime(*t) : std::string("none"); };
  EXPECT_EQ(srt(r.paragraphs[0].begin), "00:00:12,000");
  EXPECT_EQ(srt(r.paragraphs[0].end), "00:00:13,000");
  EXPECT_EQ(srt(r.paragraphs[1].end), "00:00:14,500");
  EXPECT_EQ(srt(r.paragraphs[2].begin), "none");
  EXPECT_EQ(srt(r.paragraphs[2].end), "00:00:15,000");
  EXPECT_EQ(srt(r.paragraphs[3].begin), "none");
  EXPECT_EQ(srt(r.paragraphs[3].end), "none");
  EXPECT_EQ(srt(r.paragraphs[4].begin), "00:01:11,000");
  EXPECT_EQ(srt(r.paragraphs[4].end), "00:01:12,000");
}

TEST(ReadEbuTt, ReadsTheEncodingsDocumentsComeIn) {
  const std::string body = "<body><div><p begin=\"0s\" end=\"1s\"><span>caf\xE9</span></p></div></body></tt>";
  const std::string tt = "<tt xmlns=\"http://www.w3.org/ns/ttml\">";
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
    ReadResult r = ReadEbuTt(c.bytes);
    ASSERT_TRUE(r.loaded) << c.name << ": " << r.error;
    ASSERT_EQ(r.paragraphs.size(), 1u) << c.name;
    EXPECT_EQ(r.paragraphs[0].lines, L{c.line}) << c.name;
  }
}

TEST(ReadEbuTt, RefusesWhatIsNotWellFormed) {
  for (const char* text : {"", "\x00\x01\x02 junk", "<tt", "<a></b>", "plain text",
                           "<tt:tt><tt:body/></tt:tt>" /* undeclared prefix */}) {
    ReadResult r = ReadEbuTt(text);
    EXPECT_FALSE(r.loaded) << "'" << text << "'";
    EXPECT_FALSE(r.error.empty());
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
  ReadResult r = ReadEbuTt(doc);
  std::remove(secret_path);
  ASSERT_TRUE(r.loaded) << r.error;
  ASSERT_EQ(r.paragraphs.size(), 1u);
  EXPECT_EQ(r.paragraphs[0].lines, L{"[] inside"});  // the internal entity only
}

TEST(ReadEbuTt, EntityBombsEndQuicklyAsNotLoadable) {
  std::string bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE tt [\n<!ENTITY l0 \"lol\">\n";
  for (int i = 1; i <= 12; ++i)
    bomb += "<!ENTITY l" + std::to_string(i) + " \"" + std::string() +
            [&] { std::string s; for (int k = 0; k < 10; ++k) s += "&l" + std::to_string(i - 1) + ";"; return s; }() +
            "\">\n";
  bomb += "]>\n<tt xmlns=\"http://www.w3.org/ns/ttml\"><body><div><p begin=\"0s\" end=\"1s\">"
          "<span>&l12;</span></p></div></body></tt>";
  auto start = std::chrono::steady_clock::now();
  ReadResult r = ReadEbuTt(bomb);
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_FALSE(r.loaded);
  EXPECT_LT(seconds, 10.0);  // a generous bound: a hang would take minutes
}

}  // namespace
}  // namespace capsel

namespace capsel {
namespace {

std::string SrtOf(const std::string& file) {
  std::ifstream in(std::string(CAPSEL_TEST_DATA) + "/" + file, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  ReadResult r = ReadEbuTt(bytes);
  EXPECT_TRUE(r.loaded) << file << ": " << r.error;
  std::string srt;
  long long n = 0;
  for (const auto& p : r.paragraphs) {
    EXPECT_TRUE(p.begin && p.end) << file;
    srt += std::to_string(++n) + "\n" + FormatSrtTime(p.begin.value_or(-1)) + " --> " +
           FormatSrtTime(p.end.value_or(-1)) + "\n";
    for (const auto& line : p.lines) srt += line + "\n";
  }
  return srt;
}

// Three profiles of one subtitle list: frames at 25 fps, media clock times, and the ARD
// profile must all give the same subtitles.
TEST(ReadEbuTt, ThreeProfilesOfOneProgrammeGiveTheSameSubtitles) {
  std::string smpte = SrtOf("scf__pipeline1_3_EBU-TT.xml");
  EXPECT_EQ(std::count(smpte.begin(), smpte.end(), '>'), 64);
  EXPECT_NE(smpte.find("2\n00:00:01,640 --> 00:00:03,240\n"), std::string::npos);
  EXPECT_EQ(SrtOf("scf__pipeline1_4_EBU-TT-D.xml"), smpte);
  EXPECT_EQ(SrtOf("scf__pipeline1_5_EBU-TT-D-Basic-DE.xml"), smpte);
}

}  // namespace
}  // namespace capsel
