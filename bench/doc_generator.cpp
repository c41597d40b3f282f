#include "doc_generator.h"

#include <cstdio>
#include <random>

namespace capsel::bench {
namespace {

const char* const kWords[] = {
    "Nachrichten", "über",   "die",    "Straße",    "Größe",      "schön",   "Bürger", "Mädchen",
    "Fußball",     "heute",  "Abend",  "Wetter",    "Regen",      "München", "Köln",   "Präsident",
    "café",        "déjà",   "Zürich", "Ärger",     "öffentlich", "Brücke",  "Kälte",  "Grüße",
    "und",         "mit",    "für",    "der",       "das",        "ein",     "wir",    "sehen",
    "uns",         "morgen", "wieder", "natürlich", "Schluss"};

std::string Sentence(std::mt19937_64& rng, int words) {
  std::string s;
  for (int i = 0; i < words; ++i) {
    if (i) s += ' ';
    s += kWords[rng() % (sizeof kWords / sizeof kWords[0])];
  }
  return s;
}

std::string MediaTime(long long ms) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld.%03lld", ms / 3600000, ms / 60000 % 60,
                ms / 1000 % 60, ms % 1000);
  return buf;
}

std::string SmpteTime(long long ms) {
  ms += 36000000;  // programmes start at 10:00:00:00
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld:%02lld", ms / 3600000, ms / 60000 % 60,
                ms / 1000 % 60, ms % 1000 / 40);
  return buf;
}

}  // namespace

std::string GenerateDocument(Profile profile, int cues, std::uint64_t variant) {
  std::mt19937_64 rng(variant);
  const bool smpte = profile == Profile::kEbuTtSmpte;
  std::string doc =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<tt:tt xmlns:tt=\"http://www.w3.org/ns/ttml\"\n"
      "       xmlns:ttp=\"http://www.w3.org/ns/ttml#parameter\"\n"
      "       xmlns:tts=\"http://www.w3.org/ns/ttml#styling\"\n"
      "       xmlns:ebuttm=\"urn:ebu:tt:metadata\"\n";
  doc +=
      smpte ? "       ttp:timeBase=\"smpte\" ttp:frameRate=\"25\" ttp:frameRateMultiplier=\"1 1\"\n"
              "       ttp:markerMode=\"discontinuous\" ttp:dropMode=\"nonDrop\"\n"
            : "       ttp:timeBase=\"media\" ttp:cellResolution=\"50 30\"\n";
  doc +=
      "       xml:lang=\"de\">\n"
      "   <tt:head>\n"
      "      <tt:metadata>\n"
      "         <ebuttm:documentMetadata>\n"
      "            <ebuttm:documentEbuttVersion>v1.0</ebuttm:documentEbuttVersion>\n";
  if (smpte)
    doc +=
        "            "
        "<ebuttm:documentStartOfProgramme>10:00:00:00</ebuttm:documentStartOfProgramme>\n";
  doc +=
      "         </ebuttm:documentMetadata>\n"
      "      </tt:metadata>\n"
      "      <tt:styling>\n"
      "         <tt:style xml:id=\"defaultStyle\" tts:fontFamily=\"monospaceSansSerif\" "
      "tts:fontSize=\"1c 1c\"/>\n"
      "         <tt:style xml:id=\"WhiteOnBlack\" tts:color=\"#ffffffff\" "
      "tts:backgroundColor=\"#000000ff\"/>\n"
      "         <tt:style xml:id=\"YellowOnBlack\" tts:color=\"#ffff00ff\" "
      "tts:backgroundColor=\"#000000ff\"/>\n"
      "      </tt:styling>\n"
      "      <tt:layout>\n"
      "         <tt:region xml:id=\"bottom\" tts:origin=\"10% 10%\" tts:extent=\"80% 80%\" "
      "tts:displayAlign=\"after\"/>\n"
      "      </tt:layout>\n"
      "   </tt:head>\n"
      "   <tt:body>\n"
      "      <tt:div style=\"defaultStyle\">\n";
  long long t = 0;
  for (int i = 1; i <= cues; ++i) {
    t += 200 + static_cast<long long>(rng() % 800);
    long long end = t + 1500 + static_cast<long long>(rng() % 3000);
    std::string begin_text = smpte ? SmpteTime(t) : MediaTime(t);
    std::string end_text = smpte ? SmpteTime(end) : MediaTime(end);
    const char* style = rng() % 4 == 0 ? "YellowOnBlack" : "WhiteOnBlack";
    doc += "         <tt:p xml:id=\"sub" + std::to_string(i) + "\" begin=\"" + begin_text +
           "\" end=\"" + end_text +
           "\" region=\"bottom\">\n"
           "            <tt:span style=\"" +
           style + "\">" + Sentence(rng, 3 + static_cast<int>(rng() % 4)) +
           "</tt:span>\n"
           "            <tt:br/>\n"
           "            <tt:span style=\"" +
           style + "\">" + Sentence(rng, 3 + static_cast<int>(rng() % 4)) +
           "</tt:span>\n"
           "         </tt:p>\n";
    t = end;
  }
  doc +=
      "      </tt:div>\n"
      "   </tt:body>\n"
      "</tt:tt>\n";
  return doc;
}

}  // namespace capsel::bench
