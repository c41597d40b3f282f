#include "convert/convert_file.h"

#include <cerrno>

#include "convert/time_expression.h"
#include "text/unicode.h"

namespace capsel {
namespace {

// Takes the input out of the watch folder: into OutPathXml, or deleted in delete mode. In
// delete mode an input whose SRT file was not written is kept under another name, so its
// subtitles are never lost.
void DisposeOfInput(ConvertContext& c, const std::string& file_name, bool srt_written) {
  const Settings& s = c.settings;
  const std::string source = s.InPath + file_name;

  if (s.OutPathXml == kDeleteMarker) {
    if (!srt_written) {
      std::string kept = file_name + ".failed";
      for (int n = 2; c.fs.Exists(s.InPath + kept); ++n)
        kept = file_name + ".failed." + std::to_string(n);
      c.log.LogMessage("---- Keeping " + file_name + " as " + kept + " (no SRT file was written)");
      if (c.fs.Rename(source, s.InPath + kept) != 0) c.log.LogMessage(msg::kFileError);
      return;
    }
    c.log.LogMessage("Deleting " + file_name);
    if (c.fs.Remove(source) != 0) c.log.LogMessage(msg::kFileError);
    return;
  }

  c.log.LogMessage("Moving " + file_name + " to " + s.OutPathXml);
  const std::string destination = s.OutPathXml + file_name;
  bool copied;
  bool source_gone = false;
  if (c.fs.SameFile(source, destination)) {
    copied = false;  // moving a file onto itself would only lose it
  } else {
    int rc = c.fs.Rename(source, destination);
    if (rc == 0) {
      copied = source_gone = true;
    } else if (rc == EXDEV) {
      // Another file system: the copy must be on disk before the source goes.
      copied = c.fs.Copy(source, destination, /*sync=*/true) == 0;
    } else {
      copied = false;
    }
  }
  if (!copied) {
    c.log.LogMessage(msg::kFileError);
    c.log.LogMessage("---- Error moving XML file to " + s.OutPathXml);
    c.log.LogMessage("---- Please check that capsel has write rights to the XML output folder (" +
                     s.OutPathXml + ").");
    return;
  }
  if (!source_gone && c.fs.Remove(source) != 0) c.log.LogMessage(msg::kFileError);
}

// The code page for the SRT file, or -1 after logging why there is none.
int ChooseCodePage(ConvertContext& c) {
  switch (ReadFlag(c.settings.WriteUtf8)) {
    case FlagValue::kOn:
      return kCodePageUtf8;
    case FlagValue::kNotANumber:
      c.log.LogMessage(msg::kFileError);  // the comparison fails; the file is written as UTF-8
      return kCodePageUtf8;
    case FlagValue::kOff:
      break;
  }
  double number = 0;
  if (!ParseNumber(c.settings.AnsiCodePage, &number) || number != static_cast<int>(number) ||
      number <= 0) {
    c.log.LogMessage("---- ERROR: AnsiCodePage \"" + c.settings.AnsiCodePage +
                     "\" is not a code page number");
    return -1;
  }
  return static_cast<int>(number);
}

// Writes the SRT text and logs the outcome; true when the file is complete on disk.
bool WriteSrt(ConvertContext& c, const std::string& file_name, const std::string& srt) {
  const Settings& s = c.settings;
  std::string base = file_name.substr(0, file_name.size() >= 4 ? file_name.size() - 4 : 0);
  std::string path = s.OutPathSrt + base + s.AddLangString + ".srt";
  c.log.LogMessage("Writing Subtitles to " + path + "....");

  int code_page = ChooseCodePage(c);
  if (code_page < 0) {
    c.log.LogMessage(msg::kWriteFailed);
    return false;
  }
  // In delete mode the SRT file becomes the only copy of the subtitles: flush it to disk.
  bool durable = s.OutPathXml == kDeleteMarker;
  WriteResult result = WriteTextFile(c.fs, path, srt, code_page, durable);
  if (result.status == WriteResult::Status::kUnknownCodePage) {
    c.log.LogMessage("---- ERROR: Cannot write the SRT file in the ANSI code page: " +
                     result.message + " (AnsiCodePage)");
    c.log.LogMessage(msg::kWriteFailed);
    return false;
  }
  if (!result.ok()) {
    c.fs.Remove(path);  // no older SRT file may pass for this conversion's result
    c.log.LogMessage(msg::kFileError);
    c.log.LogMessage(msg::kWriteFailed);
    c.log.LogMessage("---- Please check that capsel has write rights to the SRT output folder (" +
                     s.OutPathSrt + ").");
    return false;
  }
  c.log.LogMessage(msg::kDone);
  c.log.LogMessage("Successfully processed " + file_name + ".");
  return true;
}

}  // namespace

void AppendSrtBlock(std::string& srt, long long number, const std::string& begin,
                    const std::string& end, const std::vector<std::string>& lines) {
  srt += std::to_string(number);
  srt += "\r\n";
  srt += begin;
  srt += " --> ";
  srt += end;
  srt += "\r\n";
  for (const auto& line : lines) {
    srt += line;
    srt += "\r\n";
  }
  srt += "\r\n";
}

std::string BuildSrtText(const std::vector<Paragraph>& paragraphs, ActivityLog& log) {
  std::string srt;
  std::string begin = FormatSrtTime(0), end = FormatSrtTime(0);
  long long number = 0;
  for (const Paragraph& p : paragraphs) {
    ++number;
    if (p.begin) begin = FormatSrtTime(*p.begin);
    else log.LogMessage(msg::kFileError);
    if (p.end) end = FormatSrtTime(*p.end);
    else log.LogMessage(msg::kFileError);
    AppendSrtBlock(srt, number, begin, end, p.lines);
  }
  return srt;
}

void ConvertFile(ConvertContext& c, const std::string& file_name) {
  c.log.LogMessage("Processing " + file_name + "...");
  std::string bytes;
  ReadResult document;
  ReadOptions options;
  options.subtract_start_of_programme = ReadFlag(c.settings.SubtractStartOfProgramme) == FlagValue::kOn;
  options.style_tags = ReadFlag(c.settings.StyleTags) == FlagValue::kOn;
  if (c.fs.ReadFile(c.settings.InPath + file_name, &bytes) == 0) document = ReadEbuTt(bytes, options);
  bytes = std::string();  // the document is in memory now; let the raw bytes go
  if (!document.loaded) {
    c.log.LogMessage(msg::kNotLoadable);
    DisposeOfInput(c, file_name, /*srt_written=*/false);
    return;
  }
  std::string srt = BuildSrtText(document.paragraphs, c.log);
  document.paragraphs = {};
  bool written = WriteSrt(c, file_name, srt);
  DisposeOfInput(c, file_name, written);
}

}  // namespace capsel
