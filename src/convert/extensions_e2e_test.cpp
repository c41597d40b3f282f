// Programme-start offset, style tags and legacy DFXP namespaces, through the built binary.

#include <gtest/gtest.h>

#include "convert/ebutt_reader.h"
#include "testing/e2e_helpers.h"
#include "testing/test_documents.h"

namespace capsel::e2e {
namespace {

// Converts one document with the given [Processing] lines; returns the SRT text.
std::string Convert(const std::string& document, const std::string& processing) {
  Workspace w("[Processing]\nMinFileAge=0\n" + processing);
  WriteOldFile(w.Path("in/doc.xml"), document);
  ProcessRun run = w.Once();
  EXPECT_EQ(run.status, 0) << run.out;
  return ReadFile(w.Path("out/doc.srt"));
}

// CR LF line ends for an SRT text written with LF in the test.
std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

const char kProgrammeAtTenHours[] = R"doc(<?xml version="1.0" encoding="UTF-8"?>
<tt:tt xmlns:tt="http://www.w3.org/ns/ttml" xmlns:ttp="http://www.w3.org/ns/ttml#parameter"
       xmlns:ebuttm="urn:ebu:tt:metadata" ttp:timeBase="smpte" ttp:frameRate="25">
  <tt:head><tt:metadata><ebuttm:documentMetadata>
    <ebuttm:documentStartOfProgramme>10:00:00:00</ebuttm:documentStartOfProgramme>
  </ebuttm:documentMetadata></tt:metadata></tt:head>
  <tt:body><tt:div>
    <tt:p begin="09:59:50:00" end="10:00:00:00"><tt:span>Over before the start</tt:span></tt:p>
    <tt:p begin="09:59:59:00" end="10:00:01:00"><tt:span>Before the start</tt:span></tt:p>
    <tt:p begin="10:00:02:12" end="10:00:04:00"><tt:span>After it</tt:span></tt:p>
  </tt:div></tt:body>
</tt:tt>
)doc";

TEST(Extensions, StartOfProgrammeIsSubtractedOnlyWhenAskedFor) {
  EXPECT_EQ(Convert(kProgrammeAtTenHours, ""),
            Crlf("1\n09:59:50,000 --> 10:00:00,000\nOver before the start\n\n"
                 "2\n09:59:59,000 --> 10:00:01,000\nBefore the start\n\n"
                 "3\n10:00:02,480 --> 10:00:04,000\nAfter it\n\n"));
  // A subtitle that ends by the start is never shown; one that runs into it starts at 0.
  EXPECT_EQ(Convert(kProgrammeAtTenHours, "SubtractStartOfProgramme=1\n"),
            Crlf("1\n00:00:00,000 --> 00:00:01,000\nBefore the start\n\n"
                 "2\n00:00:02,480 --> 00:00:04,000\nAfter it\n\n"));
  // Without the element nothing changes.
  EXPECT_EQ(Convert(testdoc::kHelloWorld, "SubtractStartOfProgramme=1\n"), testdoc::kHelloWorldSrt);
}

const char kStyled[] = R"doc(<?xml version="1.0" encoding="UTF-8"?>
<tt xmlns="http://www.w3.org/ns/ttml" xmlns:tts="http://www.w3.org/ns/ttml#styling">
  <head><styling>
    <style xml:id="yellow" tts:color="yellow"/>
    <style xml:id="boldYellow" style="yellow" tts:fontWeight="bold"/>
    <style xml:id="italic" tts:fontStyle="italic"/>
  </styling></head>
  <body><div>
    <p begin="1s" end="2s"><span tts:color="#ff0000">inline red</span></p>
    <p begin="2s" end="3s"><span style="boldYellow">referenced chain</span></p>
    <p begin="3s" end="4s" style="italic"><span>from p</span></p>
    <p begin="4s" end="5s"><span tts:color="#00ff0080">a</span><span tts:color="rgb(0, 0, 255)">b</span><span tts:color="rgba(255,0,255,128)">c</span><span tts:color="white">d</span><span tts:color="teal">e</span></p>
    <p begin="5s" end="6s"><span style="yellow" tts:color="cyan">inline wins</span></p>
    <p begin="6s" end="7s" tts:fontWeight="bold"><span tts:fontWeight="normal">nearer wins</span></p>
    <p begin="7s" end="8s"><span tts:fontStyle="italic" tts:textDecoration="underline" tts:color="red" tts:fontWeight="bold">one<br/>two</span></p>
    <p begin="8s" end="9s">Plain <span tts:fontWeight="bold">bold</span> end</p>
  </div>
  <div tts:textDecoration="underline"><p begin="9s" end="10s"><span>from div</span></p></div>
  </body>
</tt>
)doc";

TEST(Extensions, StyleTagsFollowTheComputedStyle) {
  EXPECT_EQ(Convert(kStyled, "StyleTags=1\n"),
            Crlf("1\n00:00:01,000 --> 00:00:02,000\n<font color=\"#FF0000\">inline red</font>\n\n"
                 "2\n00:00:02,000 --> 00:00:03,000\n<font color=\"#FFFF00\"><b>referenced chain</b></font>\n\n"
                 "3\n00:00:03,000 --> 00:00:04,000\n<i>from p</i>\n\n"
                 "4\n00:00:04,000 --> 00:00:05,000\n<font color=\"#00FF00\">a</font>\n"
                 "<font color=\"#0000FF\">b</font>\n<font color=\"#FF00FF\">c</font>\nd\n"
                 "<font color=\"#008080\">e</font>\n\n"
                 "5\n00:00:05,000 --> 00:00:06,000\n<font color=\"#00FFFF\">inline wins</font>\n\n"
                 "6\n00:00:06,000 --> 00:00:07,000\nnearer wins\n\n"
                 "7\n00:00:07,000 --> 00:00:08,000\n<font color=\"#FF0000\"><b><i><u>one</u></i></b></font>\n"
                 "<font color=\"#FF0000\"><b><i><u>two</u></i></b></font>\n\n"
                 "8\n00:00:08,000 --> 00:00:09,000\nPlain <b>bold</b> end\n\n"
                 "9\n00:00:09,000 --> 00:00:10,000\n<u>from div</u>\n\n"));
  // Off, the same document gives plain text.
  std::string plain = Convert(kStyled, "StyleTags=0\n");
  EXPECT_EQ(plain.find('<'), std::string::npos);
  EXPECT_NE(plain.find("Plain bold end\r\n"), std::string::npos);
}

TEST(Extensions, AnUnstyledDocumentIsTheSameWithStyleTagsOn) {
  EXPECT_EQ(Convert(testdoc::kHelloWorld, "StyleTags=1\n"), testdoc::kHelloWorldSrt);
}

TEST(Extensions, LegacyDfxpDocumentsConvertLikeTheirTtmlTwin) {
  const std::string twin = R"doc(<tt xmlns="NS" xmlns:tts="NS#styling" xmlns:ttp="NS#parameter" ttp:frameRate="25">
    <head><styling><style xml:id="s" tts:fontStyle="italic"/></styling></head>
    <body><div><p begin="00:00:01:05" end="2.5s" style="s"><span>Alt</span><br/><span>Neu</span></p></div></body></tt>)doc";
  auto in = [&](const std::string& ns) {
    std::string doc = twin;
    for (size_t pos; (pos = doc.find("NS")) != std::string::npos;) doc.replace(pos, 2, ns);
    return doc;
  };
  for (const char* processing : {"", "StyleTags=1\n"}) {
    std::string ttml = Convert(in("http://www.w3.org/ns/ttml"), processing);
    ASSERT_NE(ttml.find("00:00:01,200 --> 00:00:02,500"), std::string::npos) << ttml;
    EXPECT_EQ(Convert(in("http://www.w3.org/2006/10/ttaf1"), processing), ttml);
    EXPECT_EQ(Convert(in("http://www.w3.org/2006/04/ttaf1"), processing), ttml);
  }
}

}  // namespace
}  // namespace capsel::e2e
