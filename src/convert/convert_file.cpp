#include "convert/convert_file.h"

#include <cerrno>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "convert/cue_writer.h"
#include "convert/libxml_reader.h"
#include "text/unicode.h"

namespace capsel {
namespace {

// The document is read in pieces of this size.
constexpr size_t kReadSize = 1 << 16;
// What reading gives instead of an errno when the file in progress is given up.
constexpr int kAbandoned = -1;

// Takes the input out of the watch folder: into OutPathXml, or deleted in delete mode. In
// delete mode an input whose output was not written is kept under another name, so its
// subtitles are never lost.
// `missing` names the output that was not written ("SRT" or "WebVTT"); null when all were.
// `read` is the input as it was opened, when it could be opened: the name must still stand
// for it, or what would be moved or deleted is a newer version nobody has converted. False
// when it was replaced so, or taken back from this instance's claim; `o` then means nothing.
bool DisposeOfInput(ConvertContext& c, const std::string& file_name, const char* missing,
                    const std::optional<FileInfo>& read, FileOutcome& o) {
  const bool written = missing == nullptr;
  const Settings& s = c.settings;
  const std::string source = (c.claim_folder.empty() ? s.InPath : c.claim_folder) + file_name;
  if (!c.claim_folder.empty() && !c.fs.Exists(source)) {
    c.log.LogMessage(FormatMessage(msg::kClaimGone, {file_name}));
    return false;  // no outcome: the instance that has it now tells it
  }
  auto replaced = [&] {
    FileInfo now;
    if (!read || c.fs.Stat(source, &now) != 0 || now == *read) return false;
    c.log.LogMessage(FormatMessage(msg::kReplaced, {file_name}));
    return true;
  };
  if (replaced()) return false;
  auto fail = [&](const std::string& line) {
    c.log.LogMessage(line);
    if (o.result == FileOutcome::Result::kConverted) o.reason = line;
    o.result = FileOutcome::Result::kFailed;
  };

  if (s.OutPathXml == kDeleteMarker) {
    if (!written) {
      std::string kept = file_name + ".failed";
      for (int n = 2; c.fs.Exists(s.InPath + kept); ++n)
        kept = file_name + ".failed." + std::to_string(n);
      c.log.LogMessage(FormatMessage(msg::kKeeping, {file_name, kept, missing}));
      o.result = FileOutcome::Result::kKept;
      if (c.fs.Rename(source, s.InPath + kept) != 0)
        c.log.LogMessage(msg::kFileError);
      else
        o.moved_to = s.InPath + kept;
      return true;
    }
    c.log.LogMessage(FormatMessage(msg::kDeleting, {file_name}));
    if (c.fs.Remove(source) != 0) fail(msg::kFileError);
    return true;
  }

  c.log.LogMessage(FormatMessage(msg::kMoving, {file_name, s.OutPathXml}));
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
      // Another file system: the copy must be on disk before the source goes, and the
      // source must still be what was read once the copy is done.
      copied = c.fs.Copy(source, destination, /*sync=*/true) == 0;
      if (copied && replaced()) return false;
    } else {
      copied = false;
    }
  }
  if (!copied) {
    c.log.LogMessage(msg::kFileError);
    fail(FormatMessage(msg::kMoveFailed, {s.OutPathXml}));
    c.log.LogMessage(FormatMessage(msg::kCheckXmlFolder, {s.OutPathXml}));
    return true;
  }
  o.moved_to = destination;
  // The copy is in place; an input left behind as well is only logged.
  if (!source_gone && c.fs.Remove(source) != 0) c.log.LogMessage(msg::kFileError);
  return true;
}

// The code page of the SRT file, chosen before the document is read; its lines are logged
// where the file is written.
struct CodePage {
  int number = kCodePageUtf8;
  std::vector<std::string> lines;  // what the log says about the choice
  bool usable = true;
};

CodePage ChooseCodePage(const Settings& s) {
  CodePage cp;
  switch (s.WriteUtf8) {
    case FlagValue::kOn:
      return cp;
    case FlagValue::kNotANumber:
      cp.lines.push_back(msg::kFileError);  // the comparison fails; the file is written as UTF-8
      return cp;
    case FlagValue::kOff:
      break;
  }
  if (s.AnsiCodePage == 0) {
    cp.lines.push_back(FormatMessage(msg::kNoCodePageNumber, {s.AnsiCodePageText}));
    cp.usable = false;
    return cp;
  }
  cp.number = s.AnsiCodePage;
  if (IconvNameForCodePage(cp.number).empty()) {
    cp.lines.push_back(FormatMessage(msg::kUnknownCodePage, {std::to_string(cp.number)}));
    cp.usable = false;
  }
  return cp;
}

// One output file of a conversion: where it goes, and the writer that streams into it.
struct Output {
  CueFormat format;
  const char* name;  // what the log calls the file: "SRT" or "WebVTT"
  std::string path;
  std::vector<std::string> code_page_lines;
  bool usable = true;  // false: no file can be written (the code page), nothing was started
  std::unique_ptr<CueFileWriter> writer;
};

// Characters as a reader counts them: Unicode code points of UTF-8 text.
size_t CodePoints(std::string_view text) {
  size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// Hands every cue to each output, and counts the subtitles that the line checks (MaxLineLength,
// MaxLines) report. A check only counts: it changes no byte of any output.
class AllOutputs final : public CueSink {
 public:
  AllOutputs(std::vector<Output>& outputs, const Settings& s)
      : outputs_(outputs), max_length_(s.MaxLineLength), max_lines_(s.MaxLines) {}
  void OnCue(Interval time, const CueLines& lines, const StyleTable& styles,
             const Placement& place) override {
    if (max_lines_ > 0 && lines.size() > static_cast<size_t>(max_lines_)) ++too_many_lines;
    if (max_length_ > 0) {
      for (size_t i = 0; i < lines.size(); ++i) {
        if (CodePoints(lines.Line(i)) > static_cast<size_t>(max_length_)) {
          ++too_long;
          break;
        }
      }
    }
    for (Output& o : outputs_) o.writer->OnCue(time, lines, styles, place);
  }

  int too_long = 0, too_many_lines = 0;  // subtitles over each limit

 private:
  std::vector<Output>& outputs_;
  const int max_length_, max_lines_;
};

Output StartOutput(ConvertContext& c, const std::string& path, CueFormat format, const CodePage& cp,
                   bool styled) {
  Output out;
  out.format = format;
  out.name = format == CueFormat::kSrt ? "SRT" : "WebVTT";
  out.path = path;
  out.code_page_lines = cp.lines;
  out.usable = cp.usable;
  // In delete mode the output becomes the only copy of the subtitles: flush it to disk.
  const bool durable = c.settings.OutPathXml == kDeleteMarker;
  std::unique_ptr<OutputFile> file;
  int rc = out.usable ? c.fs.CreateReplacing(path, durable, &file) : EINVAL;
  // Cues that wait to be put in order beyond memory go beside the output.
  auto scratch = [&fs = c.fs, dir = DirName(path)](std::unique_ptr<ScratchFile>* f) {
    return fs.CreateScratch(dir, f);
  };
  out.writer = std::make_unique<CueFileWriter>(format, cp.number, styled, std::move(file), rc,
                                               static_cast<Overlaps>(c.settings.Overlaps), scratch,
                                               c.settings.PositionTags);
  return out;
}

// Gives a finished output its name and logs the outcome; true when the file is on disk. A
// failure's reason goes into `o` unless an earlier one is there.
bool FinishOutput(ConvertContext& c, Output& out, FileOutcome& o) {
  c.log.LogMessage(FormatMessage(msg::kWriting, {out.path}));
  for (const std::string& line : out.code_page_lines) c.log.LogMessage(line);
  const char* failed = out.format == CueFormat::kSrt ? msg::kWriteFailed : msg::kVttWriteFailed;
  if (!out.usable) {
    c.log.LogMessage(failed);
    if (o.reason.empty())
      o.reason = out.code_page_lines.empty() ? failed : out.code_page_lines.back();
    return false;
  }
  if (int rc = out.writer->Commit()) {
    c.fs.Remove(out.path);  // no older file may pass for this conversion's result
    c.log.LogMessage(msg::kFileError);
    c.log.LogMessage(failed);
    c.log.LogMessage(FormatMessage(msg::kCheckSrtFolder, {c.settings.OutPathSrt}));
    const std::string reason = FormatMessage(msg::kCannotWrite, {out.path, ErrorText(rc)});
    c.log.LogMessage(reason);
    if (o.reason.empty()) o.reason = reason;
    return false;
  }
  c.log.LogMessage(msg::kDone);
  o.outputs.push_back(out.path);
  if (out.format == CueFormat::kSrt) o.cues = out.writer->cues();
  return true;
}

// Reads the document through the reader in pieces. 0, the errno of a read that failed, or
// kAbandoned once `abandon` is raised.
int ReadDocument(InputFile& in, LibxmlReader& reader, const ConvertContext& c) {
  std::vector<char> buffer(kReadSize);
  for (;;) {
    if (c.observer) c.observer->Alive();
    if (c.progress) c.progress();
    if (c.abandon && c.abandon->load()) return kAbandoned;
    long n = in.Read(buffer.data(), buffer.size());
    if (n < 0) return static_cast<int>(-n);
    if (n == 0 || !reader.Feed(std::string_view(buffer.data(), static_cast<size_t>(n)))) return 0;
  }
}

// The reason line of a document refused for passing a limit.
const char* RefusalLine(Refusal refusal) {
  switch (refusal) {
    case Refusal::kStartTagTooLong:
      return msg::kStartTagTooLong;
    case Refusal::kTooManyAttributes:
      return msg::kTooManyAttributes;
    case Refusal::kTooManyNamespaces:
      return msg::kTooManyNamespaces;
    case Refusal::kTooManyDefaults:
      return msg::kTooManyDefaults;
    case Refusal::kSubtitleTooLarge:
    case Refusal::kNone:
      break;
  }
  return msg::kSubtitleTooLarge;
}

// "1 subtitle ... has" or "N subtitles ... have", with the limit.
template <typename Warn>
void LogCheck(Warn& warn, const std::string& file_name, int count, int limit, const char* one,
              const char* many) {
  const std::string limit_text = std::to_string(limit);
  if (count == 1) warn(FormatMessage(one, {file_name, limit_text}));
  if (count > 1) warn(FormatMessage(many, {std::to_string(count), file_name, limit_text}));
}

// Logs the document's warnings and keeps their texts in `o`.
void LogDocumentWarnings(ConvertContext& c, const std::string& file_name, const ReadReport& report,
                         const AllOutputs& checks, FileOutcome& o) {
  auto warn = [&](const std::string& line) {
    c.log.LogMessage(line);
    o.warnings.push_back(line);
  };
  for (int i = 0; i < report.file_errors; ++i) warn(msg::kFileError);
  if (report.no_programme_start) warn(FormatMessage(msg::kNoProgrammeStart, {file_name}));
  if (report.paragraphs == 0) warn(FormatMessage(msg::kNoSubtitles, {file_name}));
  if (report.never_shown == 1) warn(FormatMessage(msg::kParagraphNeverShown, {file_name}));
  if (report.never_shown > 1)
    warn(
        FormatMessage(msg::kParagraphsNeverShown, {std::to_string(report.never_shown), file_name}));
  LogCheck(warn, file_name, checks.too_long, c.settings.MaxLineLength, msg::kSubtitleLinesTooLong,
           msg::kSubtitlesLinesTooLong);
  LogCheck(warn, file_name, checks.too_many_lines, c.settings.MaxLines, msg::kSubtitleTooManyLines,
           msg::kSubtitlesTooManyLines);
  if (report.external_entities) warn(FormatMessage(msg::kExternalEntities, {file_name}));
  o.never_shown = report.never_shown;
}

}  // namespace

ConvertEnd ConvertFile(ConvertContext& c, const std::string& file_name, FileOutcome* outcome) {
  FileOutcome own;
  FileOutcome& o = outcome ? *outcome : own;
  o = FileOutcome{};
  o.input = file_name;
  const Settings& s = c.settings;
  c.log.LogMessage(FormatMessage(msg::kProcessing, {file_name}));
  ReadOptions options;
  options.subtract_start_of_programme = s.SubtractStartOfProgramme;
  options.style_tags = s.StyleTags;
  // Where cues stand matters to the tags, and to the order of lines in a shared entry.
  options.placement = s.PositionTags > 0 || s.Overlaps > 0;
  options.time_offset = s.TimeOffset;

  const std::string base = file_name.substr(0, file_name.size() >= 4 ? file_name.size() - 4 : 0);
  const std::string stem = s.OutPathSrt + base + s.AddLangString;
  std::vector<Output> outputs;
  ReadReport report;
  int read_error = 0;
  std::string failure;  // why the document could not be read, when it could not
  std::optional<FileInfo> read;
  AllOutputs all(outputs, s);
  try {
    std::unique_ptr<InputFile> in;
    read_error =
        c.fs.OpenForReading((c.claim_folder.empty() ? s.InPath : c.claim_folder) + file_name, &in);
    if (read_error == 0) {
      read = in->Info();
      o.bytes = read->size;
      outputs.push_back(
          StartOutput(c, stem + ".srt", CueFormat::kSrt, ChooseCodePage(s), options.style_tags));
      if (s.WriteVtt)  // WebVTT is UTF-8, whatever WriteUtf8 says
        outputs.push_back(
            StartOutput(c, stem + ".vtt", CueFormat::kVtt, CodePage{}, options.style_tags));
      LibxmlReader reader(options, all, in->Size());
      read_error = ReadDocument(*in, reader, c);
      if (read_error == 0) report = reader.Finish();
      if (c.abandon && c.abandon->load()) read_error = kAbandoned;
    }
  } catch (const std::bad_alloc&) {
    read_error = ENOMEM;
  } catch (const std::exception& e) {
    failure = FormatMessage(msg::kCannotRead, {file_name, e.what()});
  }
  if (read_error == kAbandoned) {
    outputs.clear();  // their files never get a name
    c.log.LogMessage(FormatMessage(msg::kStoppedAtOnce, {file_name}));
    return ConvertEnd::kAbandoned;
  }
  if (read_error != 0)
    failure = FormatMessage(msg::kCannotRead, {file_name, ErrorText(read_error)});
  if (failure.empty() && report.refusal != Refusal::kNone) {
    failure = FormatMessage(RefusalLine(report.refusal), {file_name});
  } else if (failure.empty() && !report.loaded) {
    failure = report.line > 0
                  ? FormatMessage(msg::kXmlErrorAt, {std::to_string(report.line),
                                                     std::to_string(report.column), report.error})
                  : FormatMessage(msg::kXmlError, {report.error});
  }
  if (!failure.empty()) {
    outputs.clear();  // nothing of an unreadable document is ever written
    c.log.LogMessage(msg::kNotLoadable);
    c.log.LogMessage(failure);
    o.result = FileOutcome::Result::kFailed;
    o.reason = failure;
    return DisposeOfInput(c, file_name, "SRT", read, o) ? ConvertEnd::kFinished
                                                        : ConvertEnd::kReplaced;
  }

  LogDocumentWarnings(c, file_name, report, all, o);
  const char* missing = nullptr;
  for (Output& out : outputs)
    if (!FinishOutput(c, out, o) && missing == nullptr) missing = out.name;
  if (missing == nullptr)
    c.log.LogMessage(FormatMessage(msg::kProcessed, {file_name}));
  else
    o.result = FileOutcome::Result::kFailed;
  return DisposeOfInput(c, file_name, missing, read, o) ? ConvertEnd::kFinished
                                                        : ConvertEnd::kReplaced;
}

}  // namespace capsel
