#pragma once

// Documents shared by the conversion tests, with the SRT text a person checked for them, and
// the folders they are converted in.

#include <string>
#include <vector>

#include "convert/convert_file.h"
#include "settings/settings.h"
#include "testing/fake_clock.h"
#include "testing/fake_file_system.h"
#include "testing/memory_log.h"

namespace capsel::testdoc {

// The folders /w/in, /w/out and /w/done in a fake file system, and settings that use them,
// with the defaults of an empty settings file for the rest.
inline void SetUpFolders(FakeFileSystem& fs, Settings& settings) {
  for (const char* dir : {"/w/in", "/w/out", "/w/done"}) fs.AddDir(dir);
  ApplySettings(IniFile::Parse(""), "/w", settings);
  settings.InPath = "/w/in/";
  settings.OutPathSrt = "/w/out/";
  settings.OutPathXml = "/w/done/";
}

// Two paragraphs: Hello and World in two spans, then Bye.
inline constexpr char kHelloWorld[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<tt:tt xmlns:tt=\"http://www.w3.org/ns/ttml\"><tt:body><tt:div>\n"
    "<tt:p begin=\"00:00:01.000\" "
    "end=\"00:00:02.500\"><tt:span>Hello</tt:span><tt:span>World</tt:span></tt:p>\n"
    "<tt:p begin=\"00:00:03.000\" end=\"00:00:04.000\"><tt:span>Bye</tt:span></tt:p>\n"
    "</tt:div></tt:body></tt:tt>\n";

inline constexpr char kHelloWorldSrt[] =
    "1\r\n00:00:01,000 --> 00:00:02,500\r\nHello\r\nWorld\r\n\r\n"
    "2\r\n00:00:03,000 --> 00:00:04,000\r\nBye\r\n\r\n";

// What converting one document gave: its SRT (and WebVTT) text, "<missing>" where none was
// written, and the log lines between the Processing line and the first Writing line.
struct Converted {
  std::string srt, vtt;
  std::vector<std::string> notes;
};

// `settings_text` is read as a settings file, after the folders; missing keys take their defaults.
// `read_piece` is the most each read of the document hands over.
inline Converted ConvertDocument(const std::string& document, const std::string& settings_text = "",
                                 size_t read_piece = SIZE_MAX) {
  FakeFileSystem fs;
  fs.read_piece = read_piece;
  Settings settings;
  SetUpFolders(fs, settings);
  ApplySettings(IniFile::Parse("[Folders]\nInPath=/w/in\nOutPathSrt=/w/out\nOutPathXml=/w/done\n" +
                               settings_text),
                "/w", settings);
  FakeClock clock;
  ActivityLog log{clock};
  MemoryLog monitor;
  log.AddSink(&monitor);
  fs.AddFile("/w/in/doc.xml", document);
  ConvertContext context{fs, settings, log};
  ConvertFile(context, "doc.xml");
  Converted out{fs.Data("/w/out/doc.srt"), fs.Data("/w/out/doc.vtt"), {}};
  const std::vector<std::string> messages = monitor.Messages();
  for (size_t i = 1; i < messages.size(); ++i) {
    const std::string& line = messages[i];
    if (line.starts_with("Writing Subtitles to") || line.starts_with("Moving ")) break;
    out.notes.push_back(line);
  }
  return out;
}

}  // namespace capsel::testdoc
